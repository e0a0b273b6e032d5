// The reference host's own interface, for the host program and the tests:
// read the scene an import built, evaluate it, see the messages, and steer
// the host (call log, strict-argument errors, injected aborts and messages).
// The plug-in never sees this header; it talks to the host only through the
// Sg_ and Import_IO_ functions.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <glm/mat4x4.hpp>
#include <glm/vec3.hpp>

#include "varnex/key_list.h"

namespace vxhost {

// -- Scene model

// Entries of the default channel table that hold channels.
enum ChannelEntry : int {
  kTranslateX = 10, kTranslateY, kTranslateZ,
  kScaleX, kScaleY, kScaleZ,
  kRotateX, kRotateY, kRotateZ,
};
constexpr int kChannelTableSize = 20;
constexpr int kTicksPerSecond = 4800;

struct ReductionRequest {
  float distance = 0.0f;
  float angle = 0.0f;
  bool eulerAngles = false;     // "keysareeulerangles"
  bool anglesInDegrees = false; // "angularkeysareindegrees"
};

struct Instance;

struct Channel {
  int entry = 0;                // kTranslateX .. kRotateZ
  Instance* owner = nullptr;
  KeyList keys;                 // ordered by time, at most one per time
  int reductionRequests = 0;
  ReductionRequest lastReduction;
  size_t keysBeforeReduction = 0; // key count when the first reduction ran
  uint32_t nextKeyId = 1;
};

struct Constraint {
  bool set = false;             // a clause for this class arrived
  float minValue[3] = {};       // "minrange" "value" vector
  float maxValue[3] = {};       // "maxrange" "value" vector
  bool minEnabled[3] = {};      // "minrange" <axis> "enabled"
  bool maxEnabled[3] = {};      // "maxrange" <axis> "enabled"
  bool worldSpace = false;
};

struct Instance {
  std::string name;
  Instance* parent = nullptr;        // null only for "world"
  std::vector<Instance*> children;   // in attach order

  bool skeletonSet = false;          // a "skeleton" clause arrived
  bool endEffector = false;
  bool jointNode = false;
  bool ikSet = false;                // an "ikparams" clause arrived
  bool ikAnchor = false;
  bool notAffectedByIkOfDescendants = false;
  bool locked[2][3] = {};            // [translate, rotate][x, y, z]
  Constraint position;
  Constraint rotation;

