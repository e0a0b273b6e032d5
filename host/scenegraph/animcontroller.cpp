// Sg_AnimController: status slot, "ctrlrid", channel handle, then one of the
// forms below — add a Bezier key at a time, set a key's value, or request a
// key reduction. Each form is a fixed sequence of items, read from a table.
#include <cstdarg>
#include <cstring>
#include <utility>

#include "arglist.h"
#include "hostcall.h"
#include "scene.h"
#include "varnex/sg.h"

namespace vxhost {
namespace {

enum class Shape { Word, One, End, IdAddress, TimeAddress, FloatAddress, IdValue, OnOff };

struct Step {
  Shape shape;
  Word word = Word::Other;  // for Shape::Word
};

enum class FormKind { AddKey, SetValue, Reduce };

struct Form {
  Word head;
  FormKind kind;
  Step steps[14];
  int stepCount;
};

// What a form's items carried, in the order they came.
struct FormValues {
  uint64_t* idAddress = nullptr;
  int32_t* time = nullptr;
  float* floats[2] = {};
  int floatCount = 0;
  uint64_t idValue = 0;
  bool flags[2] = {};
  int flagCount = 0;
};

constexpr Form kAddKeyForm{
    Word::Type, FormKind::AddKey,
    {{Shape::Word, Word::Kfbezier}, {Shape::One}, {Shape::Word, Word::Keyframe}, {Shape::IdAddress},
     {Shape::Word, Word::Time}, {Shape::TimeAddress}, {Shape::Word, Word::Add}, {Shape::One}, {Shape::End}},
    9};
constexpr Form kSetValueForm{
    Word::Keyframe, FormKind::SetValue,
    {{Shape::IdAddress}, {Shape::Word, Word::Kfid}, {Shape::IdValue}, {Shape::Word, Word::Value},
     {Shape::FloatAddress}, {Shape::One}, {Shape::End}},
    7};
constexpr Form kReduceForm{
    Word::Reducekeys, FormKind::Reduce,
    {{Shape::Word, Word::Distance}, {Shape::FloatAddress}, {Shape::Word, Word::Angle}, {Shape::FloatAddress},
     {Shape::Word, Word::Keysareeulerangles}, {Shape::Word, Word::Enabled}, {Shape::OnOff},
     {Shape::Word, Word::Angularkeysareindegrees}, {Shape::Word, Word::Enabled}, {Shape::OnOff}, {Shape::End}},
    11};
constexpr const Form* kForms[] = {&kAddKeyForm, &kSetValueForm, &kReduceForm};

void ReadStep(ArgReader& args, const Step& step, FormValues& values) {
  switch (step.shape) {
    case Shape::Word: args.Expect(step.word); break;
    case Shape::One: args.One(); break;
    case Shape::End: args.End(); break;
    case Shape::IdAddress: values.idAddress = args.IdAddress(); break;
    case Shape::TimeAddress: values.time = args.IntAddress(); break;
    case Shape::FloatAddress: values.floats[values.floatCount++] = args.FloatAddress(); break;
    case Shape::IdValue: values.idValue = args.IdValue(); break;
    case Shape::OnOff: values.flags[values.flagCount++] = args.OnOff(); break;
  }
}

// Where the value of the key a value is meant for lives; null for the other
// forms, or when the channel has no such key.
float* TargetKey(Channel& channel, FormKind kind, const FormValues& values) {
  return kind == FormKind::SetValue ? channel.keys.FindValue(values.idValue) : nullptr;
}

void Apply(Channel& channel, FormKind kind, const FormValues& values, float* key) {
  switch (kind) {
    case FormKind::AddKey:
      *values.idAddress = AddKey(channel, *values.time);
      break;
    case FormKind::SetValue:
      *key = *values.floats[0];
      break;
    case FormKind::Reduce: {
      ReductionRequest request{*values.floats[0], *values.floats[1], values.flags[0], values.flags[1]};
      if (channel.reductionRequests == 0) channel.keysBeforeReduction = channel.keys.size();
      ++channel.reductionRequests;
      channel.lastReduction = request;
      ReduceChannelKeys(channel, request);
      break;
    }
  }
}

[[gnu::always_inline]] inline bool IsAddress(void* item) {
  return reinterpret_cast<uintptr_t>(item) >= ArgReader::kLowestAddress && !AsToken(item);
}
[[gnu::always_inline]] inline bool IsWord(void* item, Word word) { return IsWordToken(item, word); }

// Reads a call's items, the i-th (from 0, after the status slot) by Item<i>(),
// in order, with va_arg: the general path, on every platform.
class ListCursor {
 public:
  explicit ListCursor(va_list ap) { va_copy(ap_, ap); }
  ~ListCursor() { va_end(ap_); }
  ListCursor(const ListCursor&) = delete;
  ListCursor& operator=(const ListCursor&) = delete;
  bool AtFirstItem() const { return true; }
  template <size_t i>
  void* Item() { return va_arg(ap_, void*); }

