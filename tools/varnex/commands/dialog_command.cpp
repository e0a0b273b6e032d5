// varnex options / varnex about: opens the plug-in's dialogs as a host does
// (parent_hWnd, initialize, then show_options_dialog or show_about_dialog) and
// prints the answer. With --script the dialogs follow a script of steps
// instead of a person and print what they showed.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>

#include <varnex/ui.h>
#endif

#include "commands/commands.h"
#include "io/standard_output.h"
#include "session/plugin.h"

namespace varnex {

namespace {

struct DialogCommand {
  const char* keyword;
  std::string script;
};

// -- Scripts
//
// Steps are separated by ";" or line feeds:
//   click ID        a person's click on the control
//   text ID VALUE   the control's text replaced (VALUE may be empty)
//   type TEXT       typed keys (off Windows)
//   key NAME        tab, shift-tab, enter, escape, backspace, up, down (off Windows)
//   snapshot        print what the open dialog shows

struct ScriptStep {
  enum class Kind { Click, Text, Type, Key, Snapshot } kind;
  int id = 0;
  std::string text;
};

std::string Trim(const std::string& text) {
  size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  size_t last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

const char* KeySequence(const std::string& name) {
  static const struct {
    const char* name;
    const char* bytes;
  } kKeys[] = {{"tab", "\t"},          {"shift-tab", "\x1b[Z"}, {"enter", "\r"}, {"escape", "\x1b"},
               {"backspace", "\x7f"}, {"up", "\x1b[A"},        {"down", "\x1b[B"}};
  for (const auto& key : kKeys)
    if (name == key.name) return key.bytes;
  return nullptr;
}

bool ParseScript(const std::string& text, std::vector<ScriptStep>* steps, std::string* error) {
  std::string normalized = text;
  for (char& c : normalized)
    if (c == '\n') c = ';';
  std::istringstream in(normalized);
  std::string item;
  while (std::getline(in, item, ';')) {
    item = Trim(item);
    if (item.empty()) continue;
    std::string verb = item.substr(0, item.find(' '));
    std::string rest = Trim(item.size() > verb.size() ? item.substr(verb.size()) : std::string());
    ScriptStep step{ScriptStep::Kind::Snapshot, 0, {}};
    if (verb == "click" || verb == "text") {
      std::string number = rest.substr(0, rest.find(' '));
      char* end = nullptr;
      long id = std::strtol(number.c_str(), &end, 10);
      if (number.empty() || *end != '\0') {
        *error = "'" + item + "': expected a control id";
        return false;
      }
      step.kind = verb == "click" ? ScriptStep::Kind::Click : ScriptStep::Kind::Text;
      step.id = static_cast<int>(id);
      step.text = rest.size() > number.size() ? Trim(rest.substr(number.size())) : std::string();
    } else if (verb == "type") {
      step.kind = ScriptStep::Kind::Type;
      step.text = rest;
    } else if (verb == "key") {
      if (KeySequence(rest) == nullptr) {
        *error = "'" + item + "': unknown key (tab, shift-tab, enter, escape, backspace, up, down)";
        return false;
      }
      step.kind = ScriptStep::Kind::Key;
      step.text = rest;
    } else if (verb != "snapshot") {
      *error = "'" + item + "': unknown step (click, text, type, key, snapshot)";
      return false;
    }
#ifdef _WIN32
    if (step.kind == ScriptStep::Kind::Type || step.kind == ScriptStep::Kind::Key) {
      *error = "'" + item + "': typed keys work only with the terminal dialogs; use text and click";
      return false;
    }
#endif
    steps->push_back(step);
  }
  return true;
}

#ifdef _WIN32

// -- Scripted dialogs on the window system
//
// A thread timer runs one step per tick inside whichever modal loop is
// running, so a dialog opened by a step (About...) is driven by the next ones.
// Message boxes are answered OK and printed.

struct WindowsScript {
  std::vector<ScriptStep> steps;
  size_t next = 0;
};
WindowsScript windowsScript;

std::string WindowText(HWND window) {
  char text[1024] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

bool IsMessageBox(HWND window) { return GetDlgItem(window, IDOK) != nullptr && GetDlgItem(window, 200) == nullptr; }

BOOL CALLBACK PrintControl(HWND control, LPARAM) {
  char className[64] = {};
  GetClassNameA(control, className, sizeof className);
  int id = static_cast<int16_t>(GetDlgCtrlID(control));
  LONG style = GetWindowLongA(control, GWL_STYLE);
  std::string kind = className;
  bool checkBox = kind == "Button" && ((style & 0xF) == BS_CHECKBOX || (style & 0xF) == BS_AUTOCHECKBOX);
  std::printf("  %d %s", id, className);
  if (checkBox) std::printf(IsDlgButtonChecked(GetParent(control), id) ? " [x]" : " [ ]");
  std::printf(" \"%s\"%s%s\n", WindowText(control).c_str(), IsWindowEnabled(control) ? "" : " disabled",
              GetFocus() == control ? " focus" : "");
  return TRUE;
}

void CALLBACK RunWindowsStep(HWND, UINT, UINT_PTR, DWORD) {
  HWND active = GetActiveWindow();
  if (active == nullptr) return;
  if (IsMessageBox(active)) {
    std::printf("message \"%s\" \"%s\"\n", WindowText(active).c_str(), WindowText(GetDlgItem(active, 0xFFFF)).c_str());
    PostMessageA(active, WM_COMMAND, IDOK, 0);
    return;
  }
  WindowsScript& script = windowsScript;
  if (script.next >= script.steps.size()) {
    std::printf("script ran out in \"%s\"\n", WindowText(active).c_str());
    EndDialog(active, -1);
    return;
  }
  const ScriptStep step = script.steps[script.next++];
  HWND control = step.id != 0 ? GetDlgItem(active, step.id) : nullptr;
  switch (step.kind) {
    case ScriptStep::Kind::Click:
      if (control == nullptr) std::printf("click %d ignored: no such control\n", step.id);
      else if (!IsWindowEnabled(control)) std::printf("click %d ignored: disabled\n", step.id);
      else {
        std::printf("click %d\n", step.id);
        FlushStandardOutput();
        SendMessageA(active, WM_COMMAND, MAKEWPARAM(step.id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
      }
      break;
    case ScriptStep::Kind::Text:
      SetDlgItemTextA(active, step.id, step.text.c_str());
      break;
    case ScriptStep::Kind::Snapshot:
      std::printf("snapshot \"%s\"\n", WindowText(active).c_str());
      EnumChildWindows(active, PrintControl, 0);
      break;
    default:
      break;
  }
  FlushStandardOutput();
}

int32_t ShowDialog(const Plugin& plugin, const char* keyword, const std::vector<ScriptStep>* steps) {
  UINT_PTR timer = 0;
  if (steps != nullptr) {
    windowsScript.steps = *steps;
    windowsScript.next = 0;
    timer = SetTimer(nullptr, 0, 50, RunWindowsStep);
  }
  int32_t result = plugin.Call({{"parent_hWnd", GetConsoleWindow()}, {keyword, nullptr}});
  if (timer != 0) KillTimer(nullptr, timer);
  return result;
}

#else

// -- Scripted dialogs on the host's dialog layer

std::vector<vxui::Action> ToActions(const std::vector<ScriptStep>& steps) {
  std::vector<vxui::Action> actions;
  for (const ScriptStep& step : steps) {
    switch (step.kind) {
      case ScriptStep::Kind::Click: actions.push_back(vxui::Click(step.id)); break;
      case ScriptStep::Kind::Text: actions.push_back(vxui::SetText(step.id, step.text)); break;
      case ScriptStep::Kind::Type: actions.push_back(vxui::Keys(step.text)); break;
      case ScriptStep::Kind::Key: actions.push_back(vxui::Keys(KeySequence(step.text))); break;
      case ScriptStep::Kind::Snapshot: actions.push_back(vxui::Snapshot()); break;
    }
  }
  return actions;
}

// Every event in order; a snapshot's event is followed by what it saw.
void PrintScriptedRun() {
  const std::vector<vxui::DialogView>& views = vxui::Snapshots();
  size_t view = 0;
  for (const std::string& event : vxui::Events()) {
    std::printf("%s\n", event.c_str());
    bool hasView = event.rfind("snapshot ", 0) == 0 || event.rfind("end ", 0) == 0;
    if (!hasView || view >= views.size()) continue;
    if (event.rfind("snapshot ", 0) == 0) {
      std::istringstream lines(vxui::Describe(views[view]));
      std::string line;
      std::getline(lines, line);  // the heading repeats the event
      while (std::getline(lines, line)) std::printf("%s\n", line.c_str());
    }
    ++view;
  }
}

int32_t ShowDialog(const Plugin& plugin, const char* keyword, const std::vector<ScriptStep>* steps) {
  if (steps != nullptr) vxui::SetScript(ToActions(*steps));
  int32_t result = plugin.Call({{"parent_hWnd", vxui::MainWindow()}, {keyword, nullptr}});
  if (steps != nullptr) PrintScriptedRun();
  vxui::ResetUi();
  return result;
}

#endif

int RunDialogCommand(const HostOptions& host, const DialogCommand& command) {
  std::vector<ScriptStep> steps;
  bool scripted = !command.script.empty();
  if (scripted) {
    std::string error;
    if (!ParseScript(command.script, &steps, &error)) {
      std::fprintf(stderr, "varnex: --script: %s\n", error.c_str());
      return kExitHostProblem;
    }
  }
#ifndef _WIN32
  if (!scripted && !(isatty(STDIN_FILENO) && isatty(STDOUT_FILENO))) {
    std::fprintf(stderr, "varnex: the dialogs need a terminal; without one, give --script\n");
    return kExitHostProblem;
  }
#endif
  std::optional<Plugin> plugin = Plugin::Start(host);
  if (!plugin) return kExitHostProblem;
  int32_t result = ShowDialog(*plugin, command.keyword, scripted ? &steps : nullptr);
  std::printf("%s: %d\n", command.keyword, result);
  return kExitSuccess;
}

void SetupDialogCommand(Program& program, const char* name, const char* keyword, const char* description) {
  auto state = std::make_shared<DialogCommand>(DialogCommand{keyword, {}});
  CLI::App* command = program.cli.add_subcommand(name, description);
  command->add_option("--script", state->script,
                      "Steps instead of a person, separated by ';': click ID, text ID VALUE, type TEXT, key NAME, snapshot");
  program.commands.push_back({command, [&host = program.host, state] { return RunDialogCommand(host, *state); }});
}

}  // namespace

void SetupOptionsCommand(Program& program) {
  SetupDialogCommand(program, "options", "show_options_dialog",
                     "Open the plug-in's options dialog; OK saves imp_bvh.ini in the settings directory");
}

void SetupAboutCommand(Program& program) {
  SetupDialogCommand(program, "about", "show_about_dialog", "Open the plug-in's About box");
}

}  // namespace varnex
