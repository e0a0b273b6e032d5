// BVH reader, skeleton builder, motion channels and import flow. Reads the
// open input file of the import state token by token into a joint tree with
// per-channel frame arrays, then writes instances and keys through the host.
// Owns the whole model in one record, so every way out of an import frees it.
#include "bvh.h"

#include <charconv>
#include <cstddef>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <type_traits>

#include "channels.h"
#include "frame.h"

// -- Model and module state

namespace {

enum BvhChannel : int32_t {
  kNoChannel = 0,
  kXposition = 1,
  kYposition = 2,
  kZposition = 3,
  kZrotation = 4,
  kYrotation = 5,
  kXrotation = 6,
};

enum BvhParseState : int32_t {
  kStart = 0,
  kAfterHierarchy = 1,
  kAfterRoot = 2,
  kRootNamed = 3,
  kOffsetX = 5,
  kOffsetY = 6,
  kOffsetZ = 7,
  kOffsetDone = 8,
  kChannelCount = 9,
  kChannelCountRead = 10,
  kChannelName = 11,
  kAfterJoint = 17,
  kJointNamed = 18,
  kAfterEnd = 19,
  kEndSite = 20,
  kMotion = 22,
  kFrameCount = 23,
  kAfterFrame = 24,
  kFrameTimeValue = 25,
  kMotionData = 28,
  kFrameCountRead = 29,
};

constexpr int kJointChannelSlots = 6;
constexpr float kDefaultFrameTime = 0.033333f;

struct BvhJoint {
  char* name;
  char* hostName;
  BvhJoint* nextSibling;
  BvhJoint* firstChild;
  BvhJoint* parent;
  int32_t isRoot;
  int32_t isEndSite;
  int32_t channels[kJointChannelSlots];
  int32_t channelsSeen;
  int32_t channelCount;  // never negative; may exceed the six slots
  float offset[3];
  BvhJoint* lastChild;   // end of the child list, for appending in file order
  BvhJoint* owner;       // whose child list holds this record: the parent, or the top for a ROOT
  int32_t namesGiven;    // channel names after CHANNELS, stored or not
};

struct BvhChannelNode {
  float** arrays;        // arrays[slot][frame]; null until the frame time
  int32_t filled;
  BvhJoint* joint;
  BvhChannelNode* next;
  int32_t slotCount;     // slots the arrays hold: the named channels, at most six
};

// Every block an import allocates hangs in one list, so releasing the model
// cannot miss a record whatever path left the import.
struct BvhBlock {
  BvhBlock* prev;
  BvhBlock* next;
};
static_assert(sizeof(BvhBlock) % alignof(std::max_align_t) == 0);

struct BvhReader {
  BvhJoint* top;
  BvhJoint* current;
  BvhChannelNode* motionHead;
  BvhChannelNode* motionCursor;
  BvhChannelNode* motionTail;
  BvhParseState state;
  int32_t frameCount;
  float frameTime;
  int32_t totalChannels;
  int64_t frameIndex;    // wide: it jumps ten past frameCount
  int32_t valueIndex;
  const char* baseName;

  int64_t arrayFrames;   // frames the arrays hold
  int16_t arraysMade;
  int16_t surplusWarned;
  int32_t frameRate;
  BvhBlock* blocks;

