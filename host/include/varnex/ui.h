// The reference host's dialog layer off Windows (library vxui). It runs a
// plug-in's dialog procedures unchanged from the templates of its resource
// script, either in a terminal for a person or from a script of actions for
// tests, and reports what each dialog shows.
#pragma once

#include <string>
#include <vector>

namespace vxui {

using Window = void*;  // the window handle the plug-in sees (HWND)

// The host program's main window: what the host hands a plug-in as its parent.
Window MainWindow();

// -- What a dialog shows

struct ControlView {
  int id = -1;
  std::string kind;   // "frame", "rect", "text", "checkbox", "edit", "button", "default button", "group"
  std::string text;
  bool checked = false;
  bool enabled = true;
  bool focused = false;
};

struct DialogView {
  std::string name;     // the template's name
  std::string caption;
  std::string owner;    // "main", "none", the owning dialog's name, or "window"
  bool centered = false;
  int focusId = 0;      // id of the control with the focus; 0 when none
  std::vector<ControlView> controls;

  const ControlView* Control(int id) const;  // the first control with that id, or null
};

// One line per control, as `varnex options --script` prints a dialog.
std::string Describe(const DialogView& view);

// -- Scripted mode, for tests and scripted runs of the host program
//
// With a script set, a dialog does not wait for a person: each turn of its
// modal loop takes the next action. Message boxes are answered OK at once and
// help is recorded, not shown. A dialog still open when the script runs out
// ends with -1.

struct Action {
  enum class Kind { Click, SetText, Keys, Snapshot };
  Kind kind = Kind::Snapshot;
  int id = 0;
  std::string text;
};
// A person clicking the control: ignored (and recorded) when it is disabled.
Action Click(int id);
// The control's text replaced, as a program would; works on disabled fields.
Action SetText(int id, std::string text);
// Keys as a terminal sends them (see the constants below), through the same
// keyboard handling as the terminal mode.
Action Keys(std::string keys);
// Records what the innermost open dialog shows now (see Snapshots()).
Action Snapshot();

inline constexpr const char* kTab = "\t";
inline constexpr const char* kShiftTab = "\x1b[Z";
inline constexpr const char* kEnter = "\r";
inline constexpr const char* kEscape = "\x1b";
inline constexpr const char* kBackspace = "\x7f";
inline constexpr const char* kUp = "\x1b[A";
inline constexpr const char* kDown = "\x1b[B";

void SetScript(std::vector<Action> actions);
bool ScriptMode();

// Views recorded by Snapshot() actions and, last, by every dialog as it ends.
const std::vector<DialogView>& Snapshots();
// What happened, in order: "open NAME owner=OWNER", "center NAME on OWNER",
// "click ID", "click ID ignored: disabled", "message \"CAPTION\" \"TEXT\" owner=OWNER",
// "help FILE TOPIC owner=OWNER", "snapshot NAME", "end NAME RESULT",
// "script ran out in NAME". Each "snapshot" and "end" event has its view in
// Snapshots(), in the same order.
const std::vector<std::string>& Events();
// Text of the last help topic shown.
const std::string& HelpText();

// Back to a fresh layer: no script (terminal mode), no snapshots or events.
void ResetUi();

// -- Services for the host's dialog helpers (Import_IO_ functions)

// How the host's call log names a window: "0", "main", a dialog's template
// name, or "window" for any other handle.
std::string WindowName(Window window);

bool SetControlText(Window dialog, int id, const std::string& text);
bool GetControlText(Window dialog, int id, std::string* text);
bool EnableControl(Window dialog, int id, bool enable);
bool FocusControl(Window dialog, int id);  // also selects an edit field's text
void CenterDialog(Window parent, Window dialog);
// Shows a help topic's text modally (a pager in the terminal).
void ShowHelp(Window owner, const std::string& file, const std::string& topic, const std::string& text);
// A modal message box with an OK button; answers 1 (OK).
int ShowMessage(Window owner, const std::string& text, const std::string& caption);

}  // namespace vxui
