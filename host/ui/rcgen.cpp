// vxui_rcgen: reads a Windows resource script's DIALOG templates (and the
// #defines of the headers it includes in quotes) and writes them as the C++
// tables of template.h, so the dialog layer and the Windows build share one source.
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

struct Token {
  enum Kind { Word, Number, String, Punct, End } kind = End;
  std::string text;
  int64_t number = 0;
  int line = 0;
};

struct ParseError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The window-system names a dialog script uses; anything else must be #defined.
const std::map<std::string, int64_t>& BuiltinNames() {
  static const std::map<std::string, int64_t> names = {
      {"WS_POPUP", 0x80000000}, {"WS_CHILD", 0x40000000}, {"WS_VISIBLE", 0x10000000},
      {"WS_DISABLED", 0x08000000}, {"WS_CAPTION", 0x00C00000}, {"WS_BORDER", 0x00800000},
      {"WS_DLGFRAME", 0x00400000}, {"WS_VSCROLL", 0x00200000}, {"WS_HSCROLL", 0x00100000},
      {"WS_SYSMENU", 0x00080000}, {"WS_GROUP", 0x00020000}, {"WS_TABSTOP", 0x00010000},
      {"DS_MODALFRAME", 0x80}, {"DS_SETFONT", 0x40}, {"DS_CENTER", 0x800},
      {"SS_LEFT", 0}, {"SS_CENTER", 1}, {"SS_RIGHT", 2}, {"SS_BLACKRECT", 4},
      {"SS_GRAYRECT", 5}, {"SS_WHITERECT", 6}, {"SS_BLACKFRAME", 7}, {"SS_GRAYFRAME", 8},
      {"SS_WHITEFRAME", 9}, {"SS_NOPREFIX", 0x80},
      {"BS_PUSHBUTTON", 0}, {"BS_DEFPUSHBUTTON", 1}, {"BS_CHECKBOX", 2}, {"BS_AUTOCHECKBOX", 3},
      {"BS_GROUPBOX", 7},
      {"ES_LEFT", 0}, {"ES_CENTER", 1}, {"ES_RIGHT", 2}, {"ES_AUTOHSCROLL", 0x80},
      {"ES_READONLY", 0x800}, {"ES_NUMBER", 0x2000},
      {"IDOK", 1}, {"IDCANCEL", 2}, {"IDC_STATIC", -1},
  };
  return names;
}

constexpr int64_t kChildVisible = 0x40000000 | 0x10000000;

class Script {
 public:
  explicit Script(const fs::path& path) : path_(path) { Load(path); }

  std::string Where(const Token& t) const { return path_.filename().string() + ":" + std::to_string(t.line); }

  const Token& Peek() const { return tokens_[pos_]; }
  Token Next() { return pos_ < tokens_.size() - 1 ? tokens_[pos_++] : tokens_.back(); }
  bool At(const std::string& text) const { return Peek().kind != Token::String && Peek().text == text; }
  bool AtEnd() const { return Peek().kind == Token::End; }

  Token Expect(Token::Kind kind, const char* what) {
    Token t = Next();
    if (t.kind != kind) throw ParseError(Where(t) + ": expected " + what + ", found '" + t.text + "'");
    return t;
  }
  void ExpectPunct(const std::string& p) {
    Token t = Next();
    if (t.kind != Token::Punct || t.text != p) throw ParseError(Where(t) + ": expected '" + p + "', found '" + t.text + "'");
  }
  bool Accept(const std::string& p) {
    if (At(p)) { Next(); return true; }
    return false;
  }

  // NAME | NUMBER | -NUMBER | (expr), joined by | or +; NOT x clears x's bits.
  int64_t Expression() {
    int64_t value = 0;
    int64_t cleared = 0;
    do {
      if (Accept("NOT")) cleared |= Term();
      else value |= Term();
    } while (Accept("|") || Accept("+"));
    lastCleared_ = cleared;
    return value & ~cleared;
  }
  int64_t LastCleared() const { return lastCleared_; }

  int64_t Number() { return Term(); }

  std::string StringOrWord() {
    Token t = Next();
    if (t.kind != Token::String && t.kind != Token::Word) throw ParseError(Where(t) + ": expected a string");
    return t.text;
  }

