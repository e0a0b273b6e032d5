// The import I/O library's dialog helpers: centring, numbers into and out of
// edit fields, focus, enabling, and the help topic. Off Windows they work on
// the dialog layer (vxui); on Windows on the real window system.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>

#include "varnex/ui.h"
typedef void* HWND;
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

#ifdef _WIN32
#define VXIMP_EXPORT extern "C"
#else
#define VXIMP_EXPORT extern "C" __attribute__((visibility("default")))
#endif

VXIMP_EXPORT void Import_IO_Center_Window(HWND parent, HWND dialog) {
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
VXIMP_EXPORT void Import_IO_SdFloat_To_Dialog(HWND dialog, int16_t controlId, float value) {
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
VXIMP_EXPORT void Import_IO_Dialog_To_SdFloat(HWND dialog, int32_t controlId, float* value) {
  if (value == nullptr) return;
#ifdef _WIN32
  char text[256] = {};
  GetDlgItemTextA(dialog, controlId, text, sizeof text);
  *value = static_cast<float>(std::atof(text));
#else
  std::string text;
  if (!vxui::GetControlText(dialog, controlId, &text)) text.clear();
  *value = static_cast<float>(std::atof(text.c_str()));
#endif
}

VXIMP_EXPORT void Import_IO_SetFocus_Edit_Control(HWND dialog, int32_t controlId) {
#ifdef _WIN32
  HWND control = GetDlgItem(dialog, controlId);
  if (control == nullptr) return;
  SetFocus(control);
  SendMessageA(control, EM_SETSEL, 0, -1);
#else
  vxui::FocusControl(dialog, controlId);
#endif
}

VXIMP_EXPORT void Import_IO_Set_Control_Enable(HWND dialog, int32_t controlId, int32_t enable) {
#ifdef _WIN32
  HWND control = GetDlgItem(dialog, controlId);
  if (control != nullptr) EnableWindow(control, enable != 0);
#else
  vxui::EnableControl(dialog, controlId, enable != 0);
#endif
}

VXIMP_EXPORT void Import_IO_DisplayHelpTopic(HWND window, const char* settingsDirectory, const char* helpFile,
                                             const char* topic) {
  try {
    std::string name = helpFile != nullptr ? helpFile : "";
    std::string wanted = topic != nullptr ? topic : "main";
    fs::path file = FindHelpFile(settingsDirectory, name);
    std::string text;
    if (file.empty()) {
      ShowHelpProblem(window, "The help file " + name + " was not found.");
    } else if (!ReadHelpTopic(file, wanted, &text)) {
      ShowHelpProblem(window, "The help file " + name + " has no topic " + wanted + ".");
    } else {
      ShowHelpText(window, name, wanted, text);
    }
  } catch (...) {
    // Help is a convenience: nothing it meets may end the host.
  }
}
