// Inside the dialog layer: the state of an open dialog and its controls, the
// keyboard model shared by the terminal and the scripted keys, and the
// terminal front end's entry points.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "template.h"
#include "varnex/ui.h"

namespace vxui {

// The window system's types as the plug-in's declarations give them.
using DialogProc = intptr_t (*)(void*, unsigned int, uintptr_t, intptr_t);
constexpr unsigned int kInitDialog = 0x0110u;
constexpr unsigned int kCommand = 0x0111u;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;

enum class ControlKind { Frame, Rect, Text, CheckBox, AutoCheckBox, Edit, PushButton, DefPushButton, GroupBox };

struct ControlState {
  const ControlTemplate* tpl = nullptr;
  ControlKind kind = ControlKind::Text;
  std::string text;
  bool checked = false;
  bool enabled = true;
};

struct DialogState {
  const DialogTemplate* tpl = nullptr;
  DialogProc proc = nullptr;
  Window owner = nullptr;
  std::vector<ControlState> controls;
  int focus = -1;           // index into controls
  bool selectAll = false;   // the focused edit field's text is selected
  bool centered = false;
  bool ended = false;
  intptr_t result = 0;

  ControlState* Find(int id);
  bool CanFocus(int index) const;
};

// Open dialogs, innermost last.
const std::vector<DialogState*>& OpenDialogs();

enum class KeyCode { None, Char, Tab, ShiftTab, Enter, Escape, Backspace, Up, Down, Left, Right, PageUp, PageDown, Home, End };
struct Key {
  KeyCode code = KeyCode::None;
  char ch = 0;
};
// Decodes the first key in bytes; answers how many bytes it took (at least 1).
size_t DecodeKey(std::string_view bytes, Key* key);
// What a key does in a dialog: focus moves, ticks, presses, typing.
void HandleKey(DialogState& dialog, const Key& key);
// A person's click: focus, automatic check boxes, then the command.
void ClickControl(DialogState& dialog, int id);

std::string ControlKindName(ControlKind kind);
DialogView ViewOf(const DialogState& dialog);
std::string OwnerName(Window owner);
// The control's text as drawn: "&" marks the next letter, "&&" is a plain "&".
std::string DisplayText(const std::string& text, size_t* mnemonic);

// -- Terminal front end
bool TerminalAvailable();
void TerminalOpen();     // raw mode and the alternate screen, on the first dialog
void TerminalClose();    // back to the normal screen, after the last one
void TerminalDraw();     // every open dialog, innermost on top
Key TerminalReadKey();
void TerminalMessageBox(const std::string& text, const std::string& caption);
void TerminalPager(const std::string& title, const std::string& text);

}  // namespace vxui