 private:
  int64_t Term() {
    Token t = Next();
    if (t.kind == Token::Number) return t.number;
    if (t.kind == Token::Punct && t.text == "-") return -Term();
    if (t.kind == Token::Punct && t.text == "(") {
      int64_t v = Expression();
      ExpectPunct(")");
      return v;
    }
    if (t.kind == Token::Word) {
      if (auto d = defines_.find(t.text); d != defines_.end()) return d->second;
      if (auto b = BuiltinNames().find(t.text); b != BuiltinNames().end()) return b->second;
      throw ParseError(Where(t) + ": unknown name '" + t.text + "'");
    }
    throw ParseError(Where(t) + ": expected a number, found '" + t.text + "'");
  }

  static std::string StripComments(const std::string& text) {
    std::string out;
    bool inString = false;
    for (size_t i = 0; i < text.size(); ++i) {
      char c = text[i];
      if (inString) {
        out += c;
        if (c == '\\' && i + 1 < text.size()) out += text[++i];
        else if (c == '"') inString = false;
      } else if (c == '"') {
        inString = true;
        out += c;
      } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '/') {
        while (i < text.size() && text[i] != '\n') ++i;
        out += '\n';
      } else if (c == '/' && i + 1 < text.size() && text[i + 1] == '*') {
        for (i += 2; i + 1 < text.size() && !(text[i] == '*' && text[i + 1] == '/'); ++i)
          if (text[i] == '\n') out += '\n';
        ++i;
      } else {
        out += c;
      }
    }
    return out;
  }

  void Load(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ParseError("cannot read " + path.string());
    std::stringstream buffer;
    buffer << in.rdbuf();
    std::string text = StripComments(buffer.str());
    std::istringstream lines(text);
    std::string line;
    int lineNumber = 0;
    while (std::getline(lines, line)) {
      ++lineNumber;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      size_t first = line.find_first_not_of(" \t");
      if (first != std::string::npos && line[first] == '#') {
        Directive(path, line.substr(first + 1), lineNumber);
        continue;
      }
      Tokenize(line, lineNumber);
    }
    if (tokens_.empty() || tokens_.back().kind != Token::End) tokens_.push_back(Token{Token::End, "end of file", 0, lineNumber});
  }

  // Only #define and quoted #include matter; the window system's own headers
  // are replaced by the built-in names above.
  void Directive(const fs::path& path, const std::string& text, int lineNumber) {
    std::istringstream in(text);
    std::string word;
    in >> word;
    if (word == "include") {
      std::string name;
      in >> name;
      if (name.size() > 2 && name.front() == '"') {
        Script header(path.parent_path() / name.substr(1, name.size() - 2));
        defines_.insert(header.defines_.begin(), header.defines_.end());
      }
    } else if (word == "define") {
      std::string name, value;
      in >> name;
      std::getline(in, value);
      Script expr(value, defines_, lineNumber);
      if (!expr.AtEnd()) defines_[name] = expr.Expression();
    }
  }

  Script(const std::string& text, const std::map<std::string, int64_t>& defines, int line)
      : path_("#define"), defines_(defines) {
    Tokenize(text, line);
    tokens_.push_back(Token{Token::End, "end of line", 0, line});
  }

  void Tokenize(const std::string& line, int lineNumber) {
    size_t i = 0;
    while (i < line.size()) {
      char c = line[i];
      if (std::isspace(static_cast<unsigned char>(c))) { ++i; continue; }
      Token t;
      t.line = lineNumber;
      if (c == '"') {
        t.kind = Token::String;
        for (++i; i < line.size(); ++i) {
          if (line[i] == '"' && i + 1 < line.size() && line[i + 1] == '"') { t.text += '"'; ++i; continue; }
          if (line[i] == '"') break;
          if (line[i] == '\\' && i + 1 < line.size()) {
            char e = line[++i];
            t.text += e == 'n' ? '\n' : e == 't' ? '\t' : e;
            continue;
          }
          t.text += line[i];
        }
        if (i >= line.size()) throw ParseError(path_.filename().string() + ":" + std::to_string(lineNumber) + ": unterminated string");
        ++i;
      } else if (std::isdigit(static_cast<unsigned char>(c))) {
        t.kind = Token::Number;
        size_t used = 0;
        t.number = std::stoll(line.substr(i), &used, 0);
        t.text = line.substr(i, used);
        i += used;
        while (i < line.size() && (line[i] == 'L' || line[i] == 'l' || line[i] == 'U' || line[i] == 'u')) ++i;
      } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
        t.kind = Token::Word;
        while (i < line.size() && (std::isalnum(static_cast<unsigned char>(line[i])) || line[i] == '_')) t.text += line[i++];
      } else {
        t.kind = Token::Punct;
        t.text = std::string(1, c);
        ++i;
      }
      tokens_.push_back(t);
    }
  }

  fs::path path_;
  std::map<std::string, int64_t> defines_;
  std::vector<Token> tokens_;
  size_t pos_ = 0;
  int64_t lastCleared_ = 0;
};

