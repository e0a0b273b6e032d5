// What every host call shares: the counters and test controls, the call log,
// messages and their sinks, host errors, and the import's message callback.
// One record holds it all so the hot path is a few loads and a branch.
#pragma once

#include <cstdint>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "varnex/host.h"
#include "varnex/importio.h"

namespace vxhost {

struct HostCore {
  Counters counters;
  bool logEnabled = false;
  std::vector<std::string> log;
  std::vector<std::string> hostErrors;
  std::vector<Message> messages;
  MessageSink messageSink;
  std::string status;
  StatusSink statusSink;
  ProgressHandler progressHandler;
  int64_t abortCountdown = 0;   // polls left until the injected abort; 0 = off
  int64_t faultCountdown = 0;   // host calls left until the injected fault
  bool faultIsOutOfMemory = false;  // the injected fault: a failed allocation, else a bare kind-5 message
  bool allocationFailureDue = false;  // the current call's body fails as if it could not allocate
  bool kind5Due = false;        // a kind-5 message goes to the callback once the current call is done
  const char* kind5Text = nullptr;
  bool kind5Sent = false;       // this import had its kind-5 message: it is ending
  bool outOfMemory = false;     // a host call could not allocate since the last reset
  char outOfMemoryText[128] = {};
  ImportIoCallback callback = nullptr;
  bool importOpen = false;
  bool importAborted = false;  // Import_IO_Abort_Cleanup ran; Import_IO_Cleanup still ends the import
  bool fastPaths = true;       // off, every call takes the general path (tests compare the two)
};
extern HostCore hostCore;

// Opens every counted host call (all but Sg_Inquire_Token).
void ArmInjectedFault() noexcept;
inline void EnterHostCall() {
  ++hostCore.counters.hostCalls;
  if (hostCore.faultCountdown != 0 && --hostCore.faultCountdown == 0) ArmInjectedFault();
}

// Closes every counted host call once its work is done and every local with
// a destructor is gone: the import's callback may jump across this frame.
void DeliverKind5Message() noexcept;
inline void AfterHostCall() noexcept {
  if (hostCore.kind5Due) [[unlikely]] DeliverKind5Message();
}

// A host call that could not allocate ends the import: its message of kind
// 5 goes to the callback once the call is done, so the plug-in jumps to its
// trap and releases what it holds instead of going on without the memory.
// Without an import the failure is a host error. Allocates nothing.
void NoteOutOfMemory(const char* function) noexcept;

inline bool CallLogOn() { return hostCore.logEnabled; }
void AppendCallLog(std::string line);
// Quotes a string for the log: ", \ and line feed escaped.
std::string QuoteForLog(const char* text);
std::string FormatFloat(double value);  // %.9g

void ReportHostError(std::string_view function, std::string_view detail);
void EmitMessage(MessageKind kind, std::string text);
void ShowStatus(std::string text);

// Runs the body of a host call; an exception becomes a host error instead of
// crossing the C boundary.
template <class Body>
void Guarded(const char* function, Body&& body) noexcept {
  try {
    if (hostCore.allocationFailureDue) [[unlikely]] {
      hostCore.allocationFailureDue = false;
      throw std::bad_alloc();
    }
    body();
  } catch (const std::bad_alloc&) {
    NoteOutOfMemory(function);
  } catch (const std::exception& error) {
    try { ReportHostError(function, error.what()); } catch (...) {}
  } catch (...) {
    try { ReportHostError(function, "unexpected failure"); } catch (...) {}
  }
}

void ResetCore();

}  // namespace vxhost

// An exported variadic call: its list is read inside Body, an ordinary C++
// function, so every local with a destructor is gone before AfterHostCall
// may let the import's callback jump across this frame.
#define VXHOST_VARIADIC_CALL(name, FirstType, Body)                          \
  extern "C" void name(FirstType first, ...) {                               \
    vxhost::EnterHostCall();                                                 \
    va_list ap;                                                              \
    va_start(ap, first);                                                     \
    vxhost::Guarded(#name "()", [&] { vxhost::Body((void*)first, ap); });    \
    va_end(ap);                                                              \
    vxhost::AfterHostCall();                                                 \
  }

// The same for a call made once or twice per key: Quick reads the list first
// and answers whether it did the whole call; when it did not (a doubtful
// item, the log on), the list is started afresh for Body. Quick reads the
// call's own list rather than a copy: copying a list just started costs a
// stalled load on every call.
#define VXHOST_VARIADIC_CALL_WITH_QUICK_PATH(name, FirstType, Quick, Body)   \
  extern "C" void name(FirstType first, ...) {                               \
    vxhost::EnterHostCall();                                                 \
    va_list ap;                                                              \
    va_start(ap, first);                                                     \
    bool done = true; /* a failure inside Quick is reported once, there */   \
    vxhost::Guarded(#name "()", [&] { done = vxhost::Quick((void*)first, ap); }); \
    va_end(ap);                                                              \
    if (!done) {                                                             \
      va_start(ap, first);                                                   \
      vxhost::Guarded(#name "()", [&] { vxhost::Body((void*)first, ap); });  \
      va_end(ap);                                                            \
    }                                                                        \
    vxhost::AfterHostCall();                                                 \
  }
