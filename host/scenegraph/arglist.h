// Strict reading of a host call's variadic list. Each read names what the
// grammar expects at that place; the first mismatch becomes the call's one
// host error and every later read gives up without touching the list. While
// the call log is on, each item read is also written in the log's notation.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <initializer_list>
#include <string>
#include <utility>
#include <vector>

#include "tokens.h"
#include "varnex/host.h"

namespace vxhost {

class ArgReader {
 public:
  // first is the call's fixed first argument; it counts as item 1.
  ArgReader(const char* function, void* first, va_list ap);
  ~ArgReader();
  ArgReader(const ArgReader&) = delete;
  ArgReader& operator=(const ArgReader&) = delete;

  bool ok() const { return !failed_; }
  void Fail(std::string detail);            // about the item read last
  void FailCall(std::string detail);        // about the call as a whole

  // A token that must be this word.
  bool Expect(Word word) {
    if (failed_) return false;
    void* item = Raw();
    const Token* token = AsToken(item);
    if (token && token->word == word) {
      Log(token->text);
      return true;
    }
    FailExpected(item, {word});
    return false;
  }
  // A token that must be one of these words; Word::Other when it is not.
  Word OneOf(std::initializer_list<Word> words);
  // "on" or "off".
  bool OnOff();
  // A clause head: a token (returned), or the closing 0 or 1 when allowed.
  enum class Head { Token, End, One, Bad };
  Head ReadHead(bool endAllowed, bool oneAllowed, const Token** token);

  const char* Name();                       // a string that is not a token
  const float* Vec3();
  int32_t* IntAddress();
  float* FloatAddress();
  uint64_t* IdAddress();
  uint64_t IdValue();                       // any integer, logged in decimal
  Channel* ChannelHandle();
  void* StatusSlot();
  void One() { Mark(1); }
  void End() { Mark(0); }

  // An address whose value is written only after the call has done its work:
  // its log text is filled in later with SetLogText.
  int32_t* OutputIntAddress(size_t* logSlot);
  void SetLogText(size_t logSlot, std::string text);

  // Writes the log line and reports the host error, if any.
  void Finish();

  // No valid address lies this low; such items are misplaced small integers.
  static constexpr uintptr_t kLowestAddress = 4096;

 private:
  void* Raw() {
    ++index_;
    if (firstPending_) {
      firstPending_ = false;
      return first_;
    }
    return va_arg(ap_, void*);
  }
  void* Address(const char* what) {
    if (failed_) return nullptr;
    void* item = Raw();
    if (reinterpret_cast<uintptr_t>(item) >= kLowestAddress && !AsToken(item)) return item;
    FailAddress(item, what);
    return nullptr;
  }
  void Mark(uintptr_t mark) {
    if (failed_) return;
    void* item = Raw();
    if (reinterpret_cast<uintptr_t>(item) == mark) {
      Log(mark == 0 ? "0" : "1");
      return;
    }
    FailMark(item, mark);
  }
  void FailExpected(void* item, std::initializer_list<Word> words);
  void FailAddress(void* item, const char* what);
  void FailMark(void* item, uintptr_t mark);
  template <class Text>
  void Log(Text&& text) {
    if (logging_) items_.emplace_back(std::forward<Text>(text));
  }
  void LogBad(void* item);
  std::string Describe(void* item) const;

  const char* function_;
  void* first_;
  bool firstPending_ = true;
  va_list ap_;
  int index_ = 0;
  bool failed_ = false;
  std::string error_;
  bool logging_;
  std::vector<std::string> items_;
};

}  // namespace vxhost
