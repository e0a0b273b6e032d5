// The strict list reader shared by every variadic Sg_ call.
#include "arglist.h"

#include <cstring>

#include "hostcall.h"
#include "scene.h"

namespace vxhost {

ArgReader::ArgReader(const char* function, void* first, va_list ap)
    : function_(function), first_(first), logging_(CallLogOn()) {
  va_copy(ap_, ap);
}

ArgReader::~ArgReader() { va_end(ap_); }

void ArgReader::LogBad(void* item) {
  if (!logging_) return;
  const auto bits = reinterpret_cast<uintptr_t>(item);
  if (const Token* token = AsToken(item)) Log(token->text);
  else Log(bits < kLowestAddress ? std::to_string(bits) : std::string("?"));
}

std::string ArgReader::Describe(void* item) const {
  const auto bits = reinterpret_cast<uintptr_t>(item);
  if (bits < kLowestAddress) return "the integer " + std::to_string(bits);
  if (const Token* token = AsToken(item)) return std::string("token \"") + token->text + "\"";
  return "a value that is not a token";
}

void ArgReader::Fail(std::string detail) {
  if (failed_) return;
  failed_ = true;
  error_ = "item " + std::to_string(index_) + ": " + detail;
}

void ArgReader::FailCall(std::string detail) {
  if (failed_) return;
  failed_ = true;
  error_ = std::move(detail);
}

Word ArgReader::OneOf(std::initializer_list<Word> words) {
  if (failed_) return Word::Other;
  void* item = Raw();
  if (const Token* token = AsToken(item)) {
    for (Word word : words) {
      if (token->word == word) {
        Log(token->text);
        return word;
      }
    }
  }
  FailExpected(item, words);
  return Word::Other;
}

void ArgReader::FailExpected(void* item, std::initializer_list<Word> words) {
  LogBad(item);
  std::string expected;
  size_t i = 0;
  for (Word word : words) {
    if (i > 0) expected += ++i == words.size() ? " or " : ", ";
    else ++i;
    expected += std::string("\"") + WordText(word) + "\"";
  }
  Fail("expected " + expected + ", found " + Describe(item));
}

bool ArgReader::OnOff() { return OneOf({Word::On, Word::Off}) == Word::On; }

ArgReader::Head ArgReader::ReadHead(bool endAllowed, bool oneAllowed, const Token** token) {
  if (failed_) return Head::Bad;
  void* item = Raw();
  const auto bits = reinterpret_cast<uintptr_t>(item);
  if (bits == 0 && endAllowed) {
    Log("0");
    return Head::End;
  }
  if (bits == 1 && oneAllowed) {
    Log("1");
    return Head::One;
  }
  if ((*token = AsToken(item)) != nullptr) {
    Log((*token)->text);
    return Head::Token;
  }
  LogBad(item);
  std::string expected = "a token";
  if (oneAllowed) expected += endAllowed ? ", 1" : " or 1";
  if (endAllowed) expected += " or 0";
  Fail("expected " + expected + ", found " + Describe(item));
  return Head::Bad;
}

const char* ArgReader::Name() {
  if (failed_) return nullptr;
  void* item = Raw();
  if (reinterpret_cast<uintptr_t>(item) < kLowestAddress || AsToken(item)) {
    LogBad(item);
    Fail("expected a name, found " + Describe(item));
    return nullptr;
  }
  const char* name = static_cast<const char*>(item);
  if (logging_) Log(QuoteForLog(name));
  return name;
}

void ArgReader::FailAddress(void* item, const char* what) {
  LogBad(item);
  Fail(std::string("expected ") + what + ", found " + Describe(item));
}

const float* ArgReader::Vec3() {
  auto* v = static_cast<const float*>(Address("the address of three floats"));
  if (v && logging_) Log("[" + FormatFloat(v[0]) + ", " + FormatFloat(v[1]) + ", " + FormatFloat(v[2]) + "]");
  return v;
}

int32_t* ArgReader::IntAddress() {
  auto* v = static_cast<int32_t*>(Address("the address of an integer"));
  if (v && logging_) Log("&" + std::to_string(*v));
  return v;
}

int32_t* ArgReader::OutputIntAddress(size_t* logSlot) {
  auto* v = static_cast<int32_t*>(Address("the address of an integer"));
  *logSlot = items_.size();
  if (v) Log("&");
  return v;
}

void ArgReader::SetLogText(size_t logSlot, std::string text) {
  if (logging_ && logSlot < items_.size()) items_[logSlot] = std::move(text);
}

float* ArgReader::FloatAddress() {
  auto* v = static_cast<float*>(Address("the address of a float"));
  if (v && logging_) Log("&" + FormatFloat(*v));
  return v;
}

uint64_t* ArgReader::IdAddress() {
  auto* v = static_cast<uint64_t*>(Address("the address of a keyframe identifier"));
  if (v) Log("&id");
  return v;
}

uint64_t ArgReader::IdValue() {
  if (failed_) return 0;
  void* item = Raw();
  const auto id = static_cast<uint64_t>(reinterpret_cast<uintptr_t>(item));
  if (AsToken(item)) {
    Log(AsToken(item)->text);
    Fail("expected a keyframe identifier, found " + Describe(item));
    return 0;
  }
  if (logging_) Log(std::to_string(id));
  return id;
}

Channel* ArgReader::ChannelHandle() {
  if (failed_) return nullptr;
  void* item = Raw();
  Channel* channel = FindChannelHandle(item);
  if (!channel) {
    LogBad(item);
    Fail("expected a channel handle of this host, found " + Describe(item));
    return nullptr;
  }
  if (logging_) Log(ChannelLogName(*channel));
  return channel;
}

void* ArgReader::StatusSlot() {
  void* slot = Address("the address of a status slot");
  if (slot) Log("&status");
  return slot;
}

void ArgReader::FailMark(void* item, uintptr_t mark) {
  LogBad(item);
  Fail(std::string(mark == 0 ? "expected the closing 0" : "expected 1") + ", found " + Describe(item));
}

void ArgReader::Finish() {
  if (logging_) {
    std::string line = function_;
    line += '(';
    for (size_t i = 0; i < items_.size(); ++i) {
      if (i > 0) line += ", ";
      line += items_[i];
    }
    line += ')';
    AppendCallLog(std::move(line));
  }
  if (failed_) ReportHostError(std::string(function_) + "()", error_);
}

}  // namespace vxhost
