// The import bracket and the abort poll: Import_IO_Initialize registers the
// import's message callback, the two clean-ups drop it, and every poll may
// answer "abort" (the host program's Ctrl-C, or a test's AbortAtPoll).
#include <string>

#include "hostcall.h"
#include "tokens.h"
#include "varnex/importio.h"

namespace vxhost {
namespace {

void LogCall(const std::string& line) {
  if (CallLogOn()) AppendCallLog(line);
}

void Initialize(const char* path, ImportIoCallback callback) {
  LogCall(std::string("Import_IO_Initialize(") + (path ? QuoteForLog(path) : "0") + ", " +
          (callback ? "callback" : "0") + ")");
  if (!path) return ReportHostError("Import_IO_Initialize()", "item 1: expected a path, found 0");
  if (!callback) return ReportHostError("Import_IO_Initialize()", "item 2: expected a message callback, found 0");
  if (hostCore.importOpen) return ReportHostError("Import_IO_Initialize()", "an import is in progress already");
  ++hostCore.counters.initializes;
  hostCore.importOpen = true;
  hostCore.callback = callback;
  hostCore.kind5Sent = false;
  OwnFixedWords(true);
}

// The callback goes first, so that nothing is delivered to an import that
// is ending. After a jump to its trap an import calls Import_IO_Abort_Cleanup
// and then, like every import, Import_IO_Cleanup, which alone ends it.
void Cleanup(bool abort) {
  hostCore.callback = nullptr;
  if (abort) ForgetCachedWords();
  else OwnFixedWords(false);
  const char* function = abort ? "Import_IO_Abort_Cleanup" : "Import_IO_Cleanup";
  LogCall(std::string(function) + "()");
  if (!hostCore.importOpen) return ReportHostError(std::string(function) + "()", "no import is in progress");
  if (abort) {
    if (hostCore.importAborted) return ReportHostError(std::string(function) + "()", "the import was aborted already");
    hostCore.importAborted = true;
    ++hostCore.counters.abortCleanups;
    return;
  }
  hostCore.importOpen = false;
  hostCore.importAborted = false;
  ++hostCore.counters.cleanups;
}

int16_t CheckForAbort(const ImportIoProgress* progress) {
  if (!progress) {
    LogCall("Import_IO_Check_For_Abort(0)");
    ReportHostError("Import_IO_Check_For_Abort()", "item 1: expected a progress record, found 0");
    return 0;
  }
  // Polled every few dozen tokens: the line is made only for a log that keeps it.
  if (CallLogOn()) {
    LogCall("Import_IO_Check_For_Abort({" + std::to_string(progress->kind) + ", " + std::to_string(progress->done) +
            ", " + std::to_string(progress->total) + ", " + std::to_string(progress->reserved[0]) + ", " +
            std::to_string(progress->reserved[1]) + "})");
  }
  if (progress->kind != 40 || progress->reserved[0] != 0 || progress->reserved[1] != 0) {
    ReportHostError("Import_IO_Check_For_Abort()", "item 1: a progress record holds 40 first and 0 in its last two fields");
    return 0;
  }
  ++hostCore.counters.abortPolls;
  bool abort = false;
  if (hostCore.abortCountdown != 0 && --hostCore.abortCountdown == 0) abort = true;
  if (hostCore.progressHandler && hostCore.progressHandler(progress->done, progress->total)) abort = true;
  return abort ? 1 : 0;
}

}  // namespace
}  // namespace vxhost

extern "C" void Import_IO_Initialize(const char* path, ImportIoCallback callback) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Import_IO_Initialize()", [&] { vxhost::Initialize(path, callback); });
  vxhost::AfterHostCall();
}

extern "C" void Import_IO_Cleanup(void) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Import_IO_Cleanup()", [&] { vxhost::Cleanup(false); });
  vxhost::AfterHostCall();
}

extern "C" void Import_IO_Abort_Cleanup(void) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Import_IO_Abort_Cleanup()", [&] { vxhost::Cleanup(true); });
  vxhost::AfterHostCall();
}

extern "C" int16_t Import_IO_Check_For_Abort(ImportIoProgress* progress) {
  vxhost::EnterHostCall();
  int16_t answer = 0;
  vxhost::Guarded("Import_IO_Check_For_Abort()", [&] { answer = vxhost::CheckForAbort(progress); });
  vxhost::AfterHostCall();
  return answer;
}