struct Control {
  std::string className;
  int64_t id = -1;
  std::string text;
  int64_t rect[4] = {};
  int64_t style = 0;
};

struct Dialog {
  std::string name, caption, fontName;
  int64_t fontSize = 8;
  int64_t rect[4] = {};
  int64_t style = 0;
  std::vector<Control> controls;
};

struct Statement {
  const char* className;
  int64_t style;
  bool hasText;
};

const std::map<std::string, Statement>& ControlStatements() {
  static const std::map<std::string, Statement> statements = {
      {"LTEXT", {"Static", 0x0 | 0x00020000, true}},
      {"CTEXT", {"Static", 0x1 | 0x00020000, true}},
      {"RTEXT", {"Static", 0x2 | 0x00020000, true}},
      {"CHECKBOX", {"Button", 0x2 | 0x00010000, true}},
      {"AUTOCHECKBOX", {"Button", 0x3 | 0x00010000, true}},
      {"PUSHBUTTON", {"Button", 0x0 | 0x00010000, true}},
      {"DEFPUSHBUTTON", {"Button", 0x1 | 0x00010000, true}},
      {"GROUPBOX", {"Button", 0x7, true}},
      {"EDITTEXT", {"Edit", 0x00800000 | 0x00010000, false}},
  };
  return statements;
}

void ReadRect(Script& s, int64_t* rect) {
  for (int i = 0; i < 4; ++i) {
    if (i > 0) s.ExpectPunct(",");
    rect[i] = s.Number();
  }
}

Control ReadControl(Script& s) {
  Token keyword = s.Expect(Token::Word, "a control statement");
  Control c;
  if (keyword.text == "CONTROL") {
    c.text = s.StringOrWord();
    s.ExpectPunct(",");
    c.id = s.Number();
    s.ExpectPunct(",");
    c.className = s.StringOrWord();
    s.ExpectPunct(",");
    c.style = s.Expression() | kChildVisible;
    s.ExpectPunct(",");
    ReadRect(s, c.rect);
    if (s.Accept(",")) s.Expression();  // extended style: nothing the layer draws
    return c;
  }
  auto found = ControlStatements().find(keyword.text);
  if (found == ControlStatements().end()) throw ParseError(s.Where(keyword) + ": unknown control statement '" + keyword.text + "'");
  const Statement& st = found->second;
  c.className = st.className;
  if (st.hasText) {
    c.text = s.StringOrWord();
    s.ExpectPunct(",");
  }
  c.id = s.Number();
  s.ExpectPunct(",");
  ReadRect(s, c.rect);
  c.style = st.style | kChildVisible;
  if (s.Accept(",")) {
    // Styles written on the statement add to its defaults; NOT takes them away.
    int64_t extra = s.Expression();
    c.style = (c.style & ~s.LastCleared()) | extra;
    if (s.Accept(",")) s.Expression();
  }
  return c;
}

