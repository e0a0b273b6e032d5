// The terminal front end: draws the open dialogs from their templates with
// ANSI escapes (dialog units scaled to character cells), reads keys in raw
// mode, and shows message boxes and the help pager modally.
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "layer.h"

namespace vxui {
namespace {

// A character cell is about three dialog units wide and eight high: wide
// enough that every text of the templates fits its rectangle in a fixed font.
constexpr int kUnitsPerColumn = 3;
constexpr int kUnitsPerRow = 8;

struct Term {
  bool active = false;
  termios saved{};
  std::string frame;  // the screen being composed
  bool utf8 = false;
};

Term& TheTerm() {
  static Term term;
  return term;
}

void Restore() {
  Term& t = TheTerm();
  if (!t.active) return;
  t.active = false;
  const char* leave = "\x1b[0m\x1b[?25h\x1b[?1049l";
  if (write(STDOUT_FILENO, leave, std::strlen(leave)) < 0) return;
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &t.saved);
}

void ScreenSize(int* rows, int* cols) {
  winsize ws{};
  *rows = 24;
  *cols = 80;
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) == 0 && ws.ws_row > 0 && ws.ws_col > 0) {
    *rows = ws.ws_row;
    *cols = ws.ws_col;
  }
}

void Put(const std::string& s) { TheTerm().frame += s; }
void MoveTo(int row, int col) { Put("\x1b[" + std::to_string(row + 1) + ";" + std::to_string(col + 1) + "H"); }
void Flush() {
  std::string& f = TheTerm().frame;
  size_t done = 0;
  while (done < f.size()) {
    ssize_t n = write(STDOUT_FILENO, f.data() + done, f.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  f.clear();
}

// Box-drawing pieces: horizontal, vertical, and the four corners.
struct BoxGlyphs {
  const char *h, *v, *tl, *tr, *bl, *br;
};
BoxGlyphs Glyphs() {
  if (TheTerm().utf8) return {"─", "│", "┌", "┐", "└", "┘"};
  return {"-", "|", "+", "+", "+", "+"};
}

void DrawBox(int row, int col, int height, int width) {
  if (width < 2 || height < 2) return;
  BoxGlyphs g = Glyphs();
  std::string h;
  for (int i = 0; i < width - 2; ++i) h += g.h;
  MoveTo(row, col);
  Put(std::string(g.tl) + h + g.tr);
  for (int r = 1; r < height - 1; ++r) {
    MoveTo(row + r, col);
    Put(g.v);
    MoveTo(row + r, col + width - 1);
    Put(g.v);
  }
  MoveTo(row + height - 1, col);
  Put(std::string(g.bl) + h + g.br);
}

void FillBlank(int row, int col, int height, int width) {
  for (int r = 0; r < height; ++r) {
    MoveTo(row + r, col);
    Put(std::string(static_cast<size_t>(std::max(width, 0)), ' '));
  }
}

std::vector<std::string> Wrap(const std::string& text, int width) {
  std::vector<std::string> lines;
  std::string line, word;
  auto flushWord = [&] {
    if (word.empty()) return;
    if (!line.empty() && static_cast<int>(line.size() + 1 + word.size()) > width) {
      lines.push_back(line);
      line.clear();
    }
    line += (line.empty() ? "" : " ") + word;
    word.clear();
  };
  for (char c : text) {
    if (c == ' ') flushWord();
    else if (c == '\n') {
      flushWord();
      lines.push_back(line);
      line.clear();
    } else word += c;
  }
  flushWord();
  if (!line.empty() || lines.empty()) lines.push_back(line);
  for (std::string& l : lines)
    if (static_cast<int>(l.size()) > width) l.resize(static_cast<size_t>(std::max(width, 0)));
  return lines;
}

// Writes text with its mnemonic letter underlined; `style` is re-applied after it.
void PutLabel(const std::string& text, size_t mnemonic, const std::string& style) {
  if (mnemonic >= text.size()) {
    Put(text);
    return;
  }
  Put(text.substr(0, mnemonic) + "\x1b[4m" + text.substr(mnemonic, 1) + "\x1b[24m" + style + text.substr(mnemonic + 1));
}

// Help text keeps its lines and indentation; only lines too long are wrapped,
// their continuations indented like the line itself.
std::vector<std::string> WrapPreformatted(const std::string& text, int width) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (end == std::string::npos && line.empty()) break;
    size_t indent = std::min(line.find_first_not_of(' '), line.size());
    if (static_cast<int>(line.size()) <= width || static_cast<int>(indent) >= width / 2) {
      lines.push_back(line);
    } else {
      for (const std::string& part : Wrap(line.substr(indent), width - static_cast<int>(indent)))
        lines.push_back(std::string(indent, ' ') + part);
    }
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

struct Cell {
  int row, col, height, width;
};

Cell Place(const ControlTemplate& c, int originRow, int originCol, bool singleLine) {
  Cell cell;
  cell.col = originCol + (c.x + 1) / kUnitsPerColumn;
  cell.width = std::max(1, (c.x + c.width + 1) / kUnitsPerColumn - (c.x + 1) / kUnitsPerColumn);
  if (singleLine) {
    cell.row = originRow + (c.y + c.height / 2) / kUnitsPerRow;
    cell.height = 1;
  } else {
    cell.row = originRow + c.y / kUnitsPerRow;
    cell.height = std::max(1, (c.y + c.height + kUnitsPerRow - 1) / kUnitsPerRow - c.y / kUnitsPerRow);
  }
  return cell;
}

void DrawControl(const DialogState& dialog, size_t index, int originRow, int originCol, int* cursorRow, int* cursorCol) {
  const ControlState& c = dialog.controls[index];
  const ControlTemplate& t = *c.tpl;
  bool focused = static_cast<int>(index) == dialog.focus;
  std::string base = c.enabled ? "\x1b[0m" : "\x1b[0;2m";  // disabled controls are greyed
  if (focused) base += "\x1b[7m";
  size_t mnemonic = std::string::npos;
  std::string label = DisplayText(c.text, &mnemonic);
  bool multiLine = (c.kind == ControlKind::Text && t.height >= 2 * kUnitsPerRow) || c.kind == ControlKind::Frame ||
                   c.kind == ControlKind::Rect || c.kind == ControlKind::GroupBox;
  Cell cell = Place(t, originRow, originCol, !multiLine);
  switch (c.kind) {
    case ControlKind::Frame: case ControlKind::Rect: case ControlKind::GroupBox:
      Put("\x1b[0m");
      DrawBox(cell.row, cell.col, cell.height, cell.width);
      if (c.kind == ControlKind::GroupBox && !label.empty()) {
        MoveTo(cell.row, cell.col + 2);
        Put(" " + label + " ");
      }
      return;
    case ControlKind::Text: {
      Put(base);
      std::vector<std::string> lines = Wrap(label, cell.width);
      uint32_t align = t.style & style::kStaticTypeMask;
      for (size_t i = 0; i < lines.size() && static_cast<int>(i) < cell.height; ++i) {
        int pad = align == style::kStaticCenter ? (cell.width - static_cast<int>(lines[i].size())) / 2
                  : align == style::kStaticRight ? cell.width - static_cast<int>(lines[i].size())
                                                 : 0;
        MoveTo(cell.row + static_cast<int>(i), cell.col + std::max(pad, 0));
        Put(lines[i]);
      }
      break;
    }
    case ControlKind::CheckBox: case ControlKind::AutoCheckBox:
      MoveTo(cell.row, cell.col);
      Put(base + (c.checked ? "[x] " : "[ ] "));
      PutLabel(label.substr(0, static_cast<size_t>(std::max(cell.width - 4, 0))), mnemonic, base);
      break;
    case ControlKind::Edit: {
      int inner = std::max(cell.width - 2, 1);
      std::string shown = label.size() > static_cast<size_t>(inner) ? label.substr(label.size() - static_cast<size_t>(inner)) : label;
      MoveTo(cell.row, cell.col);
      Put(std::string(c.enabled ? "\x1b[0m" : "\x1b[0;2m") + "[");
      Put(focused && dialog.selectAll ? "\x1b[7m" + shown + "\x1b[27m" : shown);
      Put(std::string(static_cast<size_t>(inner) - shown.size(), c.enabled ? '_' : ' ') + "]");
      if (focused) {
        *cursorRow = cell.row;
        *cursorCol = cell.col + 1 + static_cast<int>(shown.size());
      }
      break;
    }
    case ControlKind::PushButton: case ControlKind::DefPushButton: {
      bool isDefault = c.kind == ControlKind::DefPushButton;
      std::string face = isDefault ? "<" + label + ">" : " " + label + " ";
      int pad = std::max((cell.width - static_cast<int>(face.size()) - 2) / 2, 0);
      MoveTo(cell.row, cell.col + pad);
      std::string style = base + (isDefault ? "\x1b[1m" : "");
      Put(style + "[" + face.substr(0, 1));
      PutLabel(label, mnemonic, style);
      Put(face.substr(face.size() - 1) + "]");
      break;
    }
  }
  Put("\x1b[0m");
}

void DrawDialog(const DialogState& dialog, int screenRows, int screenCols, int* cursorRow, int* cursorCol) {
  const DialogTemplate& t = *dialog.tpl;
  int width = (t.width + kUnitsPerColumn - 1) / kUnitsPerColumn + 2;
  int height = (t.height + kUnitsPerRow - 1) / kUnitsPerRow + 4;  // border, title, rule
  int row = dialog.centered ? (screenRows - height) / 2 : t.y / kUnitsPerRow;
  int col = dialog.centered ? (screenCols - width) / 2 : t.x / kUnitsPerColumn;
  row = std::max(row, 0);
  col = std::max(col, 0);
  Put("\x1b[0m");
  FillBlank(row, col, height, width);
  DrawBox(row, col, height, width);
  MoveTo(row + 1, col + 1);
  std::string caption = t.caption;
  caption.resize(static_cast<size_t>(width - 2), ' ');
  Put("\x1b[7m" + caption + "\x1b[0m");
  BoxGlyphs g = Glyphs();
  MoveTo(row + 2, col + 1);
  for (int i = 0; i < width - 2; ++i) Put(g.h);
  for (size_t i = 0; i < dialog.controls.size(); ++i) DrawControl(dialog, i, row + 3, col + 1, cursorRow, cursorCol);
}

int ReadByte(int timeoutMs) {
  pollfd p{STDIN_FILENO, POLLIN, 0};
  if (poll(&p, 1, timeoutMs) <= 0) return -1;
  unsigned char c = 0;
  if (read(STDIN_FILENO, &c, 1) != 1) return -2;
  return c;
}

int DrawMessageBox(const std::string& text, const std::string& caption) {
  int rows = 0, cols = 0;
  ScreenSize(&rows, &cols);
  int width = std::min(std::max<int>(static_cast<int>(std::max(text.size(), caption.size())) + 4, 24), cols - 4);
  std::vector<std::string> lines = Wrap(text, width - 4);
  int height = static_cast<int>(lines.size()) + 6;
  int row = std::max((rows - height) / 2, 0), col = std::max((cols - width) / 2, 0);
  Put("\x1b[0m");
  FillBlank(row, col, height, width);
  DrawBox(row, col, height, width);
  MoveTo(row + 1, col + 1);
  std::string title = caption;
  title.resize(static_cast<size_t>(width - 2), ' ');
  Put("\x1b[7m" + title + "\x1b[0m");
  for (size_t i = 0; i < lines.size(); ++i) {
    MoveTo(row + 3 + static_cast<int>(i), col + 2);
    Put(lines[i]);
  }
  MoveTo(row + height - 2, col + (width - 6) / 2);
  Put("\x1b[1;7m[ OK ]\x1b[0m");
  return 0;
}

}  // namespace

bool TerminalAvailable() { return isatty(STDIN_FILENO) && isatty(STDOUT_FILENO); }

void TerminalOpen() {
  Term& t = TheTerm();
  if (t.active || !TerminalAvailable()) return;
  const char* lang = std::getenv("LC_ALL");
  if (!lang || !*lang) lang = std::getenv("LC_CTYPE");
  if (!lang || !*lang) lang = std::getenv("LANG");
  std::string l = lang ? lang : "";
  t.utf8 = l.find("UTF-8") != std::string::npos || l.find("utf8") != std::string::npos || l.find("UTF8") != std::string::npos ||
           l.find("utf-8") != std::string::npos;
  tcgetattr(STDIN_FILENO, &t.saved);
  termios raw = t.saved;
  raw.c_iflag &= ~static_cast<tcflag_t>(BRKINT | ICRNL | INPCK | ISTRIP | IXON);
  raw.c_lflag &= ~static_cast<tcflag_t>(ECHO | ICANON | IEXTEN | ISIG);
  raw.c_cc[VMIN] = 1;
  raw.c_cc[VTIME] = 0;
  tcsetattr(STDIN_FILENO, TCSAFLUSH, &raw);
  t.active = true;
  static bool registered = false;
  if (!registered) {
    std::atexit(Restore);
    registered = true;
  }
  Put("\x1b[?1049h\x1b[2J");
  Flush();
}

void TerminalClose() { Restore(); }

void TerminalDraw() {
  int rows = 0, cols = 0;
  ScreenSize(&rows, &cols);
  int cursorRow = -1, cursorCol = -1;
  Put("\x1b[0m\x1b[2J\x1b[?25l");
  MoveTo(rows - 1, 0);
  Put("\x1b[2mTab/Shift-Tab move  Space ticks or presses  Enter OK  Esc cancels\x1b[0m");
  for (DialogState* d : OpenDialogs()) {
    cursorRow = cursorCol = -1;
    DrawDialog(*d, rows, cols, &cursorRow, &cursorCol);
  }
  if (cursorRow >= 0) {
    MoveTo(cursorRow, cursorCol);
    Put("\x1b[?25h");
  }
  Flush();
}

Key TerminalReadKey() {
  std::string bytes;
  int c = ReadByte(-1);
  if (c < 0) return Key{KeyCode::Escape, 0};  // input closed: leave as a person would with Esc
  bytes += static_cast<char>(c);
  if (c == 0x1b) {
    // A lone Esc is a key; an escape sequence arrives all at once.
    while (bytes.size() < 8) {
      int more = ReadByte(30);
      if (more < 0) break;
      bytes += static_cast<char>(more);
      if (bytes.size() >= 3 && (std::isalpha(static_cast<unsigned char>(more)) || more == '~')) break;
    }
  }
  Key key;
  DecodeKey(bytes, &key);
  return key;
}

void TerminalMessageBox(const std::string& text, const std::string& caption) {
  for (;;) {
    TerminalDraw();
    DrawMessageBox(text, caption);
    Put("\x1b[?25l");
    Flush();
    Key key = TerminalReadKey();
    if (key.code == KeyCode::Enter || key.code == KeyCode::Escape || (key.code == KeyCode::Char && (key.ch == ' ' || key.ch == 'o' || key.ch == 'O')))
      return;
  }
}

void TerminalPager(const std::string& title, const std::string& text) {
  bool opened = !TheTerm().active;
  if (opened) TerminalOpen();
  int top = 0;
  for (;;) {
    int rows = 0, cols = 0;
    ScreenSize(&rows, &cols);
    std::vector<std::string> lines = WrapPreformatted(text, cols - 2);
    int page = std::max(rows - 2, 1);
    int last = std::max(static_cast<int>(lines.size()) - page, 0);
    top = std::clamp(top, 0, last);
    Put("\x1b[0m\x1b[2J\x1b[?25l");
    MoveTo(0, 0);
    std::string head = "Help: " + title;
    head.resize(static_cast<size_t>(cols), ' ');
    Put("\x1b[7m" + head + "\x1b[0m");
    for (int i = 0; i < page && top + i < static_cast<int>(lines.size()); ++i) {
      MoveTo(1 + i, 1);
      Put(lines[static_cast<size_t>(top + i)]);
    }
    MoveTo(rows - 1, 0);
    Put("\x1b[2mUp/Down/PgUp/PgDn/Space scroll  q or Esc closes\x1b[0m");
    Flush();
    Key key = TerminalReadKey();
    if (key.code == KeyCode::Escape || (key.code == KeyCode::Char && (key.ch == 'q' || key.ch == 'Q')) || key.code == KeyCode::Enter) break;
    if (key.code == KeyCode::Down) ++top;
    if (key.code == KeyCode::Up) --top;
    if (key.code == KeyCode::PageDown || (key.code == KeyCode::Char && key.ch == ' ')) top += page;
    if (key.code == KeyCode::PageUp) top -= page;
    if (key.code == KeyCode::Home) top = 0;
    if (key.code == KeyCode::End) top = last;
  }
  if (opened) TerminalClose();
}

}  // namespace vxui