  // Where each value of a frame goes (its slot's array, or null when no slot
  // keeps it), while the joints and arrays stay as they were when it was made.
  float** framePlan;
  int16_t framePlanValid;
  int16_t framePlanBuilds;
};

static_assert(std::is_trivially_destructible_v<BvhJoint>);
static_assert(std::is_trivially_destructible_v<BvhChannelNode>);
static_assert(std::is_trivially_destructible_v<BvhReader>);

BvhReader bvhReader = {nullptr, nullptr, nullptr, nullptr, nullptr, kStart, 0, kDefaultFrameTime, 0, 0, 0,
                       nullptr, 0, 0, 0, 0, nullptr, nullptr, 0, 0};

SgToken Token(const char* word) { return Sg_Inquire_Token(word); }

// -- Memory

// Zeroed block linked into the reader's list; a failed allocation ends the
// process like any other out-of-memory in the host.
void* AllocateBvhBlock(size_t size) {
  if (size > SIZE_MAX - sizeof(BvhBlock)) std::abort();
  auto* block = static_cast<BvhBlock*>(std::calloc(1, sizeof(BvhBlock) + size));
  if (block == nullptr) std::abort();
  block->next = bvhReader.blocks;
  if (bvhReader.blocks != nullptr) bvhReader.blocks->prev = block;
  bvhReader.blocks = block;
  return block + 1;
}

void FreeBvhBlock(void* memory) {
  if (memory == nullptr) return;
  BvhBlock* block = static_cast<BvhBlock*>(memory) - 1;
  if (block->prev != nullptr) block->prev->next = block->next;
  else bvhReader.blocks = block->next;
  if (block->next != nullptr) block->next->prev = block->prev;
  std::free(block);
}

char* CopyBvhString(const char* text) {
  size_t length = std::strlen(text);
  auto* copy = static_cast<char*>(AllocateBvhBlock(length + 1));
  std::memcpy(copy, text, length + 1);
  return copy;
}

void FreeAllBvhBlocks() {
  while (bvhReader.blocks != nullptr) {
    BvhBlock* next = bvhReader.blocks->next;
    std::free(bvhReader.blocks);
    bvhReader.blocks = next;
  }
}

// -- Number syntax and conversion

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// atof, for the syntax IsNumberToken lets through, at the speed of the
// shortest-path parser; results equal strtod's (both round correctly).
double ConvertBvhDouble(const char* text) {
  const char* start = text;
  if (*start == '+') {
    ++start;
    if (*start == '+' || *start == '-') return 0.0;
  }
  double value = 0.0;
  auto [end, error] = std::from_chars(start, start + std::strlen(start), value);
  (void)end;
  if (error == std::errc()) return value;
  if (error == std::errc::result_out_of_range) return std::strtod(text, nullptr);
  return 0.0;  // no digits at all: "+", "-", ".", ".e5"
}

constexpr double kExactPowersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

// The numbers capture files are made of: a sign, digits and at most one
// point. With at most 2^53 as digits and at most 19 of them, both the digits
// and the power of ten are exact doubles, so one division rounds exactly as
// strtod does. Reads from the start of text up to the first character that
// is neither digit nor point and answers how many it read, or 0 when they
// are not such a number (anything else takes the full path).
[[gnu::always_inline]] inline size_t ScanPlainDecimal(const char* text, double* value) {
  const char* p = text;
  const bool negative = *p == '-';
  if (*p == '-' || *p == '+') ++p;
  uint64_t digits = 0;
  const char* first = p;
  for (; IsDigit(*p); ++p) digits = digits * 10 + static_cast<uint64_t>(*p - '0');
  ptrdiff_t digitCount = p - first;
  ptrdiff_t decimals = 0;
  if (*p == '.') {
    const char* fraction = ++p;
    for (; IsDigit(*p); ++p) digits = digits * 10 + static_cast<uint64_t>(*p - '0');
    decimals = p - fraction;
    digitCount += decimals;
  }
  // More than 19 digits may have wrapped: they are refused before their value counts.
  if (digitCount == 0 || digitCount > 19 || digits > (uint64_t{1} << 53)) return 0;
  const double magnitude = static_cast<double>(digits) / kExactPowersOfTen[decimals];
  *value = negative ? -magnitude : magnitude;
  return static_cast<size_t>(p - text);
}

// The same for a whole token of the given length.
bool ConvertPlainDecimal(const char* text, size_t length, double* value) {
  double converted = 0.0;
  const size_t taken = ScanPlainDecimal(text, &converted);
  if (taken == 0 || taken != length) return false;
  *value = converted;
  return true;
}

// -- Model building

BvhChannelNode* AppendMotionNode(BvhJoint* joint) {
  auto* node = static_cast<BvhChannelNode*>(AllocateBvhBlock(sizeof(BvhChannelNode)));
  node->joint = joint;
  if (bvhReader.motionTail != nullptr) bvhReader.motionTail->next = node;
  else bvhReader.motionHead = node;
  bvhReader.motionTail = node;
  bvhReader.motionCursor = node;
  return node;
}

BvhJoint* MakeBvhJoint(const char* name, BvhJoint* parent, BvhJoint* owner) {
  auto* joint = static_cast<BvhJoint*>(AllocateBvhBlock(sizeof(BvhJoint)));
  joint->name = CopyBvhString(name);
  joint->parent = parent;
  joint->owner = owner;
  if (owner != nullptr) {
    if (owner->lastChild != nullptr) owner->lastChild->nextSibling = joint;
    else owner->firstChild = joint;
    owner->lastChild = joint;
  }
  return joint;
}

// A record below current, with its motion node; current moves to it.
BvhJoint* OpenBvhJoint(const char* name, BvhJoint* owner) {
  BvhJoint* joint = MakeBvhJoint(name, bvhReader.current, owner);
  AppendMotionNode(joint);
  bvhReader.current = joint;
  return joint;
}

void FailBvhImport(const char* message) {
  Import_IO_printf(message);
  importState.fatal = 1;
}

// -- Reader: frame arrays

void FreeBvhFrameArrays() {
  for (BvhChannelNode* node = bvhReader.motionHead; node != nullptr; node = node->next) {
    FreeBvhBlock(node->arrays);
    node->arrays = nullptr;
    node->slotCount = 0;
  }
  bvhReader.arraysMade = 0;
  bvhReader.arrayFrames = 0;
}

// Slots worth storing: a value beyond the names given has no channel to go to.
int32_t BvhStoredSlots(const BvhJoint* joint) {
  int32_t slots = joint->channelCount < joint->channelsSeen ? joint->channelCount : joint->channelsSeen;
  return slots < kJointChannelSlots ? slots : kJointChannelSlots;
}

// Gives every motion node its arrays, all frames of the count at 0, whether
// or not the file holds their values. Only arrays beyond kBvhFrameArrayLimit
// bytes are refused: the frame count is a claim that a damaged header can
// make absurd. Values already taken in the frame being read stay counted.
void AllocateBvhFrameArrays() {
  FreeBvhFrameArrays();
  int64_t slotsPerFrame = 0;
  for (BvhChannelNode* node = bvhReader.motionHead; node != nullptr; node = node->next) {
    if (node->joint->namesGiven != node->joint->channelCount) {
      Import_IO_printf("Warning: Joint %s lists %d channel names for CHANNELS %d.\n", node->joint->name,
                       node->joint->namesGiven, node->joint->channelCount);
    }
    slotsPerFrame += BvhStoredSlots(node->joint);
  }
  int64_t frames = bvhReader.frameCount > 0 ? bvhReader.frameCount : 0;
  if (slotsPerFrame > 0 && frames > kBvhFrameArrayLimit / static_cast<int64_t>(sizeof(float)) / slotsPerFrame) {
    Import_IO_printf("Fatal Error: Frames: %ld of %ld channels need more than %ld MB of frame arrays. Aborting.\n",
                     static_cast<long>(bvhReader.frameCount), static_cast<long>(slotsPerFrame),
                     static_cast<long>(kBvhFrameArrayLimit >> 20));
    importState.fatal = 1;
    return;
  }
  for (BvhChannelNode* node = bvhReader.motionHead; node != nullptr; node = node->next) {
    int32_t slots = BvhStoredSlots(node->joint);
    if (slots == 0) continue;
    size_t pointerBytes = sizeof(float*) * static_cast<size_t>(slots);
    size_t valueBytes = sizeof(float) * static_cast<size_t>(frames) * static_cast<size_t>(slots);
    auto* block = static_cast<char*>(AllocateBvhBlock(pointerBytes + valueBytes));
    node->arrays = reinterpret_cast<float**>(block);
    for (int32_t slot = 0; slot < slots; ++slot) {
      node->arrays[slot] = reinterpret_cast<float*>(block + pointerBytes) + static_cast<size_t>(frames) * slot;
    }
    node->slotCount = slots;
  }
  bvhReader.arrayFrames = frames;
  bvhReader.arraysMade = 1;
  bvhReader.motionCursor = bvhReader.motionHead;
}

// -- Reader: numbers and motion values

void EndBvhFrame() {
  bvhReader.valueIndex = 0;
  bvhReader.frameIndex += 1;
  for (BvhChannelNode* node = bvhReader.motionHead; node != nullptr; node = node->next) node->filled = 0;
  bvhReader.motionCursor = bvhReader.motionHead;
}

// The joint the frame's next value goes to: the first from the cursor on
// that has not had all its channels; null when every joint is full.
BvhChannelNode* NextBvhMotionNode() {
  BvhChannelNode* node = bvhReader.motionCursor;
  while (node != nullptr && node->filled >= node->joint->channelCount) node = node->next;
  bvhReader.motionCursor = node;
  return node;
}

// A frame ends after as many values as the file named channels, whatever each
// joint claims; the values go to the joints by their own channel counts.
void PlaceBvhMotionValue(double value) {
  if (bvhReader.frameIndex == bvhReader.frameCount) {
    Import_IO_printf("Warning: Extra animation information found.\n");
    bvhReader.frameIndex = static_cast<int64_t>(bvhReader.frameCount) + 10;
  }
  if (bvhReader.frameIndex >= bvhReader.frameCount) return;
  BvhChannelNode* node = NextBvhMotionNode();
  if (node != nullptr) {
    if (node->filled < node->slotCount && bvhReader.frameIndex < bvhReader.arrayFrames) {
      node->arrays[node->filled][bvhReader.frameIndex] = static_cast<float>(value);
    }
    node->filled += 1;
  } else if (!bvhReader.surplusWarned) {
    // More names than counts: the joints are full before the frame is.
    bvhReader.surplusWarned = 1;
    Import_IO_printf("Warning: More motion values per frame than the joints' channel counts take - extra values ignored.\n");
  }
  bvhReader.valueIndex += 1;
  if (bvhReader.valueIndex >= bvhReader.totalChannels) EndBvhFrame();
}

// Plans are made again only so often: a file that keeps changing its joints
// between values reads on through the general path instead.
constexpr int16_t kMaxFramePlanBuilds = 64;

// The plan of a frame that starts with every joint empty and never runs out
// of joints before its last value. False when there is none to make.
bool MakeBvhFramePlan() {
  if (bvhReader.framePlanValid) return true;
  if (bvhReader.framePlanBuilds >= kMaxFramePlanBuilds || !bvhReader.arraysMade || bvhReader.totalChannels <= 0 ||
      bvhReader.motionCursor != bvhReader.motionHead) {
    return false;
  }
  bvhReader.framePlanBuilds += 1;
  for (BvhChannelNode* node = bvhReader.motionHead; node != nullptr; node = node->next) {
    if (node->filled != 0) return false;
  }
  FreeBvhBlock(bvhReader.framePlan);
  bvhReader.framePlan = static_cast<float**>(
      AllocateBvhBlock(sizeof(float*) * static_cast<size_t>(bvhReader.totalChannels)));
  BvhChannelNode* node = bvhReader.motionHead;
  int32_t filled = 0;
  for (int32_t value = 0; value < bvhReader.totalChannels; ++value) {
    while (node != nullptr && filled >= node->joint->channelCount) {
      node = node->next;
      filled = 0;
    }
    if (node == nullptr) return false;  // more values than joints take: the general path warns
    bvhReader.framePlan[value] = filled < node->slotCount ? node->arrays[filled] : nullptr;
    filled += 1;
  }
  bvhReader.framePlanValid = 1;
  return true;
}

// The joints' fill as the general path would have it after the first values
// of a frame taken by plan.
void ReplayBvhFramePlacement(int32_t values) {
  for (BvhChannelNode* node = bvhReader.motionHead; node != nullptr; node = node->next) node->filled = 0;
  bvhReader.motionCursor = bvhReader.motionHead;
  for (int32_t value = 0; value < values; ++value) NextBvhMotionNode()->filled += 1;
}

void TakeBvhFrameTime(double value) {
  bvhReader.frameTime = static_cast<float>(value);
  bvhReader.current = bvhReader.top;
  AllocateBvhFrameArrays();
  if (importState.fatal != 0) return;
  bvhReader.motionCursor = bvhReader.motionHead;
  if (bvhReader.motionHead == nullptr) {
    FailBvhImport("Fatal Error: No channels to animate found. Aborting.\n");
    return;
  }
  bvhReader.valueIndex = 0;
  bvhReader.frameIndex = 0;
}

void TakeBvhChannelCount(const char* text) {
  BvhJoint* joint = bvhReader.current;
  int32_t count = static_cast<int32_t>(std::strtol(text, nullptr, 10));
  if (count < 0) {
    Import_IO_printf("Warning: Negative channel count for joint %s. Assuming 0.\n", joint->name);
    count = 0;
  } else if (count > kJointChannelSlots) {
    Import_IO_printf("Warning: More than 6 channels given for joint %s - extra values ignored.\n", joint->name);
  }
  joint->channelCount = count;
}

// The text is there for the integer states; value is the text as atof reads it.
void ParseBvhNumber(const char* text, double value) {
  BvhJoint* joint = bvhReader.current;
  if (bvhReader.state != kMotionData) bvhReader.framePlanValid = 0;
  switch (bvhReader.state) {
    case kOffsetX:
    case kOffsetY:
    case kOffsetZ:
      // Before any joint there is nowhere to put an offset.
      if (joint != nullptr) joint->offset[bvhReader.state - kOffsetX] = static_cast<float>(value);
      bvhReader.state = static_cast<BvhParseState>(bvhReader.state + 1);
      break;
    case kChannelCount:
      if (joint != nullptr) TakeBvhChannelCount(text);
      bvhReader.state = kChannelCountRead;
      break;
    case kFrameCount:
      bvhReader.frameCount = static_cast<int32_t>(std::strtol(text, nullptr, 10));
      bvhReader.state = kFrameCountRead;
      break;
    case kFrameTimeValue:
      bvhReader.state = kMotionData;
      TakeBvhFrameTime(value);
      break;
    case kMotionData:
      PlaceBvhMotionValue(value);
      break;
    default:
      break;
  }
}

// -- Reader: tokens

int32_t BvhChannelCode(const char* token) {
  if (token[1] == 'p' || token[1] == 'r') {
    char axis = token[0];
    if (std::strcmp(token + 1, "position") == 0) {
      if (axis == 'X') return kXposition;
      if (axis == 'Y') return kYposition;
      if (axis == 'Z') return kZposition;
    } else if (std::strcmp(token + 1, "rotation") == 0) {
      if (axis == 'X') return kXrotation;
      if (axis == 'Y') return kYrotation;
      if (axis == 'Z') return kZrotation;
    }
  }
  return kNoChannel;
}

void TakeBvhChannelName(const char* token, int32_t code) {
  bvhReader.state = kChannelName;
  BvhJoint* joint = bvhReader.current;
  if (joint == nullptr) return;  // no joint yet: nothing to animate
  bvhReader.totalChannels += 1;
  joint->namesGiven += 1;
  if (joint->channelsSeen >= kJointChannelSlots) {
    // The value still takes its place in every frame; only its key is lost.
    Import_IO_printf("Warning: More than 6 channel names for joint %s - ignoring %s.\n", joint->name, token);
    return;
  }
  joint->channels[joint->channelsSeen] = code;
  joint->channelsSeen += 1;
}

bool RequireBvhParent() {
  if (bvhReader.current != nullptr) return true;
  FailBvhImport("Fatal Error: missing HIERARCHY keyword. Aborting.\n");
  return false;
}

void ParseBvhToken(const char* token, size_t length) {
  // Keywords never have number syntax, so testing numbers first (the bulk of
  // any file) decides exactly as the keyword-first order would.
  double value = 0.0;
  if (ConvertPlainDecimal(token, length, &value)) {
    ParseBvhNumber(token, value);
    return;
  }
  if (IsNumberToken(token) == 1) {
    ParseBvhNumber(token, ConvertBvhDouble(token));
    return;
  }
  // Any keyword may change the joints or their arrays.
  bvhReader.framePlanValid = 0;
  if (std::strcmp(token, "HIERARCHY") == 0) {
    if (bvhReader.top != nullptr) {
      Import_IO_printf("Warning: more than one HIERARCHY keyword encountered.\n");
      return;
    }
    bvhReader.top = MakeBvhJoint(bvhReader.baseName, nullptr, nullptr);
    bvhReader.current = bvhReader.top;
    bvhReader.state = kAfterHierarchy;
  } else if (std::strcmp(token, "ROOT") == 0) {
    if (bvhReader.top == nullptr) {
      FailBvhImport("Fatal Error: missing HIERARCHY keyword. Aborting.\n");
      return;
    }
    // The parent is whatever is current, but a ROOT always joins the top's children.
    OpenBvhJoint("Default Joint", bvhReader.top)->isRoot = 1;
    bvhReader.state = kAfterRoot;
  } else if (std::strcmp(token, "JOINT") == 0) {
    if (!RequireBvhParent()) return;
    OpenBvhJoint("Default Joint", bvhReader.current);
    bvhReader.state = kAfterJoint;
  } else if (std::strcmp(token, "End") == 0) {
    bvhReader.state = kAfterEnd;
  } else if (std::strcmp(token, "Site") == 0) {
    if (!RequireBvhParent()) return;
    OpenBvhJoint("End Site", bvhReader.current)->isEndSite = 1;
    bvhReader.state = kEndSite;
  } else if (std::strcmp(token, "OFFSET") == 0) {
    if (bvhReader.state != kRootNamed && bvhReader.state != kJointNamed && bvhReader.state != kEndSite) {
      Import_IO_printf("Warning: Missing root or joint name.\n");
    }
    bvhReader.state = kOffsetX;
  } else if (std::strcmp(token, "CHANNELS") == 0) {
    if (bvhReader.state != kOffsetDone) Import_IO_printf("Warning: Missing offset value. Assuming 0.0.\n");
    bvhReader.state = kChannelCount;
  } else if (int32_t code = BvhChannelCode(token); code != kNoChannel) {
    TakeBvhChannelName(token, code);
  } else if (std::strcmp(token, "}") == 0) {
    if (bvhReader.current != nullptr && bvhReader.current->parent != nullptr) {
      bvhReader.current = bvhReader.current->parent;
    } else {
      Import_IO_printf("Warning: Extra closing parenthesis found - ignoring.\n");
    }
  } else if (std::strcmp(token, "{") == 0) {
  } else if (std::strcmp(token, "MOTION") == 0) {
    bvhReader.state = kMotion;
  } else if (std::strcmp(token, "Frames:") == 0) {
    if (bvhReader.state != kMotion) Import_IO_printf("Warning: Missing MOTION keyword.\n");
    bvhReader.state = kFrameCount;
  } else if (std::strcmp(token, "Frame") == 0) {
    bvhReader.state = kAfterFrame;
  } else if (std::strcmp(token, "Time:") == 0) {
    bvhReader.state = kFrameTimeValue;
  } else if (bvhReader.state == kAfterRoot || bvhReader.state == kAfterJoint) {
    BvhJoint* joint = bvhReader.current;
    FreeBvhBlock(joint->name);
    joint->name = CopyBvhString(token);
    bvhReader.state = bvhReader.state == kAfterRoot ? kRootNamed : kJointNamed;
  } else {
    Import_IO_printf("Warning: unknown string encountered: %s.\n", token);
  }
}

// -- Skeleton builder

const char* LockAxisWord(int32_t code) {
  switch (code) {
    case kXposition:
    case kXrotation:
      return "xaxis";
    case kYposition:
    case kYrotation:
      return "yaxis";
    default:
      return "zaxis";
  }
}

int32_t UsableSlots(const BvhJoint* joint) {
  return joint->channelCount < kJointChannelSlots ? joint->channelCount : kJointChannelSlots;
}

void BuildBvhJoint(BvhJoint* joint) {
  bool isTop = joint->parent == nullptr;
  joint->hostName = static_cast<char*>(AllocateBvhBlock(std::strlen(joint->name) + 20));
  const char* hostName = joint->hostName;
  Import_IO_MakeNameUnique(Token("instance"), joint->name, joint->hostName);
  Sg_Add_Empty_Node(Token("instance"), hostName, kSgEnd);
  Sg_Attach(Token("instance"), hostName, Token("instance"), isTop ? "world" : joint->parent->hostName, kSgEnd);
  const char* anchor = joint->isRoot == 1 ? "on" : "off";
  if (!isTop) {
    const char* endEffector = joint->isEndSite == 1 ? "on" : "off";
    const char* jointNode = joint->isEndSite == 1 ? "off" : "on";
    Sg_Instance(hostName, Token("skeleton"), Token("endeffectornode"), Token("enabled"), Token(endEffector),
                Token("jointnode"), Token("enabled"), Token(jointNode), kSgOne, kSgEnd);
  }
  Sg_Instance(hostName, Token("ikparams"), Token("thisisikanchor"), Token("enabled"), Token(anchor),
              Token("notaffectedbyikofdescendants"), Token("enabled"), Token(anchor), kSgOne, kSgEnd);
  Sg_Transform(Token("instance"), hostName, Token("postmultiply"), Token("translate"), joint->offset, kSgEnd);
  SgToken lockAxis = Token("lockaxis");
  SgToken translate = Token("translate");
  SgToken rotate = Token("rotate");
  SgToken enabled = Token("enabled");
  SgToken on = Token("on");
  Sg_Instance(hostName, Token("dofconstraintlocks"),
              lockAxis, translate, Token("xaxis"), enabled, on,
              lockAxis, translate, Token("yaxis"), enabled, on,
              lockAxis, translate, Token("zaxis"), enabled, on,
              lockAxis, rotate, Token("xaxis"), enabled, on,
              lockAxis, rotate, Token("yaxis"), enabled, on,
              lockAxis, rotate, Token("zaxis"), enabled, on, kSgOne, kSgEnd);
  for (int32_t slot = 0; slot < UsableSlots(joint); ++slot) {
    int32_t code = joint->channels[slot];
    if (code == kNoChannel) continue;
    const char* kind = code <= kZposition ? "translate" : "rotate";
    Sg_Instance(hostName, Token("dofconstraintlocks"), Token("lockaxis"), Token(kind), Token(LockAxisWord(code)),
                Token("enabled"), Token("off"), kSgOne, kSgEnd);
  }
}

// Depth-first, parents before children, without recursion: a file may nest
// joints as deeply as it likes.
BvhJoint* NextBvhJointInOrder(BvhJoint* joint, const BvhJoint* top) {
  if (joint->firstChild != nullptr) return joint->firstChild;
  while (joint != top) {
    if (joint->nextSibling != nullptr) return joint->nextSibling;
    joint = joint->owner;
  }
  return nullptr;
}

void BuildBvhSkeleton(BvhJoint* top) {
  for (BvhJoint* joint = top; joint != nullptr; joint = NextBvhJointInOrder(joint, top)) BuildBvhJoint(joint);
}

// -- Motion channels

int32_t BvhEulerOrderCode(const BvhJoint* joint) {
  char letters[kJointChannelSlots + 1] = {};
  int letterCount = 0;
  for (int32_t slot = 0; slot < UsableSlots(joint); ++slot) {
    switch (joint->channels[slot]) {
      case kZrotation: letters[letterCount++] = 'Z'; break;
      case kYrotation: letters[letterCount++] = 'Y'; break;
      case kXrotation: letters[letterCount++] = 'X'; break;
      default: break;
    }
  }
  // The host's order is the file's rotation order read backwards.
  static const struct { const char* letters; int32_t code; } kOrders[] = {
      {"ZXY", 6}, {"ZYX", 0}, {"XYZ", 10}, {"XZY", 4}, {"YXZ", 8}, {"YZX", 2},
  };
  for (const auto& order : kOrders) {
    if (std::strcmp(letters, order.letters) == 0) return order.code;
  }
  return 6;
}

float BvhRadians(float degrees) {
  return static_cast<float>(static_cast<double>(degrees / 180.0f) * 3.141592653589793);
}

enum { kCountTx, kCountTy, kCountTz, kCountRx, kCountRy, kCountRz, kCounters };

void WriteBvhJointChannels(BvhChannelNode* node, int64_t frames) {
  BvhJoint* joint = node->joint;
  const char* hostName = joint->hostName;
  Sg_AddDefaultAnimationChannels(Token("instance"), hostName, Token("all"), kSgEnd);
  Sg_Instance(hostName, Token("replacechannels"), Token("eulerrotate"), kSgEnd);
  int32_t orderCode = BvhEulerOrderCode(joint);
  Sg_Instance(hostName, Token("eulerorder"), &orderCode, kSgEnd);
  void* table[kDefaultChannelTableSize] = {};
  if (Import_IO_Get_DefaultAnimationChannelPtrs(hostName, table) == 0) return;

  AddChannelKeyframe(table[13], 0, 1.0f);
  AddChannelKeyframe(table[14], 0, 1.0f);
  AddChannelKeyframe(table[15], 0, 1.0f);
  AddChannelKeyframe(table[10], 0, joint->offset[0]);
  AddChannelKeyframe(table[11], 0, joint->offset[1]);
  AddChannelKeyframe(table[12], 0, joint->offset[2]);

  // Counters are wide: a take of more than 32767 frames still gets reduced.
  int64_t counts[kCounters] = {};
  int32_t slots = UsableSlots(joint) < node->slotCount ? UsableSlots(joint) : node->slotCount;
  bool absolute = joint->isRoot == 1;
  for (int64_t frame = 0; slots > 0 && frame < frames; ++frame) {
    int32_t time = FrameKeyTime(frame, bvhReader.frameRate);
    for (int32_t slot = 0; slot < slots; ++slot) {
      float value = node->arrays[slot][frame];
      switch (joint->channels[slot]) {
        case kXposition:
          AddChannelKeyframe(table[10], time, absolute ? value : value + joint->offset[0]);
          counts[kCountTx] += 1;
          break;
        case kYposition:
          AddChannelKeyframe(table[11], time, absolute ? value : value + joint->offset[1]);
          counts[kCountTy] += 1;
          break;
        case kZposition:
          AddChannelKeyframe(table[12], time, absolute ? value : value + joint->offset[2]);
          counts[kCountTz] += 1;
          break;
        case kZrotation:
          AddChannelKeyframe(table[18], time, BvhRadians(value));
          counts[kCountRz] += 1;
          break;
        case kYrotation:
          AddChannelKeyframe(table[17], time, BvhRadians(value));
          counts[kCountRy] += 1;
          break;
        case kXrotation:
          AddChannelKeyframe(table[16], time, BvhRadians(value));
          counts[kCountRx] += 1;
          break;
        default:
          break;
      }
    }
  }
  Import_IO_OptimizeTransformationChannels(hostName);
  if (importOptions.reduceTranslation != 0) {
    for (int axis = 0; axis < 3; ++axis) {
      if (counts[kCountTx + axis] > 1) SetChannelKeyReduction(0, table[10 + axis]);
    }
  }
  if (importOptions.reduceRotation != 0) {
    for (int axis = 0; axis < 3; ++axis) {
      if (counts[kCountRx + axis] > 1) SetChannelKeyReduction(1, table[16 + axis]);
    }
  }
}

// -- Import flow

constexpr int kAbortPollTokens = 40;
constexpr int kAbortPollNodes = 4;
constexpr size_t kReadBlockSize = 256 * 1024;

// The read block lives here rather than on the heap: nothing to free after a
// jump. One byte more than a block holds a NUL after the data, which stops
// every scan without a bounds test.
char readBlock[kReadBlockSize + 1];

// Separators are exactly those of the "%s" conversion. A NUL byte is a
// character of its token (the reader sees the token up to it); in the block
// it also marks the end of the data read.
enum : uint8_t { kTokenByte = 0, kSpaceByte = 1, kNulByte = 2 };
struct BvhByteClasses {
  uint8_t of[256];
};
constexpr BvhByteClasses kByteClasses = [] {
  BvhByteClasses table{};
  const char separators[] = " \t\n\v\f\r";
  for (int i = 0; separators[i] != '\0'; ++i) table.of[static_cast<unsigned char>(separators[i])] = kSpaceByte;
  table.of[0] = kNulByte;
  return table;
}();

uint8_t ByteClass(char c) { return kByteClasses.of[static_cast<unsigned char>(c)]; }

void PollBvhAbort(int64_t done) {
  ImportIoProgress progress = {40, done, 2 * static_cast<int64_t>(importState.inputFileSize), {0, 0}};
  if (Import_IO_Check_For_Abort(&progress) != 0) JumpToImportTrap();
}

// Motion values read straight into the frame arrays by the frame plan: plain
// decimals that end inside the block, from the start of a frame on, for as
// long as the frames have arrays. Stops at the first token it leaves to the
// general path (or at the end of the data) and answers where that lies; the
// reader's frame, value index, joints' fill, progress and polls are exactly
// as the general path leaves them after the same tokens.
size_t ReadBvhMotionValues(size_t position, int64_t& bytesRead, int& countdown) {
  int64_t frame = bvhReader.frameIndex;
  const int64_t frameLimit = bvhReader.frameCount < bvhReader.arrayFrames ? bvhReader.frameCount : bvhReader.arrayFrames;
  if (bvhReader.valueIndex != 0 || frame >= frameLimit || !MakeBvhFramePlan()) return position;
  float* const* plan = bvhReader.framePlan;
  const int32_t perFrame = bvhReader.totalChannels;
  int32_t index = 0;
  for (;;) {
    while (ByteClass(readBlock[position]) == kSpaceByte) ++position;
    double value = 0.0;
    const size_t length = ScanPlainDecimal(readBlock + position, &value);
    // The block's closing NUL is no separator: a number there may run on.
    if (length == 0 || ByteClass(readBlock[position + length]) != kSpaceByte) break;
    if (float* array = plan[index]) array[frame] = static_cast<float>(value);
    position += length + 1;
    bytesRead += static_cast<int64_t>(length);
    if (++index == perFrame) {
      index = 0;
      ++frame;
    }
    if (--countdown == 0) {
      countdown = kAbortPollTokens;
      PollBvhAbort(bytesRead);
    }
    if (index == 0 && frame >= frameLimit) break;
  }
  bvhReader.frameIndex = frame;
  bvhReader.valueIndex = index;
  if (index != 0) ReplayBvhFramePlacement(index);
  return position;
}

// Feeds every whitespace-delimited token of the file to the reader, with an
// abort poll every 40 tokens. Returns at the end of the file or at a fatal error.
void ReadBvhTokens() {
  FILE* file = importState.inputFile;
  int64_t bytesRead = 0;
  int countdown = kAbortPollTokens;
  size_t position = 0;
  size_t end = 0;
  bool atEnd = false;
  readBlock[0] = '\0';
  for (;;) {
    while (ByteClass(readBlock[position]) == kSpaceByte) ++position;
    if (position == end) {
      if (atEnd) return;
      end = std::fread(readBlock, 1, kReadBlockSize, file);
      readBlock[end] = '\0';
      position = 0;
      if (end == 0) return;
      continue;
    }
    if (bvhReader.state == kMotionData) {
      const size_t before = position;
      position = ReadBvhMotionValues(position, bytesRead, countdown);
      if (importState.fatal != 0) return;
      if (position != before) continue;
    }
    size_t start = position;
    bool holdsNul = false;
    for (;;) {
      while (ByteClass(readBlock[position]) == kTokenByte) ++position;
      if (position < end && readBlock[position] == '\0') {
        holdsNul = true;
        ++position;
        continue;
      }
      if (position < end || atEnd || position - start > static_cast<size_t>(kBvhMaxTokenLength)) break;
      // The token runs on into the next block: move it to the front and read on.
      size_t have = end - start;
      std::memmove(readBlock, readBlock + start, have);
      start = 0;
      position = have;
      size_t got = std::fread(readBlock + have, 1, kReadBlockSize - have, file);
      end = have + got;
      readBlock[end] = '\0';
      if (got == 0) atEnd = true;
    }
    size_t length = position - start;
    if (length > static_cast<size_t>(kBvhMaxTokenLength)) {
      Import_IO_printf("Fatal Error: token longer than %d characters found. Aborting.\n", kBvhMaxTokenLength);
      importState.fatal = 1;
      return;
    }
    readBlock[position] = '\0';
    if (position < end) ++position;  // the separator, now the terminator

    // What the reader and the progress see of a token ends at its first NUL.
    if (holdsNul) length = std::strlen(readBlock + start);
    ParseBvhToken(readBlock + start, length);
    bytesRead += static_cast<int64_t>(length);
    if (--countdown == 0) {
      countdown = kAbortPollTokens;
      PollBvhAbort(bytesRead);
    }
    if (importState.fatal != 0) return;
  }
}

// 1 / frame time, truncated; a time of 0, a tiny or an infinite one has no
// integer rate, and then the host's validation picks one.
int32_t BvhFrameRateFromTime(float frameTime) {
  float rate = 1.0f / frameTime;
  if (std::isfinite(rate) && rate < 2147483648.0f && rate > -2147483648.0f) return static_cast<int32_t>(rate);
  Import_IO_printf("Warning: Frame time %g gives no usable frame rate.\n", static_cast<double>(frameTime));
  return 0;
}

// Frames with values to key: those of the count that have arrays. Arrays
// made before the count (a frame time ahead of "Frames:") hold none.
int64_t BvhFramesToKey() {
  if (bvhReader.frameCount <= 0) return 0;
  if (!bvhReader.arraysMade) {
    Import_IO_printf("Warning: Missing frame time. No motion imported.\n");
    return 0;
  }
  if (bvhReader.arrayFrames == 0) {
    Import_IO_printf("Warning: Frame Time: comes before Frames:. No motion imported.\n");
  }
  return bvhReader.frameCount < bvhReader.arrayFrames ? bvhReader.frameCount : bvhReader.arrayFrames;
}

void WriteBvhChannels() {
  int64_t frames = BvhFramesToKey();
  int32_t fileSize = importState.inputFileSize;
  // Without channel names progress cannot advance per channel; it stays at half.
  float progressStep = bvhReader.totalChannels > 0 ? static_cast<float>(fileSize / bvhReader.totalChannels) : 0.0f;
  int32_t channelsDone = 0;
  int nodesDone = 0;
  for (BvhChannelNode* node = bvhReader.motionHead; node != nullptr; node = node->next) {
    bvhReader.motionCursor = node;
    // Every joint gets its channels, Euler order and rest keys once frames are claimed.
    if (bvhReader.frameCount > 0) WriteBvhJointChannels(node, frames);
    // Its keys are in the host now; giving the values back keeps the peak low.
    FreeBvhBlock(node->arrays);
    node->arrays = nullptr;
    node->slotCount = 0;
    channelsDone += node->joint->channelCount;
    if (++nodesDone % kAbortPollNodes == 0) {
      float done = static_cast<float>(channelsDone) * progressStep + static_cast<float>(fileSize);
      PollBvhAbort(static_cast<int64_t>(done));
    }
  }
}

void ResetBvhReader() {
  bvhReader = BvhReader{};
  bvhReader.state = kStart;
  bvhReader.frameTime = kDefaultFrameTime;
}

}  // namespace

