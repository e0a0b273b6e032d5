// Sg_Report_Error and its message catalogue: each id names how many string
// arguments follow and the text they fill in, after the reporting function.
#include <cstdarg>
#include <cstring>
#include <string>

#include "hostcall.h"
#include "varnex/sg.h"

namespace vxhost {
namespace {

struct CatalogueEntry {
  const char* id;
  int argumentCount;
  const char* format;  // %1 and %2 stand for the arguments, %f for the function
};

const CatalogueEntry kCatalogue[] = {
    {"ERR_GEOM_IMPORT_BAD_TOKEN", 1, "%f: unknown keyword \"%1\".\n"},
    {"ERR_FILE_OPEN_READ", 2, "%f: cannot open the %1 file \"%2\" for reading.\n"},
    {"OUTERR_FILE_OPEN_WRITE", 2, "%f: cannot open the %1 file \"%2\" for writing.\n"},
};

std::string Expand(const char* format, const char* function, const char* const* arguments) {
  std::string text;
  for (const char* p = format; *p; ++p) {
    if (*p == '%' && (p[1] == 'f' || p[1] == '1' || p[1] == '2')) {
      ++p;
      text += *p == 'f' ? function : arguments[*p - '1'];
    } else {
      text += *p;
    }
  }
  return text;
}

void ReportError(int32_t severity, const char* id, const char* function, va_list ap) {
  const CatalogueEntry* entry = nullptr;
  if (id)
    for (const CatalogueEntry& candidate : kCatalogue)
      if (std::strcmp(candidate.id, id) == 0) entry = &candidate;
  const char* arguments[2] = {"", ""};
  if (entry)
    for (int i = 0; i < entry->argumentCount; ++i) arguments[i] = static_cast<const char*>(va_arg(ap, void*));
  if (CallLogOn()) {
    std::string line = "Sg_Report_Error(" + std::to_string(severity) + ", " + (id ? QuoteForLog(id) : "0") + ", " +
                       (function ? QuoteForLog(function) : "0");
    for (int i = 0; entry && i < entry->argumentCount; ++i)
      line += ", " + (arguments[i] ? QuoteForLog(arguments[i]) : std::string("0"));
    AppendCallLog(line + ")");
  }
  if (severity != 4) {
    ReportHostError("Sg_Report_Error()", "item 1: severity " + std::to_string(severity) + " is not 4");
  } else if (!id) {
    ReportHostError("Sg_Report_Error()", "item 2: expected a message id, found 0");
  } else if (!entry) {
    ReportHostError("Sg_Report_Error()", std::string("item 2: no message in the catalogue has the id \"") + id + "\"");
  } else if (!function) {
    ReportHostError("Sg_Report_Error()", "item 3: expected a function name, found 0");
  } else if (!arguments[0] || !arguments[1]) {
    ReportHostError("Sg_Report_Error()", std::string("item ") + (!arguments[0] ? "4" : "5") +
                                             ": expected a string, found 0");
  } else {
    EmitMessage(MessageKind::Catalogue, Expand(entry->format, function, arguments));
  }
}

}  // namespace
}  // namespace vxhost

extern "C" void Sg_Report_Error(int32_t severity, const char* messageId, const char* function, ...) {
  vxhost::EnterHostCall();
  va_list ap;
  va_start(ap, function);
  vxhost::Guarded("Sg_Report_Error()", [&] { vxhost::ReportError(severity, messageId, function, ap); });
  va_end(ap);
  vxhost::AfterHostCall();
}