 private:
  va_list ap_;
};

// The same items read by their byte offsets, with no va_arg: each va_arg
// loads and stores the list's offset in memory, and a whole BVH import takes
// 15 to 17 % more CPU time that way (docs/performance.md). On
// x86-64 System V each item's place is known from i: the list starts with
// the status slot taken, so items 0 to 4 lie in the saved registers and the
// rest on the stack. The cursor reads the list's record of the call under way
// and keeps nothing after it, so it needs no lifetime or threading rule of
// its own. Windows (another calling convention) and every other processor
// take the general path; SetFastPaths(false) makes x86-64 take it too.
#if defined(__x86_64__) && !defined(_WIN32)
static_assert(sizeof(va_list) == 24, "the System V record of a variadic call's list");
class SavedRegisterCursor {
 public:
  // The list's record: offset into the saved registers (4 bytes at 0), the
  // stack items (8 bytes at 8) and the saved registers (8 bytes at 16).
  explicit SavedRegisterCursor(va_list ap) {
    const char* record = reinterpret_cast<const char*>(ap);
    std::memcpy(&gp_, record, sizeof gp_);
    std::memcpy(&overflow_, record + 8, sizeof overflow_);
    std::memcpy(&saved_, record + 16, sizeof saved_);
  }
  // False for a list that does not start right after one named argument.
  bool AtFirstItem() const { return gp_ == kFirstOffset; }
  template <size_t i>
  [[gnu::always_inline]] void* Item() const {
    void* item;
    if constexpr (kFirstOffset + i * 8 < kSavedBytes) std::memcpy(&item, saved_ + kFirstOffset + i * 8, sizeof item);
    else std::memcpy(&item, overflow_ + (kFirstOffset + i * 8 - kSavedBytes), sizeof item);
    return item;
  }