// -- Entry points

int16_t IsNumberToken(const char* text) {
  const char* p = text;
  if (!IsDigit(*p) && *p != '+' && *p != '-' && *p != '.') return 0;
  if (!IsDigit(*p)) ++p;
  bool exponentSeen = false;
  for (; *p != '\0'; ++p) {
    if (IsDigit(*p) || *p == '.') continue;
    if (*p != 'e' || exponentSeen) return 0;
    char next = p[1];
    if (next != '+' && next != '-' && !IsDigit(next)) return 0;
    exponentSeen = true;
    ++p;
  }
  return 1;
}

void ResetBvhParseState() { bvhReader.state = kStart; }

void ImportBvh() {
  // Each import starts from an empty reader; only the parse state the driver set survives.
  BvhParseState state = bvhReader.state;
  ReleaseBvhModel();
  bvhReader.state = state;
  bvhReader.baseName = importState.baseName != nullptr ? importState.baseName : "";

  ReadBvhTokens();
  if (importState.fatal != 0) {
    ReleaseBvhModel();
    return;
  }
  bvhReader.current = bvhReader.top;
  if (bvhReader.top == nullptr) {
    FailBvhImport("Fatal Error: No joints to import. Aborting.\n");
    ReleaseBvhModel();
    return;
  }
  BuildBvhSkeleton(bvhReader.top);
  Import_IO_Display_Info_Text("Setting Animation Channels");
  bvhReader.motionCursor = bvhReader.motionHead;
  bvhReader.frameRate = BvhFrameRateFromTime(bvhReader.frameTime);
  Sg_ValidateFrameRate(&bvhReader.frameRate);
  Sg_Animation(Token("framerate"), &bvhReader.frameRate, kSgOne, kSgEnd);
  WriteBvhChannels();
  ReleaseBvhModel();
}

void ReleaseBvhModel() {
  FreeAllBvhBlocks();
  ResetBvhReader();
}