Dialog ReadDialog(Script& s, const std::string& name) {
  Dialog d;
  d.name = name;
  ReadRect(s, d.rect);
  if (s.Accept(",")) s.Number();  // help id
  for (;;) {
    if (s.Accept("BEGIN") || s.Accept("{")) break;
    Token t = s.Expect(Token::Word, "a dialog statement");
    if (t.text == "STYLE") d.style = s.Expression();
    else if (t.text == "EXSTYLE") s.Expression();
    else if (t.text == "CAPTION") d.caption = s.Expect(Token::String, "a caption").text;
    else if (t.text == "FONT") {
      d.fontSize = s.Number();
      s.ExpectPunct(",");
      d.fontName = s.Expect(Token::String, "a font name").text;
      while (s.Accept(",")) s.Number();
    } else if (t.text == "LANGUAGE") {
      s.Number();
      s.ExpectPunct(",");
      s.Number();
    } else {
      throw ParseError(s.Where(t) + ": unknown dialog statement '" + t.text + "'");
    }
  }
  while (!(s.Accept("END") || s.Accept("}"))) {
    if (s.AtEnd()) throw ParseError(s.Where(s.Peek()) + ": dialog " + name + " has no END");
    d.controls.push_back(ReadControl(s));
  }
  return d;
}

std::vector<Dialog> ReadScript(Script& s) {
  std::vector<Dialog> dialogs;
  while (!s.AtEnd()) {
    Token name = s.Next();
    Token type = s.Expect(Token::Word, "a resource type");
    if (type.text == "DIALOG" || type.text == "DIALOGEX") {
      dialogs.push_back(ReadDialog(s, name.text));
      continue;
    }
    // Other resources: skip up to their block's end.
    while (!s.AtEnd() && !s.At("BEGIN") && !s.At("{")) s.Next();
    int depth = 0;
    do {
      if (s.At("BEGIN") || s.At("{")) ++depth;
      else if (s.At("END") || s.At("}")) --depth;
      s.Next();
    } while (depth > 0 && !s.AtEnd());
  }
  return dialogs;
}

std::string Quote(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (c == '\n') { out += "\\n"; continue; }
    out += c;
  }
  return out + "\"";
}

std::string Hex(int64_t v) {
  std::ostringstream o;
  o << "0x" << std::hex << static_cast<uint32_t>(v) << "u";
  return o.str();
}

void WriteTables(std::ostream& out, const std::vector<Dialog>& dialogs, const std::string& source) {
  out << "// Generated by vxui_rcgen from " << source << "; edit the script, not this file.\n"
      << "#include \"template.h\"\n\nnamespace vxui {\nnamespace {\n";
  for (const Dialog& d : dialogs) {
    out << "const ControlTemplate k" << d.name << "Controls[] = {\n";
    for (const Control& c : d.controls)
      out << "    {" << Quote(c.className) << ", " << c.id << ", " << Quote(c.text) << ", " << c.rect[0] << ", "
          << c.rect[1] << ", " << c.rect[2] << ", " << c.rect[3] << ", " << Hex(c.style) << "},\n";
    out << "};\n";
  }
  out << "}  // namespace\n\nextern const DialogTemplate kTemplates[] = {\n";
  for (const Dialog& d : dialogs)
    out << "    {" << Quote(d.name) << ", " << Quote(d.caption) << ", " << Quote(d.fontName) << ", " << d.fontSize << ", "
        << d.rect[0] << ", " << d.rect[1] << ", " << d.rect[2] << ", " << d.rect[3] << ", " << Hex(d.style) << ", k"
        << d.name << "Controls, " << d.controls.size() << "},\n";
  out << "};\nextern const size_t kTemplateCount = " << dialogs.size() << ";\n\n}  // namespace vxui\n";
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::cerr << "usage: vxui_rcgen SCRIPT.rc OUTPUT.cpp\n";
    return 2;
  }
  try {
    Script script{fs::path(argv[1])};
    std::vector<Dialog> dialogs = ReadScript(script);
    if (dialogs.empty()) throw ParseError(std::string(argv[1]) + ": no DIALOG template");
    std::ostringstream text;
    WriteTables(text, dialogs, fs::path(argv[1]).filename().string());
    std::ofstream out(argv[2], std::ios::binary);
    out << text.str();
    if (!out) throw ParseError(std::string("cannot write ") + argv[2]);
  } catch (const std::exception& e) {
    std::cerr << "vxui_rcgen: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