 private:
  static constexpr unsigned kSavedBytes = 6 * 8;  // the six integer argument registers
  static constexpr unsigned kFirstOffset = 8;     // the status slot took the first
  uint32_t gp_;
  char* overflow_;
  char* saved_;
};
#else
using SavedRegisterCursor = ListCursor;
#endif

// One item of a form, checked and kept; the step is known at compile time.
template <Shape shape, Word word>
[[gnu::always_inline]] inline bool QuickStep(void* item, FormValues* values) {
  if constexpr (shape == Shape::Word) {
    return IsWord(item, word);
  } else if constexpr (shape == Shape::One) {
    return reinterpret_cast<uintptr_t>(item) == 1;
  } else if constexpr (shape == Shape::End) {
    return item == nullptr;
  } else if constexpr (shape == Shape::IdAddress) {
    values->idAddress = static_cast<uint64_t*>(item);
    return IsAddress(item);
  } else if constexpr (shape == Shape::TimeAddress) {
    values->time = static_cast<int32_t*>(item);
    return IsAddress(item);
  } else if constexpr (shape == Shape::FloatAddress) {
    values->floats[values->floatCount++] = static_cast<float*>(item);
    return IsAddress(item);
  } else if constexpr (shape == Shape::IdValue) {
    values->idValue = reinterpret_cast<uintptr_t>(item);
    return AsToken(item) == nullptr;
  } else {
    const Token* token = AsToken(item);
    if (!token || (token->word != Word::On && token->word != Word::Off)) return false;
    values->flags[values->flagCount++] = token->word == Word::On;
    return true;
  }
}

// A form's steps unrolled from its table entry; reading stops at the first
// item that does not fit.
template <const Form& form, class Cursor, size_t... i>
[[gnu::always_inline]] inline bool QuickSteps(Cursor& items, FormValues* values, std::index_sequence<i...>) {
  // The form's steps follow "ctrlrid", the channel and the form's head.
  return (QuickStep<form.steps[i].shape, form.steps[i].word>(items.template Item<3 + i>(), values) && ...);
}

template <const Form& form, class Cursor>
[[gnu::always_inline]] inline bool QuickForm(Cursor& items, FormValues* values) {
  return QuickSteps<form>(items, values, std::make_index_sequence<form.stepCount>());
}

// The same grammar as the ArgReader walk below, without log or diagnosis:
// an import makes two of these calls per key. Any doubt answers false, and
// the call is read again the careful way.
template <class Cursor>
[[gnu::always_inline]] inline bool ReadQuickly(void* status, Cursor& items, Channel** channel, const Form** form, FormValues* values) {
  if (!items.AtFirstItem() || !IsAddress(status) || !IsWord(items.template Item<0>(), Word::Ctrlrid)) return false;
  if (!(*channel = FindChannelHandle(items.template Item<1>()))) return false;
  const Token* head = AsToken(items.template Item<2>());
  if (!head) return false;
  switch (head->word) {
    case kAddKeyForm.head: *form = &kAddKeyForm; return QuickForm<kAddKeyForm>(items, values);
    case kSetValueForm.head: *form = &kSetValueForm; return QuickForm<kSetValueForm>(items, values);
    case kReduceForm.head: *form = &kReduceForm; return QuickForm<kReduceForm>(items, values);
    default: return false;
  }
}

// The whole call when its list reads soundly and needs no report; false
// leaves it to Control, which reads the list again from its start.
template <class Cursor>
[[gnu::always_inline]] inline bool ControlQuicklyWith(void* status, va_list ap) {
  Channel* channel = nullptr;
  const Form* form = nullptr;
  FormValues values;
  Cursor items(ap);
  if (!ReadQuickly(status, items, &channel, &form, &values)) return false;
  // The two per-key forms are done here; Apply stays out of line for the rest.
  if (form->kind == FormKind::AddKey) {
    *values.idAddress = AddKey(*channel, *values.time);
    return true;
  }
  float* key = TargetKey(*channel, form->kind, values);
  if (!key && form->kind == FormKind::SetValue) return false;
  if (form->kind == FormKind::SetValue) *key = *values.floats[0];
  else Apply(*channel, form->kind, values, key);
  return true;
}

bool ControlQuickly(void* status, va_list ap) {
  if (CallLogOn()) return false;
  if (hostCore.fastPaths) return ControlQuicklyWith<SavedRegisterCursor>(status, ap);
  return ControlQuicklyWith<ListCursor>(status, ap);
}

void Control(void* status, va_list ap) {
  ArgReader args("Sg_AnimController", status, ap);
  args.StatusSlot();
  args.Expect(Word::Ctrlrid);
  Channel* channel = args.ChannelHandle();
  Word head = args.OneOf({Word::Type, Word::Keyframe, Word::Reducekeys});
  FormValues values;
  const Form* form = nullptr;
  for (const Form* candidate : kForms)
    if (candidate->head == head) form = candidate;
  if (form)
    for (int i = 0; i < form->stepCount && args.ok(); ++i) ReadStep(args, form->steps[i], values);
  float* key = args.ok() ? TargetKey(*channel, form->kind, values) : nullptr;
  if (args.ok() && !key && form->kind == FormKind::SetValue)
    args.FailCall("channel " + ChannelLogName(*channel) + " has no keyframe " + std::to_string(values.idValue));
  if (args.ok()) Apply(*channel, form->kind, values, key);
  args.Finish();
}

}  // namespace
}  // namespace vxhost

VXHOST_VARIADIC_CALL_WITH_QUICK_PATH(Sg_AnimController, void*, ControlQuickly, Control)
