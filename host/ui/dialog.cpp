// The dialog engine: DialogBoxParamA and friends with the window system's ABI,
// per-control state, the modal loop, and the scripted mode that tests drive.
// Owns the stack of open dialogs; the terminal front end only draws them.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "layer.h"
#include "varnex/window_system.h"

namespace vxui {
namespace {

struct Layer {
  std::vector<std::unique_ptr<DialogState>> open;
  std::vector<DialogState*> openView;
  bool scripted = false;
  std::vector<Action> script;
  size_t next = 0;
  std::vector<DialogView> snapshots;
  std::vector<std::string> events;
  std::string helpText;
};

Layer& TheLayer() {
  static Layer layer;
  return layer;
}

// The main window is only ever compared, never drawn.
char mainWindowTag;

DialogState* FindDialog(Window handle) {
  for (DialogState* d : TheLayer().openView)
    if (d == handle) return d;
  return nullptr;
}

void Record(std::string event) { TheLayer().events.push_back(std::move(event)); }

const DialogTemplate* FindTemplate(const char* name) {
  if (name == nullptr) return nullptr;
  // Resource names match regardless of letter case, as the window system's do.
  auto same = [](const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
      if (std::toupper(static_cast<unsigned char>(*a)) != std::toupper(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
  };
  for (size_t i = 0; i < kTemplateCount; ++i)
    if (same(kTemplates[i].name, name)) return &kTemplates[i];
  return nullptr;
}

ControlKind KindOf(const ControlTemplate& c) {
  std::string cls = c.className;
  std::transform(cls.begin(), cls.end(), cls.begin(), [](unsigned char ch) { return std::tolower(ch); });
  if (cls == "edit") return ControlKind::Edit;
  if (cls == "button") {
    switch (c.style & style::kButtonTypeMask) {
      case style::kDefPushButton: return ControlKind::DefPushButton;
      case style::kCheckBox: return ControlKind::CheckBox;
      case style::kAutoCheckBox: return ControlKind::AutoCheckBox;
      case style::kGroupBox: return ControlKind::GroupBox;
      default: return ControlKind::PushButton;
    }
  }
  switch (c.style & style::kStaticTypeMask) {
    case style::kBlackFrame: case style::kGrayFrame: case style::kWhiteFrame: return ControlKind::Frame;
    case style::kBlackRect: case style::kGrayRect: case style::kWhiteRect: return ControlKind::Rect;
    default: return ControlKind::Text;
  }
}

void SendCommand(DialogState& dialog, int id, ControlState* control) {
  dialog.proc(&dialog, kCommand, static_cast<uintptr_t>(static_cast<uint16_t>(id)), reinterpret_cast<intptr_t>(control));
}

void MoveFocus(DialogState& dialog, int step) {
  int n = static_cast<int>(dialog.controls.size());
  int start = dialog.focus < 0 ? (step > 0 ? -1 : 0) : dialog.focus;
  for (int k = 1; k <= n; ++k) {
    int i = ((start + step * k) % n + n) % n;
    if (dialog.CanFocus(i)) {
      dialog.focus = i;
      dialog.selectAll = dialog.controls[i].kind == ControlKind::Edit;
      return;
    }
  }
}

void RunScriptTurn(DialogState& dialog) {
  Layer& layer = TheLayer();
  if (layer.next >= layer.script.size()) {
    Record("script ran out in " + std::string(dialog.tpl->name));
    dialog.ended = true;
    dialog.result = -1;
    return;
  }
  const Action action = layer.script[layer.next++];
  switch (action.kind) {
    case Action::Kind::Click: ClickControl(dialog, action.id); break;
    case Action::Kind::SetText:
      if (ControlState* c = dialog.Find(action.id)) c->text = action.text;
      break;
    case Action::Kind::Keys:
      for (size_t used = 0; used < action.text.size() && !dialog.ended;) {
        Key key;
        used += DecodeKey(std::string_view(action.text).substr(used), &key);
        HandleKey(dialog, key);
      }
      break;
    case Action::Kind::Snapshot:
      layer.snapshots.push_back(ViewOf(dialog));
      Record("snapshot " + std::string(dialog.tpl->name));
      break;
  }
}

}  // namespace

// -- Dialog state

ControlState* DialogState::Find(int id) {
  for (ControlState& c : controls)
    if (c.tpl->id == id) return &c;
  return nullptr;
}

bool DialogState::CanFocus(int index) const {
  const ControlState& c = controls[static_cast<size_t>(index)];
  return c.enabled && (c.tpl->style & style::kTabStop) != 0;
}

const std::vector<DialogState*>& OpenDialogs() { return TheLayer().openView; }

std::string OwnerName(Window owner) {
  if (owner == nullptr) return "none";
  if (owner == MainWindow()) return "main";
  if (DialogState* d = FindDialog(owner)) return d->tpl->name;
  return "window";
}

std::string WindowName(Window window) { return window == nullptr ? "0" : OwnerName(window); }

std::string ControlKindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::Frame: return "frame";
    case ControlKind::Rect: return "rect";
    case ControlKind::Text: return "text";
    case ControlKind::CheckBox: case ControlKind::AutoCheckBox: return "checkbox";
    case ControlKind::Edit: return "edit";
    case ControlKind::PushButton: return "button";
    case ControlKind::DefPushButton: return "default button";
    case ControlKind::GroupBox: return "group";
  }
  return "text";
}

std::string DisplayText(const std::string& text, size_t* mnemonic) {
  std::string out;
  if (mnemonic) *mnemonic = std::string::npos;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '&' && i + 1 < text.size()) {
      ++i;
      if (text[i] != '&' && mnemonic && *mnemonic == std::string::npos) *mnemonic = out.size();
    }
    out += text[i];
  }
  return out;
}

