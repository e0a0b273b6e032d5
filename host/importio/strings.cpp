// String services: host-owned copies, lower-casing and trimming in place.
#include <cctype>
#include <cstring>
#include <deque>
#include <string>

#include "hostcall.h"
#include "varnex/importio.h"

namespace vxhost {
namespace {

void LogCall(const std::string& line) {
  if (CallLogOn()) AppendCallLog(line);
}

std::string LogText(const char* text) { return text ? QuoteForLog(text) : "0"; }

// Copies live as long as the library: the plug-in keeps them (its settings
// directory) without ever handing them back. Elements of a deque never move.
std::deque<std::string>& Copies() {
  static std::deque<std::string> copies;
  return copies;
}

void CopyString(char** variable, const char* source) {
  LogCall(std::string("Import_IO_Copy_String(") + (variable ? "&string" : "0") + ", " + LogText(source) + ")");
  if (!variable) return ReportHostError("Import_IO_Copy_String()", "item 1: expected the address of a string, found 0");
  if (!source) {
    *variable = nullptr;
    return;
  }
  *variable = Copies().emplace_back(source).data();
}

void StringToLower(char* string, char* same) {
  LogCall("Import_IO_String_To_Lower(" + LogText(string) + ", " + LogText(same) + ")");
  if (!string) return ReportHostError("Import_IO_String_To_Lower()", "item 1: expected a string, found 0");
  if (same != string) return ReportHostError("Import_IO_String_To_Lower()", "item 2: expected the same string as item 1");
  for (char* p = string; *p; ++p) *p = static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
}

int16_t StripWhitespace(char* string) {
  LogCall("Import_IO_Strip_Whitespace(" + LogText(string) + ")");
  if (!string) {
    ReportHostError("Import_IO_Strip_Whitespace()", "item 1: expected a string, found 0");
    return 0;
  }
  const auto blank = [](char c) { return std::isspace(static_cast<unsigned char>(c)) != 0; };
  size_t length = std::strlen(string);
  while (length > 0 && blank(string[length - 1])) --length;
  size_t start = 0;
  while (start < length && blank(string[start])) ++start;
  std::memmove(string, string + start, length - start);
  string[length - start] = '\0';
  return length > start ? 1 : 0;
}

}  // namespace
}  // namespace vxhost

extern "C" void Import_IO_Copy_String(char** variable, const char* source) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Import_IO_Copy_String()", [&] { vxhost::CopyString(variable, source); });
  vxhost::AfterHostCall();
}

extern "C" void Import_IO_String_To_Lower(char* string, char* same) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Import_IO_String_To_Lower()", [&] { vxhost::StringToLower(string, same); });
  vxhost::AfterHostCall();
}

extern "C" int16_t Import_IO_Strip_Whitespace(char* string) {
  vxhost::EnterHostCall();
  int16_t answer = 0;
  vxhost::Guarded("Import_IO_Strip_Whitespace()", [&] { answer = vxhost::StripWhitespace(string); });
  vxhost::AfterHostCall();
  return answer;
}
