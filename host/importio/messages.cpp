// The import's three message channels into the host: the message window
// (Import_IO_printf), error texts (Import_IO_Report_Error) and the status
// line (Import_IO_Display_Info_Text).
#include <cstdarg>
#include <cstdio>
#include <string>

#include "hostcall.h"
#include "varnex/importio.h"

namespace vxhost {
namespace {

void LogCall(const std::string& line) {
  if (CallLogOn()) AppendCallLog(line);
}

std::string Format(const char* format, va_list ap) {
  char small[256];
  va_list again;
  va_copy(again, ap);
  const int length = std::vsnprintf(small, sizeof small, format, ap);
  std::string text;
  if (length < 0) {
    text = format;  // a format the C library rejects is shown as written
  } else if (static_cast<size_t>(length) < sizeof small) {
    text.assign(small, static_cast<size_t>(length));
  } else {
    text.resize(static_cast<size_t>(length));
    std::vsnprintf(text.data(), text.size() + 1, format, again);
  }
  va_end(again);
  return text;
}

void Print(const char* format, va_list ap) {
  if (!format) {
    LogCall("Import_IO_printf(0)");
    return ReportHostError("Import_IO_printf()", "item 1: expected a format, found 0");
  }
  std::string text = Format(format, ap);
  LogCall("Import_IO_printf(" + QuoteForLog(text.c_str()) + ")");
  EmitMessage(MessageKind::Print, std::move(text));
}

void ReportError(int32_t severity, const char* text) {
  LogCall("Import_IO_Report_Error(" + std::to_string(severity) + ", " + (text ? QuoteForLog(text) : "0") + ")");
  if (severity != 4) return ReportHostError("Import_IO_Report_Error()", "item 1: severity " + std::to_string(severity) + " is not 4");
  if (!text) return ReportHostError("Import_IO_Report_Error()", "item 2: expected a text, found 0");
  EmitMessage(MessageKind::Error, text);
}

void DisplayInfoText(const char* text) {
  LogCall(std::string("Import_IO_Display_Info_Text(") + (text ? QuoteForLog(text) : "0") + ")");
  if (!text) return ReportHostError("Import_IO_Display_Info_Text()", "item 1: expected a text, found 0");
  ShowStatus(text);
}

}  // namespace
}  // namespace vxhost

extern "C" void Import_IO_printf(const char* format, ...) {
  vxhost::EnterHostCall();
  va_list ap;
  va_start(ap, format);
  vxhost::Guarded("Import_IO_printf()", [&] { vxhost::Print(format, ap); });
  va_end(ap);
  vxhost::AfterHostCall();
}

extern "C" void Import_IO_Report_Error(int32_t severity, const char* text) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Import_IO_Report_Error()", [&] { vxhost::ReportError(severity, text); });
  vxhost::AfterHostCall();
}

extern "C" void Import_IO_Display_Info_Text(const char* text) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Import_IO_Display_Info_Text()", [&] { vxhost::DisplayInfoText(text); });
  vxhost::AfterHostCall();
}
