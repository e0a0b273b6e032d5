// The scene's animation settings: its frame rate (Sg_Animation,
// Sg_ValidateFrameRate) and what Sg_Inquire_Animation reports, including the
// time range the keys span.
#include <algorithm>
#include <climits>
#include <cstdarg>

#include "arglist.h"
#include "hostcall.h"
#include "scene.h"
#include "varnex/sg.h"

namespace vxhost {
namespace {

bool ValidFrameRate(int32_t rate) { return rate >= kMinFrameRate && rate <= kMaxFrameRate; }

void SetAnimation(void* first, va_list ap) {
  ArgReader args("Sg_Animation", first, ap);
  int32_t rate = TheScene().frameRate;
  for (;;) {
    const Token* token = nullptr;
    if (args.ReadHead(true, false, &token) != ArgReader::Head::Token) break;
    if (token->word != Word::Framerate) {
      args.Fail(std::string("expected \"framerate\", found token \"") + token->text + "\"");
      break;
    }
    int32_t* value = args.IntAddress();
    args.One();
    if (value) rate = *value;
  }
  if (args.ok() && !ValidFrameRate(rate))
    args.FailCall("frame rate " + std::to_string(rate) + " is outside " + std::to_string(kMinFrameRate) + ".." +
                  std::to_string(kMaxFrameRate) + " (Sg_ValidateFrameRate corrects it)");
  if (args.ok()) TheScene().frameRate = rate;
  args.Finish();
}

// First and last key time of the whole scene, or 0 and 0 without keys.
void KeyRange(int32_t* start, int32_t* end) {
  int32_t first = INT32_MAX;
  int32_t last = INT32_MIN;
  ForEachChannel([&](const Channel& channel) {
    if (channel.keys.empty()) return;
    first = std::min(first, channel.keys.TimeAt(0));
    last = std::max(last, channel.keys.BackTime());
  });
  *start = first <= last ? first : 0;
  *end = first <= last ? last : 0;
}

void InquireAnimation(void* first, va_list ap) {
  ArgReader args("Sg_Inquire_Animation", first, ap);
  struct Request {
    Word word;
    int32_t* address;
    size_t logSlot;
  };
  std::vector<Request> requests;
  for (;;) {
    const Token* token = nullptr;
    if (args.ReadHead(!requests.empty(), false, &token) != ArgReader::Head::Token) break;
    if (token->word != Word::Starttime && token->word != Word::Endtime && token->word != Word::Framerate) {
      args.Fail(std::string("expected \"starttime\", \"endtime\" or \"framerate\", found token \"") + token->text + "\"");
      break;
    }
    Request request{token->word, nullptr, 0};
    request.address = args.OutputIntAddress(&request.logSlot);
    args.One();
    requests.push_back(request);
  }
  if (args.ok()) {
    int32_t start = 0;
    int32_t end = 0;
    KeyRange(&start, &end);
    for (const Request& request : requests) {
      *request.address = request.word == Word::Starttime ? start
                         : request.word == Word::Endtime ? end
                                                         : TheScene().frameRate;
      args.SetLogText(request.logSlot, "&" + std::to_string(*request.address));
    }
  }
  args.Finish();
}

void ValidateFrameRate(int32_t* rate) {
  if (CallLogOn()) AppendCallLog(rate ? "Sg_ValidateFrameRate(&" + std::to_string(*rate) + ")" : "Sg_ValidateFrameRate(0)");
  if (!rate) {
    ReportHostError("Sg_ValidateFrameRate()", "item 1: expected the address of an integer, found 0");
    return;
  }
  if (*rate < kMinFrameRate) *rate = kDefaultFrameRate;
  if (*rate > kMaxFrameRate) *rate = kMaxFrameRate;
  // A BVH frame time such as 0.0416667 truncates to 23: take the usual rate
  // it was written for. Other rates are what the file says.
  for (const int32_t usual : kUsualFrameRates)
    if (*rate == usual - 1) *rate = usual;
}

}  // namespace
}  // namespace vxhost

VXHOST_VARIADIC_CALL(Sg_Animation, SgToken, SetAnimation)
VXHOST_VARIADIC_CALL(Sg_Inquire_Animation, SgToken, InquireAnimation)

extern "C" void Sg_ValidateFrameRate(int32_t* rate) {
  vxhost::EnterHostCall();
  vxhost::Guarded("Sg_ValidateFrameRate()", [&] { vxhost::ValidateFrameRate(rate); });
  vxhost::AfterHostCall();
}
