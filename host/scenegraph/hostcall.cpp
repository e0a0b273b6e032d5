// The shared host-call record: counters, log, messages, host errors, the
// injected fatal message, and the query functions that read them.
#include "hostcall.h"

#include "tokens.h"

#include <cstdio>
#include <cstdlib>
#include <exception>

namespace vxhost {

HostCore hostCore;

namespace {
const char kInjectedKind5Text[] = "Host: fatal message injected for testing.\n";
ImportIoMessage kind5Message;  // static: nothing on the stack when the callback jumps
}  // namespace

void ArmInjectedFault() noexcept {
  if (hostCore.faultIsOutOfMemory) {
    hostCore.allocationFailureDue = true;
  } else {
    hostCore.kind5Due = true;
    hostCore.kind5Text = kInjectedKind5Text;
  }
}

// Once per import: the plug-in ends it at the first, and a failure while it
// winds down has nothing left to end.
void DeliverKind5Message() noexcept {
  hostCore.kind5Due = false;
  if (!hostCore.callback || hostCore.kind5Sent) return;
  hostCore.kind5Sent = true;
  kind5Message = ImportIoMessage{5, 0, 0, hostCore.kind5Text};
  hostCore.callback(&kind5Message);
}

namespace {
// Given back when a call runs out, so that the message saying so, and the
// plug-in's clean-up, still find room. Below the allocator's first mmap
// threshold, so it lies in the heap however early it is made.
constexpr size_t kMemoryReserveBytes = 64 * 1024;
void* memoryReserve = std::malloc(kMemoryReserveBytes);
}  // namespace

void NoteOutOfMemory(const char* function) noexcept {
  hostCore.outOfMemory = true;
  std::free(memoryReserve);
  memoryReserve = nullptr;
  if (!hostCore.callback) {
    try { ReportHostError(function, "out of memory"); } catch (...) {}
    return;
  }
  if (hostCore.kind5Due || hostCore.kind5Sent) return;
  std::snprintf(hostCore.outOfMemoryText, sizeof hostCore.outOfMemoryText,
                "Host: out of memory in %s; the import ends.\n", function);
  hostCore.kind5Text = hostCore.outOfMemoryText;
  hostCore.kind5Due = true;
}

void AppendCallLog(std::string line) { hostCore.log.push_back(std::move(line)); }

std::string QuoteForLog(const char* text) {
  std::string out = "\"";
  for (const char* p = text; *p; ++p) {
    switch (*p) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      default: out += *p;
    }
  }
  out += '"';
  return out;
}

std::string FormatFloat(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.9g", value);
  return text;
}

void ReportHostError(std::string_view function, std::string_view detail) {
  std::string text = "Host error: ";
  text.append(function).append(": ").append(detail).append(".\n");
  hostCore.hostErrors.push_back(text);
  EmitMessage(MessageKind::HostError, std::move(text));
}

void EmitMessage(MessageKind kind, std::string text) {
  hostCore.messages.push_back(Message{kind, std::move(text)});
  if (hostCore.messageSink) hostCore.messageSink(hostCore.messages.back());
}

void ShowStatus(std::string text) {
  hostCore.status = std::move(text);
  if (hostCore.statusSink) hostCore.statusSink(hostCore.status);
}

void ResetCore() {
  hostCore.counters = Counters{};
  hostCore.log.clear();
  hostCore.hostErrors.clear();
  hostCore.messages.clear();
  hostCore.status.clear();
  hostCore.abortCountdown = 0;
  hostCore.faultCountdown = 0;
  hostCore.faultIsOutOfMemory = false;
  hostCore.allocationFailureDue = false;
  hostCore.kind5Due = false;
  hostCore.kind5Sent = false;
  hostCore.outOfMemory = false;
  if (!memoryReserve) memoryReserve = std::malloc(kMemoryReserveBytes);
  hostCore.callback = nullptr;
  hostCore.importOpen = false;
  hostCore.importAborted = false;
  OwnFixedWords(false);
}

// -- Query and control API

const std::vector<Message>& Messages() { return hostCore.messages; }

std::string AllMessageText() {
  std::string all;
  for (const Message& message : hostCore.messages) all += message.text;
  return all;
}

void ClearMessages() { hostCore.messages.clear(); }
void SetMessageSink(MessageSink sink) { hostCore.messageSink = std::move(sink); }
std::string StatusText() { return hostCore.status; }
void SetStatusSink(StatusSink sink) { hostCore.statusSink = std::move(sink); }
void SetProgressHandler(ProgressHandler handler) { hostCore.progressHandler = std::move(handler); }

void SetCallLogEnabled(bool enabled) { hostCore.logEnabled = enabled; }
const std::vector<std::string>& CallLog() { return hostCore.log; }
void ClearCallLog() { hostCore.log.clear(); }
const std::vector<std::string>& HostErrors() { return hostCore.hostErrors; }
Counters GetCounters() { return hostCore.counters; }
void SetFastPaths(bool on) {
  hostCore.fastPaths = on;
  ForgetCachedWords();
}

void AbortAtPoll(int64_t n) { hostCore.abortCountdown = n > 0 ? n : 0; }

namespace {
void InjectFaultAtCall(int64_t n, bool outOfMemory) {
  hostCore.faultCountdown = n > 0 ? n : 0;
  hostCore.faultIsOutOfMemory = outOfMemory;
  hostCore.allocationFailureDue = false;
  hostCore.kind5Due = false;
}
}  // namespace

void Kind5AtCall(int64_t n) { InjectFaultAtCall(n, false); }
void FailAllocationAtCall(int64_t n) { InjectFaultAtCall(n, true); }
bool RanOutOfMemory() { return hostCore.outOfMemory; }

}  // namespace vxhost