DialogView ViewOf(const DialogState& dialog) {
  DialogView view;
  view.name = dialog.tpl->name;
  view.caption = dialog.tpl->caption;
  view.owner = OwnerName(dialog.owner);
  view.centered = dialog.centered;
  for (size_t i = 0; i < dialog.controls.size(); ++i) {
    const ControlState& c = dialog.controls[i];
    ControlView v;
    v.id = c.tpl->id;
    v.kind = ControlKindName(c.kind);
    v.text = c.text;
    v.checked = c.checked;
    v.enabled = c.enabled;
    v.focused = static_cast<int>(i) == dialog.focus;
    if (v.focused) view.focusId = v.id;
    view.controls.push_back(v);
  }
  return view;
}

// -- Keyboard

size_t DecodeKey(std::string_view bytes, Key* key) {
  *key = Key{};
  if (bytes.empty()) return 1;
  unsigned char c = static_cast<unsigned char>(bytes[0]);
  if (c == 0x1b) {
    if (bytes.size() >= 3 && (bytes[1] == '[' || bytes[1] == 'O')) {
      switch (bytes[2]) {
        case 'Z': key->code = KeyCode::ShiftTab; return 3;
        case 'A': key->code = KeyCode::Up; return 3;
        case 'B': key->code = KeyCode::Down; return 3;
        case 'C': key->code = KeyCode::Right; return 3;
        case 'D': key->code = KeyCode::Left; return 3;
        case 'H': key->code = KeyCode::Home; return 3;
        case 'F': key->code = KeyCode::End; return 3;
        default: break;
      }
      if (bytes.size() >= 4 && bytes[3] == '~') {
        if (bytes[2] == '5') key->code = KeyCode::PageUp;
        if (bytes[2] == '6') key->code = KeyCode::PageDown;
        return 4;
      }
      return 3;
    }
    key->code = KeyCode::Escape;
    return 1;
  }
  if (c == '\t') key->code = KeyCode::Tab;
  else if (c == '\r' || c == '\n') key->code = KeyCode::Enter;
  else if (c == 0x7f || c == 0x08) key->code = KeyCode::Backspace;
  else if (c == 0x03) key->code = KeyCode::Escape;  // Ctrl-C leaves like Esc: raw mode keeps it from killing us mid-draw
  else if (c >= 0x20) {
    key->code = KeyCode::Char;
    key->ch = static_cast<char>(c);
  }
  return 1;
}

void ClickControl(DialogState& dialog, int id) {
  ControlState* c = dialog.Find(id);
  if (c == nullptr) {
    Record("click " + std::to_string(id) + " ignored: no such control");
    return;
  }
  if (!c->enabled) {
    Record("click " + std::to_string(id) + " ignored: disabled");
    return;
  }
  Record("click " + std::to_string(id));
  int index = static_cast<int>(c - dialog.controls.data());
  if (dialog.CanFocus(index)) {
    dialog.focus = index;
    dialog.selectAll = c->kind == ControlKind::Edit;
  }
  if (c->kind == ControlKind::AutoCheckBox) c->checked = !c->checked;
  if (c->kind == ControlKind::CheckBox || c->kind == ControlKind::AutoCheckBox || c->kind == ControlKind::PushButton ||
      c->kind == ControlKind::DefPushButton)
    SendCommand(dialog, id, c);
}

