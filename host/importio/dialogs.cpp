// The import I/O library's dialog helpers: centring, numbers into and out of
// edit fields, focus, enabling, and the help topic. Off Windows they work on
// the dialog layer (vxui); on Windows on the real window system. Each is
// logged and checked like every other host call.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "hostcall.h"
#include "varnex/importio_dialogs.h"

#ifndef _WIN32
#include <dlfcn.h>

#include "varnex/ui.h"
#endif

namespace {

namespace fs = std::filesystem;

#ifdef _WIN32
fs::path ModuleDirectory(HMODULE module) {
  char buffer[MAX_PATH];
  DWORD n = GetModuleFileNameA(module, buffer, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  return fs::path(buffer).parent_path();
}
fs::path LibraryDirectory() {
  HMODULE self = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<LPCSTR>(&ModuleDirectory), &self);
  return ModuleDirectory(self);
}
fs::path ProgramDirectory() { return ModuleDirectory(nullptr); }
#else
fs::path LibraryDirectory() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&LibraryDirectory), &info) == 0 || info.dli_fname == nullptr) return {};
  std::error_code ec;
  fs::path library = fs::canonical(info.dli_fname, ec);
  return ec ? fs::path() : library.parent_path();
}
fs::path ProgramDirectory() {
  std::error_code ec;
  fs::path program = fs::read_symlink("/proc/self/exe", ec);
  return ec ? fs::path() : program.parent_path();
}
#endif

// The help file is looked for in the settings directory first, so a host can
// ship its own, then beside the host's libraries and beside the host program.
fs::path FindHelpFile(const char* settingsDirectory, const std::string& name) {
  std::vector<fs::path> places;
  if (settingsDirectory != nullptr && settingsDirectory[0] != '\0') places.emplace_back(settingsDirectory);
  places.push_back(LibraryDirectory());
  places.push_back(ProgramDirectory());
  for (const fs::path& place : places) {
    if (place.empty()) continue;
    std::error_code ec;
    fs::path candidate = place / name;
    if (fs::is_regular_file(candidate, ec)) return candidate;
  }
  return {};
}

// A help file is plain text; a line "@topic NAME" starts a topic. A file
// without such lines is one topic, "main".
bool ReadHelpTopic(const fs::path& file, const std::string& topic, std::string* text) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return false;
  std::string line, body;
  bool anyMarker = false, inTopic = false, found = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.rfind("@topic ", 0) == 0) {
      anyMarker = true;
      inTopic = line.substr(7) == topic;
      found = found || inTopic;
      continue;
    }
    if (inTopic || !anyMarker) body += line + "\n";
  }
  if (!anyMarker) found = topic == "main";
  if (found) *text = body;
  return found;
}

void ShowHelpText(HWND window, const std::string& file, const std::string& topic, const std::string& text) {
#ifdef _WIN32
  MessageBoxA(window, text.c_str(), (file + " - " + topic).c_str(), MB_OK);
#else
  vxui::ShowHelp(window, file, topic, text);
#endif
}

void ShowHelpProblem(HWND window, const std::string& text) {
#ifdef _WIN32
  MessageBoxA(window, text.c_str(), "Help", MB_OK);
#else
  vxui::ShowMessage(window, text, "Help");
#endif
}

}  // namespace

// -- The helpers, each logged and checked like every host call