  bool replaceChannels = false;      // "replacechannels" "eulerrotate"
  int32_t eulerOrder = 0;            // 0 XYZ, 2 XZY, 4 YZX, 6 YXZ, 8 ZXY, 10 ZYX
  glm::dmat4 staticTransform{1.0};   // Sg_Transform products
  bool hasDefaultChannels = false;
  Channel* channels[kChannelTableSize] = {}; // entries 10..18 once created
};

const Instance* World();
const Instance* FindInstance(std::string_view name);
// Every instance below "world", parents before children, children in order.
std::vector<const Instance*> AllInstances();
// Names from the topmost instance under "world" down, joined with "/".
std::string InstancePath(const Instance& instance);

// -- Evaluation
//
// An instance is animated when any of its channels holds a key. Then its
// local transform is T(tx, ty, tz) * R * S(sx, sy, sz) from the channels at
// the given time (a channel without keys gives 0, or 1 for scale), with R
// built from rx, ry, rz in the instance's Euler order: the first letter of
// the order turns first about the parent's fixed axes, so XYZ is Rz*Ry*Rx.
// An instance that is not animated keeps its static transform. Column
// vectors throughout: a point p becomes M * p.

bool IsAnimated(const Instance& instance);
float EvaluateChannel(const Channel& channel, double ticks);
// EvaluateChannel at every time of a list, into values (as many as times):
// one walk over the keys when the times ascend, as a take's samples do.
void SampleChannel(const Channel& channel, std::span<const int32_t> ticks, std::span<float> values);
glm::dmat4 LocalTransform(const Instance& instance, double ticks);
glm::dmat4 WorldTransform(const Instance& instance, double ticks);
glm::dvec3 WorldPosition(const Instance& instance, double ticks);
// World transforms of instances listed parents first (as AllInstances
// lists them) at a time, each once, from its parent's: linear in the count
// however deep the hierarchy. An instance whose parent is not listed starts
// from its parent's WorldTransform.
std::vector<glm::dmat4> WorldTransforms(const std::vector<const Instance*>& instances, double ticks);
// Rotation matrix of angles (radians, by axis) in an instance Euler order code.
glm::dmat4 EulerRotation(int32_t eulerOrder, double x, double y, double z);

// The one table of instance Euler order codes: the axes of a code, first to
// turn first (0 x, 1 y, 2 z; XYZ is {0, 1, 2}), and its letters ("XYZ");
// nothing (nullptr) for a code that names no order, which the host refuses
// to set, so a scene never holds one.
std::optional<std::array<int, 3>> EulerOrderAxes(int32_t eulerOrder);
const char* EulerOrderLetters(int32_t eulerOrder);

int32_t FrameRate();                 // the scene's frame rate (Sg_Animation)
// Sets the scene's frame rate as a user would before an import (formats
// that carry none use it); false, and nothing changed, outside 1..4800.
bool SetFrameRate(int32_t rate);
std::vector<int32_t> KeyTimes();     // every distinct key time of the scene, ascending
size_t KeyCount();                   // keys of all channels
// First and last time a key was ever added since the host was reset: the
// take's span, kept when optimisation or reduction drop keys. False when
// no key was added.
bool TakeRange(int32_t* first, int32_t* last);

// -- Messages

enum class MessageKind {
  Print,      // Import_IO_printf
  Error,      // Import_IO_Report_Error
  Catalogue,  // Sg_Report_Error, expanded from the message catalogue
  HostError,  // a malformed host call found by the strict argument check
};
struct Message {
  MessageKind kind;
  std::string text;
};
const std::vector<Message>& Messages();
std::string AllMessageText();        // every message text, concatenated
void ClearMessages();
using MessageSink = std::function<void(const Message&)>;
void SetMessageSink(MessageSink sink);

std::string StatusText();            // last Import_IO_Display_Info_Text
using StatusSink = std::function<void(const std::string&)>;
void SetStatusSink(StatusSink sink);

// Called at every abort poll with the progress record's figures; answering
// true makes the poll report a user abort.
using ProgressHandler = std::function<bool(int64_t done, int64_t total)>;
void SetProgressHandler(ProgressHandler handler);

// -- Call log, strict checking and test controls

void SetCallLogEnabled(bool enabled);
const std::vector<std::string>& CallLog();
void ClearCallLog();
const std::vector<std::string>& HostErrors();

struct Counters {
  int64_t hostCalls = 0;    // every Sg_ and Import_IO_ call
  int64_t abortPolls = 0;
  int64_t initializes = 0;
  int64_t cleanups = 0;
  int64_t abortCleanups = 0;
};
Counters GetCounters();

// The nth abort poll from now (1-based) answers "abort"; 0 switches it off.
void AbortAtPoll(int64_t n);
// At the nth host call from now (1-based) the host delivers a message of
// kind 5 through the import's callback; 0 switches it off.
void Kind5AtCall(int64_t n);
// The nth host call from now (1-based) fails as if it could not allocate;
// 0 switches it off. Replaces Kind5AtCall's message, and it replaces this.
void FailAllocationAtCall(int64_t n);
// Whether a host call could not allocate since the host was reset. During
// an import the host then ended it with one message of kind 5 naming the
// call (docs/robustness.md).
bool RanOutOfMemory();

// The host's fast paths (the plug-in's words trusted by their address
// during an import, the per-key calls' items read by their byte offsets,
// AVX2 matrix products) on or off; off, every call takes the general path,
// for tests that compare the two. On by default; a reset keeps the setting.
void SetFastPaths(bool on);

// Back to a fresh host: empty scene under "world", default frame rate,
// no messages, empty log, counters and controls cleared, sinks and the
// fast paths' setting kept.
void ResetHost();

}  // namespace vxhost