void HandleKey(DialogState& dialog, const Key& key) {
  ControlState* focused = dialog.focus >= 0 ? &dialog.controls[static_cast<size_t>(dialog.focus)] : nullptr;
  bool inEdit = focused && focused->kind == ControlKind::Edit;
  switch (key.code) {
    case KeyCode::Tab: case KeyCode::Down: MoveFocus(dialog, 1); return;
    case KeyCode::ShiftTab: case KeyCode::Up: MoveFocus(dialog, -1); return;
    case KeyCode::Escape: SendCommand(dialog, kIdCancel, dialog.Find(kIdCancel)); return;
    case KeyCode::Enter: {
      if (focused && (focused->kind == ControlKind::PushButton || focused->kind == ControlKind::DefPushButton)) {
        ClickControl(dialog, focused->tpl->id);
        return;
      }
      for (ControlState& c : dialog.controls)
        if (c.kind == ControlKind::DefPushButton) {
          ClickControl(dialog, c.tpl->id);
          return;
        }
      SendCommand(dialog, kIdOk, nullptr);
      return;
    }
    case KeyCode::Char:
      if (inEdit) {
        if (dialog.selectAll) focused->text.clear();
        dialog.selectAll = false;
        focused->text += key.ch;
      } else if (key.ch == ' ' && focused) {
        ClickControl(dialog, focused->tpl->id);
      }
      return;
    case KeyCode::Backspace:
      if (inEdit) {
        if (dialog.selectAll) focused->text.clear();
        else if (!focused->text.empty()) focused->text.pop_back();
        dialog.selectAll = false;
      }
      return;
    case KeyCode::Left: case KeyCode::Right: case KeyCode::Home: case KeyCode::End:
      dialog.selectAll = false;  // the caret stays at the end; this only drops the selection
      return;
    default: return;
  }
}

// -- Public interface

Window MainWindow() { return &mainWindowTag; }

const ControlView* DialogView::Control(int id) const {
  for (const ControlView& c : controls)
    if (c.id == id) return &c;
  return nullptr;
}

std::string Describe(const DialogView& view) {
  std::ostringstream out;
  out << view.name << " \"" << view.caption << "\" owner=" << view.owner << (view.centered ? " centered" : "") << "\n";
  for (const ControlView& c : view.controls) {
    if (c.kind == "frame" || c.kind == "rect") continue;
    out << "  ";
    if (c.id >= 0) out << c.id << " ";
    out << c.kind;
    if (c.kind == "checkbox") out << (c.checked ? " [x]" : " [ ]");
    out << " \"" << c.text << "\"";
    if (!c.enabled) out << " disabled";
    if (c.focused) out << " focus";
    out << "\n";
  }
  return out.str();
}

Action Click(int id) { return Action{Action::Kind::Click, id, {}}; }
Action SetText(int id, std::string text) { return Action{Action::Kind::SetText, id, std::move(text)}; }
Action Keys(std::string keys) { return Action{Action::Kind::Keys, 0, std::move(keys)}; }
Action Snapshot() { return Action{Action::Kind::Snapshot, 0, {}}; }

void SetScript(std::vector<Action> actions) {
  Layer& layer = TheLayer();
  layer.scripted = true;
  layer.script = std::move(actions);
  layer.next = 0;
}

bool ScriptMode() { return TheLayer().scripted; }
const std::vector<DialogView>& Snapshots() { return TheLayer().snapshots; }
const std::vector<std::string>& Events() { return TheLayer().events; }
const std::string& HelpText() { return TheLayer().helpText; }

void ResetUi() {
  Layer& layer = TheLayer();
  layer.scripted = false;
  layer.script.clear();
  layer.next = 0;
  layer.snapshots.clear();
  layer.events.clear();
  layer.helpText.clear();
}

bool SetControlText(Window dialog, int id, const std::string& text) {
  DialogState* d = FindDialog(dialog);
  ControlState* c = d ? d->Find(id) : nullptr;
  if (c == nullptr) return false;
  c->text = text;
  return true;
}

bool GetControlText(Window dialog, int id, std::string* text) {
  DialogState* d = FindDialog(dialog);
  ControlState* c = d ? d->Find(id) : nullptr;
  if (c == nullptr) return false;
  *text = c->text;
  return true;
}

bool EnableControl(Window dialog, int id, bool enable) {
  DialogState* d = FindDialog(dialog);
  ControlState* c = d ? d->Find(id) : nullptr;
  if (c == nullptr) return false;
  c->enabled = enable;
  // A control that loses its enabling cannot keep the focus.
  if (!enable && d->focus == static_cast<int>(c - d->controls.data())) MoveFocus(*d, 1);
  return true;
}

bool FocusControl(Window dialog, int id) {
  DialogState* d = FindDialog(dialog);
  ControlState* c = d ? d->Find(id) : nullptr;
  if (c == nullptr || !c->enabled) return false;
  d->focus = static_cast<int>(c - d->controls.data());
  d->selectAll = c->kind == ControlKind::Edit;
  return true;
}