namespace vxhost {
namespace {

void LogCall(const std::string& line) {
  if (CallLogOn()) AppendCallLog(line);
}

#ifdef _WIN32
std::string WindowName(HWND window) { return window ? "window" : "0"; }
bool HasControl(HWND dialog, int32_t id) { return dialog && GetDlgItem(dialog, id) != nullptr; }
#else
std::string WindowName(HWND window) { return vxui::WindowName(window); }
bool HasControl(HWND dialog, int32_t id) {
  std::string ignored;
  return vxui::GetControlText(dialog, id, &ignored);
}
#endif

// A dialog helper names a control the dialog does not have: a host error.
bool CheckControl(const char* function, HWND dialog, int32_t id) {
  if (HasControl(dialog, id)) return true;
  ReportHostError(function, "items 1, 2: " + WindowName(dialog) + " has no control " + std::to_string(id));
  return false;
}

void CenterWindow(HWND parent, HWND dialog) {
  LogCall("Import_IO_Center_Window(" + WindowName(parent) + ", " + WindowName(dialog) + ")");
#ifdef _WIN32
  RECT outer{}, inner{};
  HWND reference = parent != nullptr ? parent : GetDesktopWindow();
  if (!GetWindowRect(reference, &outer) || !GetWindowRect(dialog, &inner)) return;
  int width = inner.right - inner.left, height = inner.bottom - inner.top;
  int x = outer.left + ((outer.right - outer.left) - width) / 2;
  int y = outer.top + ((outer.bottom - outer.top) - height) / 2;
  SetWindowPos(dialog, nullptr, x < 0 ? 0 : x, y < 0 ? 0 : y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
#else
  vxui::CenterDialog(parent, dialog);
#endif
}

// Shown with "%g": six significant digits, as the options file writes them.
void FloatToDialog(HWND dialog, int16_t controlId, float value) {
  LogCall("Import_IO_SdFloat_To_Dialog(" + WindowName(dialog) + ", " + std::to_string(controlId) + ", " +
          FormatFloat(value) + ")");
  if (!CheckControl("Import_IO_SdFloat_To_Dialog()", dialog, controlId)) return;
  char text[64];
  std::snprintf(text, sizeof text, "%g", static_cast<double>(value));
#ifdef _WIN32
  SetDlgItemTextA(dialog, controlId, text);
#else
  vxui::SetControlText(dialog, controlId, text);
#endif
}

// Read as atof reads: leading blanks skipped, the longest number prefix
// taken, text that is no number gives 0.
void DialogToFloat(HWND dialog, int32_t controlId, float* value) {
  std::string head = "Import_IO_Dialog_To_SdFloat(" + WindowName(dialog) + ", " + std::to_string(controlId) + ", ";
  if (value == nullptr) {
    LogCall(head + "0)");
    return ReportHostError("Import_IO_Dialog_To_SdFloat()", "item 3: expected the address of a float, found 0");
  }
  if (!CheckControl("Import_IO_Dialog_To_SdFloat()", dialog, controlId)) {
    LogCall(head + "&" + FormatFloat(*value) + ")");
    return;
  }
#ifdef _WIN32
  char text[256] = {};
  GetDlgItemTextA(dialog, controlId, text, sizeof text);
  *value = static_cast<float>(std::atof(text));
#else
  std::string text;
  vxui::GetControlText(dialog, controlId, &text);
  *value = static_cast<float>(std::atof(text.c_str()));
#endif
  LogCall(head + "&" + FormatFloat(*value) + ")");
}

void FocusEditControl(HWND dialog, int32_t controlId) {
  LogCall("Import_IO_SetFocus_Edit_Control(" + WindowName(dialog) + ", " + std::to_string(controlId) + ")");
  if (!CheckControl("Import_IO_SetFocus_Edit_Control()", dialog, controlId)) return;
#ifdef _WIN32
  HWND control = GetDlgItem(dialog, controlId);
  SetFocus(control);
  SendMessageA(control, EM_SETSEL, 0, -1);
#else
  vxui::FocusControl(dialog, controlId);
#endif
}

void SetControlEnable(HWND dialog, int32_t controlId, int32_t enable) {
  LogCall("Import_IO_Set_Control_Enable(" + WindowName(dialog) + ", " + std::to_string(controlId) + ", " +
          std::to_string(enable) + ")");
  if (!CheckControl("Import_IO_Set_Control_Enable()", dialog, controlId)) return;
#ifdef _WIN32
  EnableWindow(GetDlgItem(dialog, controlId), enable != 0);
#else
  vxui::EnableControl(dialog, controlId, enable != 0);
#endif
}

std::string LogText(const char* text) { return text ? QuoteForLog(text) : "0"; }

void DisplayHelpTopic(HWND window, const char* settingsDirectory, const char* helpFile, const char* topic) {
  LogCall("Import_IO_DisplayHelpTopic(" + WindowName(window) + ", " + LogText(settingsDirectory) + ", " +
          LogText(helpFile) + ", " + LogText(topic) + ")");
  if (helpFile == nullptr || topic == nullptr)
    return ReportHostError("Import_IO_DisplayHelpTopic()", "items 3, 4: expected a help file and a topic");
  std::string name = helpFile;
  fs::path file = FindHelpFile(settingsDirectory, name);
  std::string text;
  if (file.empty()) {
    ShowHelpProblem(window, "The help file " + name + " was not found.");
  } else if (!ReadHelpTopic(file, topic, &text)) {
    ShowHelpProblem(window, "The help file " + name + " has no topic " + topic + ".");
  } else {
    ShowHelpText(window, name, topic, text);
  }
}

}  // namespace
}  // namespace vxhost

extern "C" void Import_IO_Center_Window(HWND parent, HWND dialog) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Import_IO_Center_Window()", [&] { vxhost::CenterWindow(parent, dialog); });
  vxhost::AfterHostCall();
}

extern "C" void Import_IO_SdFloat_To_Dialog(HWND dialog, int16_t controlId, float value) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Import_IO_SdFloat_To_Dialog()", [&] { vxhost::FloatToDialog(dialog, controlId, value); });
  vxhost::AfterHostCall();
}

extern "C" void Import_IO_Dialog_To_SdFloat(HWND dialog, int32_t controlId, float* value) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Import_IO_Dialog_To_SdFloat()", [&] { vxhost::DialogToFloat(dialog, controlId, value); });
  vxhost::AfterHostCall();
}

extern "C" void Import_IO_SetFocus_Edit_Control(HWND dialog, int32_t controlId) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Import_IO_SetFocus_Edit_Control()", [&] { vxhost::FocusEditControl(dialog, controlId); });
  vxhost::AfterHostCall();
}

extern "C" void Import_IO_Set_Control_Enable(HWND dialog, int32_t controlId, int32_t enable) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Import_IO_Set_Control_Enable()", [&] { vxhost::SetControlEnable(dialog, controlId, enable); });
  vxhost::AfterHostCall();
}

extern "C" void Import_IO_DisplayHelpTopic(HWND window, const char* settingsDirectory, const char* helpFile,
                                           const char* topic) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Import_IO_DisplayHelpTopic()",
                  [&] { vxhost::DisplayHelpTopic(window, settingsDirectory, helpFile, topic); });
  vxhost::AfterHostCall();
}