void CenterDialog(Window parent, Window dialog) {
  DialogState* d = FindDialog(dialog);
  if (d == nullptr) return;
  d->centered = true;
  Record("center " + std::string(d->tpl->name) + " on " + OwnerName(parent));
}

void ShowHelp(Window owner, const std::string& file, const std::string& topic, const std::string& text) {
  Layer& layer = TheLayer();
  layer.helpText = text;
  Record("help " + file + " " + topic + " owner=" + OwnerName(owner));
  if (!layer.scripted && TerminalAvailable()) TerminalPager(file + " - " + topic, text);
}

int ShowMessage(Window owner, const std::string& text, const std::string& caption) {
  Record("message \"" + caption + "\" \"" + text + "\" owner=" + OwnerName(owner));
  if (!TheLayer().scripted) {
    if (!OpenDialogs().empty() && TerminalAvailable()) TerminalMessageBox(text, caption);
    else std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
  }
  return kIdOk;
}

}  // namespace vxui

// -- The window system's functions, with the ABI the plug-in declares

using vxui::DialogState;

extern "C" {

__attribute__((visibility("default"))) intptr_t DialogBoxParamA(void* instance, const char* templateName, void* owner,
                                                                  vxui::DialogProc proc, intptr_t param) {
  (void)instance;  // the layer holds the templates of its one resource script
  vxui::Layer& layer = vxui::TheLayer();
  const vxui::DialogTemplate* tpl = vxui::FindTemplate(templateName);
  if (tpl == nullptr || proc == nullptr) {
    vxui::Record("no dialog template " + std::string(templateName ? templateName : "(null)"));
    return -1;
  }
  if (!layer.scripted && !vxui::TerminalAvailable()) {
    vxui::Record("no terminal for " + std::string(tpl->name));
    std::fprintf(stderr, "The dialog %s needs a terminal.\n", tpl->name);
    return -1;
  }
  auto owned = std::make_unique<DialogState>();
  DialogState& dialog = *owned;
  dialog.tpl = tpl;
  dialog.proc = proc;
  dialog.owner = owner;
  for (size_t i = 0; i < tpl->controlCount; ++i) {
    vxui::ControlState c;
    c.tpl = &tpl->controls[i];
    c.kind = vxui::KindOf(*c.tpl);
    c.text = c.kind == vxui::ControlKind::Edit ? std::string() : std::string(c.tpl->text);
    c.enabled = (c.tpl->style & vxui::style::kDisabled) == 0;
    dialog.controls.push_back(std::move(c));
  }
  layer.open.push_back(std::move(owned));
  layer.openView.push_back(&dialog);
  vxui::Record("open " + std::string(tpl->name) + " owner=" + vxui::OwnerName(owner));
  if (!layer.scripted && layer.openView.size() == 1) vxui::TerminalOpen();

  // A dialog procedure that answers 1 to its creation leaves the focus to the
  // window system: the first control a Tab would reach.
  if (proc(&dialog, vxui::kInitDialog, 0, param) != 0 && dialog.focus < 0) vxui::MoveFocus(dialog, 1);
  while (!dialog.ended) {
    if (layer.scripted) {
      vxui::RunScriptTurn(dialog);
    } else {
      vxui::TerminalDraw();
      vxui::HandleKey(dialog, vxui::TerminalReadKey());
    }
  }
  intptr_t result = dialog.result;
  layer.snapshots.push_back(vxui::ViewOf(dialog));
  vxui::Record("end " + std::string(tpl->name) + " " + std::to_string(result));
  layer.openView.pop_back();
  layer.open.pop_back();
  if (!layer.scripted) {
    if (layer.openView.empty()) vxui::TerminalClose();
  }
  return result;
}

__attribute__((visibility("default"))) int EndDialog(void* dialogHandle, intptr_t result) {
  DialogState* dialog = vxui::FindDialog(dialogHandle);
  if (dialog == nullptr) return 0;
  dialog->ended = true;
  dialog->result = result;
  return 1;
}

__attribute__((visibility("default"))) int CheckDlgButton(void* dialogHandle, int id, unsigned int check) {
  DialogState* dialog = vxui::FindDialog(dialogHandle);
  vxui::ControlState* c = dialog ? dialog->Find(id) : nullptr;
  if (c == nullptr) return 0;
  c->checked = check != 0;
  return 1;
}

__attribute__((visibility("default"))) int MessageBoxA(void* owner, const char* text, const char* caption, unsigned int type) {
  (void)type;  // only the OK box is offered
  return vxui::ShowMessage(owner, text ? text : "", caption ? caption : "Error");
}

}  // extern "C"
