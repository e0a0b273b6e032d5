// Acclaim AMC import: reads the motion file beside the ASF skeleton into the
// bones' sample arrays (pre-scan for the frame count, then one pass), then
// writes each bone's keys through its axis frame onto the built instances.
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "acclaim_model.h"
#include "bvh.h"
#include "channels.h"
#include "frame.h"

namespace {

// -- Reader state

struct AmcReader {
  // Turns the file's angles into radians. Only a unit keyword changes it, so
  // a file without one is read in the unit of the previous file.
  float angleUnitFactor;
  AsfBone* currentBone;
  int32_t frameIndex;
  int32_t valueIndex;
  int32_t skipRestOfLine;
  int32_t sampleRatePending;
  int32_t frameCount;
  int32_t fileSize;
  int32_t consumed;
  int32_t tokensUntilPoll;
  int64_t ignoredValues;  // values with no slot in the samples
};
static_assert(std::is_trivially_destructible_v<AmcReader>);

AmcReader amcReader = {1.0f, nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0};
AcclaimCharSource amcSource;

struct AmcChannelPass {
  int32_t frameRate;
  int32_t startTime;
  int32_t endTime;
  int32_t dofProgress;
  float perDofShare;
  int32_t progressBase;
  // Every bone keys the same frames: the first bone to key them works out
  // their times (and gives any warning about them), the others read them.
  int32_t* frameTimes;
  int32_t frameTimesKnown;
};
AmcChannelPass amcPass;

constexpr float kDegreesToRadians = 0.017453292f;
constexpr int32_t kFallbackFrameRate = 30;

SgToken Tok(const char* word) { return Sg_Inquire_Token(word); }

// -- Tokens

struct AmcToken {
  char text[kAcclaimTokenMax + 1];
  char lowercase[kAcclaimTokenMax + 1];  // filled only when text has capitals
  const char* folded;                    // lowercase, or text when it has none
  int32_t stored;                        // characters in text
  int32_t length;                        // characters in the file, also beyond the stored ones
  int32_t endedLine;
};

// One fetch: the next non-empty token, or nothing when an empty token ends
// the line or the file ends. Returns the progress units the fetch consumed:
// every character but the separator that ends a token, and one for the end
// of the file when it ends an empty fetch. Runs of the buffer are scanned in
// place rather than a character at a time.
int32_t FetchAmcToken(AmcToken& token) {
  AcclaimCharSource& source = amcSource;
  int32_t units = 0;
  int32_t length = 0;
  int32_t stored = 0;
  bool capitals = false;
  token.endedLine = 0;
  for (;;) {
    if (source.position == source.length && !AcclaimRefill(source)) {
      token.endedLine = 1;
      if (length == 0) units++;
      break;
    }
    const unsigned char* buffer = source.buffer;
    size_t at = source.position;
    const size_t end = source.length;
    if (length == 0) {
      while (at < end && kAcclaimSeparator.is[buffer[at]]) {
        units++;
        if (IsAcclaimLineEnd(buffer[at++])) {
          token.endedLine = 1;
          break;
        }
      }
      source.position = at;
      if (token.endedLine) break;
      if (at == end) continue;
    }
    // Copied as scanned. Past the store's room the characters are only counted:
    // they land on the terminator's slot, written last.
    const size_t start = at;
    for (; at < end && !kAcclaimSeparator.is[buffer[at]]; at++) {
      const char c = static_cast<char>(buffer[at]);
      capitals |= c >= 'A' && c <= 'Z';
      token.text[stored] = c;
      stored += stored < kAcclaimTokenMax;
    }
    length += static_cast<int32_t>(at - start);
    if (at == end) {
      source.position = at;
      continue;
    }
    if (IsAcclaimLineEnd(buffer[at])) token.endedLine = 1;
    source.position = at + 1;
    break;
  }
  token.text[stored] = '\0';
  token.folded = token.text;
  if (capitals) {
    for (int32_t k = 0; k <= stored; k++) token.lowercase[k] = AcclaimLower(token.text[k]);
    token.folded = token.lowercase;
  }
  token.stored = stored;
  token.length = length;
  return units + length;
}

void RewindAmcSource() {
  fseek(amcSource.file, 0, SEEK_SET);
  AcclaimAttachSource(amcSource, amcSource.file);
}

// -- Values

// Converts a plain decimal with few digits exactly as atof does, rounded to
// single precision: the mantissa and the power of ten are both exact doubles,
// so one operation rounds correctly. False for anything else, which atof
// itself converts. Whatever it takes is also a number token.
bool ConvertPlainAmcValue(const char* text, float* result) {
  static const double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                   1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                   1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
  const char* at = text;
  bool negative = false;
  if (*at == '-' || *at == '+') negative = *at++ == '-';
  uint64_t mantissa = 0;
  int digits = 0;
  int significant = 0;
  int exponent = 0;
  for (; *at >= '0' && *at <= '9'; at++, digits++) {
    if (mantissa == 0 && *at == '0') continue;
    mantissa = mantissa * 10 + static_cast<uint64_t>(*at - '0');
    significant++;
  }
  if (*at == '.') {
    for (at++; *at >= '0' && *at <= '9'; at++, digits++) {
      exponent--;
      if (mantissa == 0 && *at == '0') continue;
      mantissa = mantissa * 10 + static_cast<uint64_t>(*at - '0');
      significant++;
    }
  }
  if (digits > 0 && *at == 'e') {
    const char* exponentText = at + 1;
    bool exponentNegative = false;
    if (*exponentText == '-' || *exponentText == '+') exponentNegative = *exponentText++ == '-';
    int written = 0;
    int exponentDigits = 0;
    for (; *exponentText >= '0' && *exponentText <= '9' && exponentDigits < 6; exponentText++, exponentDigits++) {
      written = written * 10 + (*exponentText - '0');
    }
    if (exponentDigits > 0 && exponentDigits < 6) {
      exponent += exponentNegative ? -written : written;
      at = exponentText;
    }
  }
  if (digits == 0 || *at != '\0' || significant > 15 || exponent < -22 || exponent > 22) return false;
  double value = static_cast<double>(mantissa);
  value = exponent < 0 ? value / kPowers[-exponent] : value * kPowers[exponent];
  *result = static_cast<float>(negative ? -value : value);
  return true;
}

// -- Reading

AsfBone* FindAmcBone(const char* name, int32_t length) {
  // Motion files name their bones in the same order in every frame; try the
  // bone that followed this one last time before walking the list.
  AsfBone* previous = amcReader.currentBone;
  AsfBone* guess = previous ? previous->amcSuccessor : nullptr;
  if (guess && guess->firstOfName && guess->nameLength == length && memcmp(guess->name, name, length) == 0) {
    return guess;
  }
  AsfBone* found = FindAsfBone(name);
  if (found && previous) previous->amcSuccessor = found;
  return found;
}

// plain: the value when ConvertPlainAmcValue took the text, else null.
void StoreAmcValue(const char* lowercase, const float* plain) {
  AsfBone* bone = amcReader.currentBone;
  int32_t entry = amcReader.valueIndex;
  int32_t frame = amcReader.frameIndex;
  amcReader.valueIndex = entry < INT32_MAX ? entry + 1 : entry;
  if (!bone || !bone->samples || entry >= bone->dofCount || frame < 0 || frame >= amcReader.frameCount) {
    amcReader.ignoredValues++;
    return;
  }
  bone->samples[entry][frame] = plain ? *plain : static_cast<float>(atof(lowercase));
}

void ParseAmcToken(const AmcToken& token, int32_t firstOnLine) {
  const char* lowercase = token.folded;
  const char* asWritten = token.text;
  if (lowercase[0] == '#') {
    amcReader.skipRestOfLine = 1;
    amcReader.sampleRatePending = 0;
    return;
  }
  if (lowercase[0] == ':') {
    if (strcmp(lowercase, ":degrees") == 0) {
      amcReader.angleUnitFactor = kDegreesToRadians;
      amcReader.sampleRatePending = 0;
      return;
    }
    if (strcmp(lowercase, ":radians") == 0) {
      amcReader.angleUnitFactor = 1.0f;
      amcReader.sampleRatePending = 0;
      return;
    }
    if (strcmp(lowercase, ":fully-specified") == 0) {
      amcReader.sampleRatePending = 0;
      return;
    }
    if (strcmp(lowercase, ":samples-per-second") == 0) {
      amcReader.sampleRatePending = 1;
      return;
    }
  }
  float value = 0.0f;
  const bool plain = ConvertPlainAmcValue(lowercase, &value);
  if (plain || IsNumberToken(lowercase)) {
    if (amcReader.sampleRatePending) {
      amcReader.sampleRatePending = 0;
    } else if (firstOnLine) {
      // Frame numbers below 1 have no slot; the lowest one must not wrap round.
      int32_t frame = atoi(lowercase);
      amcReader.frameIndex = frame > 0 ? frame - 1 : -1;
    } else {
      StoreAmcValue(lowercase, plain ? &value : nullptr);
    }
    return;
  }
  if (lowercase[0] == 'r' && strcmp(lowercase, "root") == 0) {
    amcReader.currentBone = CurrentAsfModel().boneHead;
    return;
  }
  AsfBone* bone = FindAmcBone(asWritten, token.stored);
  if (!bone) {
    Import_IO_printf("Fatal Error: Undefined bone encountered: %s. Aborting. \n", asWritten);
    importState.fatal = 1;
    return;
  }
  amcReader.currentBone = bone;
}

}  // namespace

namespace {

// The frame count's scan: only the first token of a line can be a frame
// number, and the count is the last one.
struct AmcFrameScan {
  bool atLineStart;
  bool inToken;
  bool found;  // some line began with a number
  int stored;
  char lowercase[kAcclaimTokenMax + 1];
};
static_assert(std::is_trivially_destructible_v<AmcFrameScan>);

void EndAmcFrameToken(AmcFrameScan& scan) {
  scan.lowercase[scan.stored] = '\0';
  scan.inToken = false;
  if (!IsNumberToken(scan.lowercase)) return;
  amcReader.frameCount = atoi(scan.lowercase);
  scan.found = true;
}

// Goes on with the scan over buffer[at, end); a token may go on into the next block.
void ScanAmcFrameLines(AmcFrameScan& scan, const unsigned char* buffer, size_t at, size_t end) {
  while (at < end) {
    if (!scan.inToken && !scan.atLineStart) {
      // The rest of the line holds no frame number: skip to its end.
      const size_t rest = end - at;
      const void* feed = memchr(buffer + at, '\n', rest);
      const size_t toFeed = feed ? static_cast<size_t>(static_cast<const unsigned char*>(feed) - (buffer + at)) : rest;
      const void* carriage = memchr(buffer + at, '\r', toFeed);
      at += carriage ? static_cast<size_t>(static_cast<const unsigned char*>(carriage) - (buffer + at)) : toFeed;
      if (at == end) break;
    }
    const unsigned char c = buffer[at++];
    if (scan.inToken) {
      if (!kAcclaimSeparator.is[c]) {
        if (scan.stored < kAcclaimTokenMax) scan.lowercase[scan.stored++] = AcclaimLower(static_cast<char>(c));
        continue;
      }
      EndAmcFrameToken(scan);
      scan.atLineStart = IsAcclaimLineEnd(c);
      continue;
    }
    if (IsAcclaimLineEnd(c)) {
      scan.atLineStart = true;
      continue;
    }
    if (kAcclaimSeparator.is[c]) continue;
    scan.inToken = true;
    scan.stored = 0;
    scan.lowercase[scan.stored++] = AcclaimLower(static_cast<char>(c));
  }
}

// The frame count from the last block of the file alone, read from its first
// line start on; false when no line there begins with a number.
bool CountAmcFramesInLastBlock(long size) {
  AcclaimCharSource& source = amcSource;
  const size_t block = sizeof source.buffer;
  if (size <= static_cast<long>(block) || fseek(source.file, size - static_cast<long>(block), SEEK_SET) != 0 ||
      fread(source.buffer, 1, block, source.file) != block) {
    return false;
  }
  size_t start = 0;
  while (start < block && !IsAcclaimLineEnd(source.buffer[start])) start++;
  AmcFrameScan scan{};
  scan.atLineStart = true;
  ScanAmcFrameLines(scan, source.buffer, start, block);
  if (scan.inToken) EndAmcFrameToken(scan);
  return scan.found;
}

}  // namespace

void CountAmcFrames(long size) {
  // The last block usually holds the last frame number; the whole file is
  // read only when it does not.
  amcReader.frameCount = 0;
  if (!CountAmcFramesInLastBlock(size)) {
    amcReader.frameCount = 0;
    RewindAmcSource();
    AmcFrameScan scan{};
    scan.atLineStart = true;
    while (AcclaimRefill(amcSource)) ScanAmcFrameLines(scan, amcSource.buffer, 0, amcSource.length);
    if (scan.inToken) EndAmcFrameToken(scan);
  }
  RewindAmcSource();
}

void SetAmcAnimationChannels();

namespace {

void PollAmcReading() {
  ImportIoProgress progress{40, amcReader.consumed, 2 * static_cast<int64_t>(amcReader.fileSize), {0, 0}};
  if (Import_IO_Check_For_Abort(&progress)) JumpToImportTrap();
}

void AllocateAmcSamples() {
  for (AsfBone* bone = CurrentAsfModel().boneHead; bone; bone = bone->next) {
    bone->samples = nullptr;
    bone->amcSuccessor = nullptr;
    bone->firstOfName = FindAsfBone(bone->name) == bone;
    bone->nameLength = static_cast<int32_t>(strlen(bone->name));
    if (bone->dofCount <= 0) continue;
    bone->samples = static_cast<float**>(AcclaimAllocate(sizeof(float*) * bone->dofCount));
    if (amcReader.frameCount <= 0) continue;
    for (int32_t j = 0; j < bone->dofCount; j++) {
      bone->samples[j] = static_cast<float*>(AcclaimAllocate(sizeof(float) * amcReader.frameCount));
    }
  }
}

}  // namespace

void ReadAmcMotion(FILE* file) {
  amcReader.frameCount = 0;
  AcclaimAttachSource(amcSource, file);
  fseek(file, 0, SEEK_END);
  long size = ftell(file);
  amcReader.fileSize = static_cast<int32_t>(size);
  RewindAmcSource();

  CountAmcFrames(size);
  if (amcReader.frameCount < 0) amcReader.frameCount = 0;
  // The frame count is the last frame number, however few frames the file
  // lists (a take cut from a longer one starts high); only a count whose
  // arrays pass the limit is refused, as damage rather than motion.
  int64_t slotsPerFrame = 0;
  for (AsfBone* bone = CurrentAsfModel().boneHead; bone; bone = bone->next) slotsPerFrame += bone->dofCount + 3;
  if (slotsPerFrame > 0 && amcReader.frameCount > kAmcSampleLimit / static_cast<int64_t>(sizeof(float)) / slotsPerFrame) {
    Import_IO_printf("Fatal Error: The last frame number %ld needs more than %ld MB of motion samples. Aborting. \n",
                     static_cast<long>(amcReader.frameCount), static_cast<long>(kAmcSampleLimit >> 20));
    importState.fatal = 1;
    return;
  }
  AllocateAmcSamples();

  amcReader.currentBone = CurrentAsfModel().boneHead;
  amcReader.frameIndex = 0;
  amcReader.valueIndex = 0;
  amcReader.consumed = 0;
  amcReader.skipRestOfLine = 0;
  amcReader.sampleRatePending = 0;
  amcReader.tokensUntilPoll = 40;
  amcReader.ignoredValues = 0;
  Import_IO_Display_Info_Text("Reading AMC Data");

  AmcToken token;
  int32_t firstOnLine = 1;
  while (!amcSource.atEnd) {
    amcReader.consumed += FetchAmcToken(token);
    if (token.length > 0) {
      amcReader.tokensUntilPoll--;
      if (!amcReader.skipRestOfLine) {
        if (token.length > kAcclaimTokenMax && token.text[0] != '#') {
          Import_IO_printf("Warning: A token longer than 111 characters was cut to %s\n", token.text);
        }
        ParseAmcToken(token, firstOnLine);
      }
    }
    if (token.endedLine) {
      amcReader.skipRestOfLine = 0;
      amcReader.valueIndex = 0;
    }
    firstOnLine = token.endedLine;
    if (amcReader.tokensUntilPoll <= 0) {
      PollAmcReading();
      amcReader.tokensUntilPoll = 40;
    }
    if (importState.fatal) return;
  }
  if (amcReader.ignoredValues > 0) {
    Import_IO_printf("Warning: %lld motion values were ignored: their frame number lies outside 1 to %ld,"
                     " or their line has more values than the bone has DOF entries.\n",
                     static_cast<long long>(amcReader.ignoredValues), static_cast<long>(amcReader.frameCount));
  }
  SetAmcAnimationChannels();
}

void ReleaseAmcReader() {
  float angleUnitFactor = amcReader.angleUnitFactor;
  amcReader = AmcReader{};
  amcReader.angleUnitFactor = angleUnitFactor;
  AcclaimAttachSource(amcSource, nullptr);
}

// -- Channels

namespace {

struct RotationOrder {
  const char* letters;
  int32_t eulerOrderCode;   // the instance's "eulerorder"
  int32_t matrixOrderCode;  // the Euler record's and Sg_Matrix2Euler's
};
constexpr RotationOrder kRotationOrders[] = {
    {"xyz", 0, 0}, {"xzy", 2, 4}, {"yzx", 4, 8}, {"yxz", 6, 12}, {"zxy", 8, 16}, {"zyx", 10, 20},
};
// What a bone whose rotational DOFs repeat an axis, or list more than three,
// is read in: the instance order such bones get, so the keys rebuild the
// rotation the decomposition saw.
constexpr RotationOrder kIrregularOrder = {"yxz", 6, 12};

int32_t MatrixOrderOfAxis(int32_t axisOrder) {
  return axisOrder >= kAxisXyz && axisOrder <= kAxisZyx ? (axisOrder - 1) * 4 : 0;
}

RotationOrder BoneRotationOrder(const AsfBone* bone) {
  char letters[kAsfMaxDofs + 4] = {};
  int count = 0;
  bool used[3] = {false, false, false};
  for (int32_t j = 0; j < bone->dofCount; j++) {
    int32_t code = bone->dofs[j];
    if (code >= kDofTx && code <= kDofLength) amcPass.dofProgress++;
    if (code >= kDofRx && code <= kDofRz) {
      letters[count++] = static_cast<char>('x' + (code - kDofRx));
      used[code - kDofRx] = true;
    }
  }
  for (int axis = 0; axis < 3 && count < 3; axis++) {
    if (!used[axis]) letters[count++] = static_cast<char>('x' + axis);
  }
  for (const RotationOrder& order : kRotationOrders) {
    if (strcmp(order.letters, letters) == 0) return order;
  }
  Import_IO_printf("Warning: The rotational DOFs of bone %s repeat an axis or number more than three;"
                   " its rotations are read in the order yxz.\n",
                   bone->name);
  return kIrregularOrder;
}

int16_t CountKey(int16_t count) { return count < INT16_MAX ? static_cast<int16_t>(count + 1) : count; }

// Writes one node's channels; false when the host gave it no channel table,
// so that its subtree is left alone.
bool WriteAmcBoneChannels(const AsfNode* node) {
  AsfBone* bone = node->bone;
  const char* name = bone->hostName;
  Sg_AddDefaultAnimationChannels(Tok("instance"), name, Tok("all"), kSgEnd);
  Sg_Instance(name, Tok("replacechannels"), Tok("eulerrotate"), kSgEnd);
  RotationOrder order = BoneRotationOrder(bone);
  int32_t eulerOrderCode = order.eulerOrderCode;
  Sg_Instance(name, Tok("eulerorder"), &eulerOrderCode, kSgEnd);
  void* table[kDefaultChannelTableSize] = {};
  if (!Import_IO_Get_DefaultAnimationChannelPtrs(name, table)) return false;

  AsfModelView model = CurrentAsfModel();
  float offset[3] = {0, 0, 0};
  if (node->parent) {
    const AsfBone* parent = node->parent->bone;
    for (int i = 0; i < 3; i++) offset[i] = (parent->length * parent->direction[i]) * model.unitLength;
  }
  for (int i = 0; i < 3; i++) AddChannelKeyframe(table[10 + i], 0, offset[i]);

  float factor = amcReader.angleUnitFactor;
  float axis[3] = {factor * bone->axis[0], factor * bone->axis[1], factor * bone->axis[2]};
  // An angle too large for a float is no rotation: the axis frame would hold
  // no numbers and have no inverse.
  if (!std::isfinite(axis[0]) || !std::isfinite(axis[1]) || !std::isfinite(axis[2])) {
    Import_IO_printf("Warning: Bone %s has an axis angle out of range; its axis is taken as 0 0 0.\n", bone->name);
    axis[0] = axis[1] = axis[2] = 0.0f;
  }
  SgEuler axisRecord{{axis[0], axis[1], axis[2], static_cast<double>(MatrixOrderOfAxis(bone->axisOrder))}};
  SgMatrix axisFrame;
  SgMatrix axisFrameInverse;
  Sg_Euler2Matrix(&axisRecord, &axisFrame);
  Sg_Matrix_Invert(&axisFrame, &axisFrameInverse);
  bool turnedAxis = !(axis[0] == 0.0f && axis[1] == 0.0f && axis[2] == 0.0f);

  int16_t counts[6] = {0, 0, 0, 0, 0, 0};
  int32_t* frameTimes = amcPass.frameTimes;
  const bool timesKnown = amcPass.frameTimesKnown;
  for (int32_t f = 0; f < amcReader.frameCount; f++) {
    int32_t time = timesKnown ? frameTimes[f] : (frameTimes[f] = FrameKeyTime(f, amcPass.frameRate));
    SgEuler euler{{0.0, 0.0, 0.0, static_cast<double>(order.matrixOrderCode)}};
    for (int32_t j = 0; j < bone->dofCount; j++) {
      int32_t code = bone->dofs[j];
      float value = bone->samples[j][f];
      if (code >= kDofTx && code <= kDofTz) {
        int i = code - kDofTx;
        AddChannelKeyframe(table[10 + i], time, value + offset[i]);
        counts[i] = CountKey(counts[i]);
      } else if (code >= kDofRx && code <= kDofRz) {
        int i = code - kDofRx;
        euler.v[i] = factor * value;
        counts[3 + i] = CountKey(counts[3 + i]);
      }
    }
    if (turnedAxis) {
      SgMatrix rotation;
      Sg_Euler2Matrix(&euler, &rotation);
      Sg_Matrix_Multiply(1, &rotation, &axisFrameInverse, &rotation);
      Sg_Matrix_Multiply(1, &axisFrame, &rotation, &rotation);
      Sg_Matrix2Euler(&rotation, order.matrixOrderCode, &euler);
    }
    for (int i = 0; i < 3; i++) AddChannelKeyframe(table[16 + i], time, static_cast<float>(euler.v[i]));
  }
  amcPass.frameTimesKnown = 1;

  Import_IO_OptimizeTransformationChannels(name);
  if (importOptions.reduceTranslation) {
    for (int i = 0; i < 3; i++) {
      if (counts[i] > 1 && table[10 + i]) SetChannelKeyReduction(0, table[10 + i]);
    }
  }
  if (importOptions.reduceRotation) {
    for (int i = 0; i < 3; i++) {
      if (counts[3 + i] > 1) SetChannelKeyReduction(1, table[16 + i]);
    }
  }
  float done = static_cast<float>(amcPass.dofProgress) * amcPass.perDofShare + static_cast<float>(amcPass.progressBase);
  ImportIoProgress progress{40, static_cast<int64_t>(done), 2 * static_cast<int64_t>(amcReader.fileSize), {0, 0}};
  if (Import_IO_Check_For_Abort(&progress)) JumpToImportTrap();
  return true;
}

}  // namespace

void WriteAmcNodeChannels(AsfNode* node) {
  // Depth first, a node before its children, without recursion.
  AsfNode* at = node;
  while (at) {
    bool visitChildren = WriteAmcBoneChannels(at);
    if (visitChildren && at->firstChild) {
      at = at->firstChild;
      continue;
    }
    while (at && at != node && !at->nextSibling) at = at->parent;
    at = (at && at != node) ? at->nextSibling : nullptr;
  }
}

void SetAmcAnimationChannels() {
  Import_IO_Display_Info_Text("Setting animation channels");
  amcPass = AmcChannelPass{};
  Sg_Inquire_Animation(Tok("starttime"), &amcPass.startTime, kSgOne, Tok("endtime"), &amcPass.endTime, kSgOne,
                       Tok("framerate"), &amcPass.frameRate, kSgOne, kSgEnd);
  if (amcPass.frameRate <= 0) {
    Import_IO_printf("Warning: The scene's frame rate is %ld; the motion is keyed at %ld frames per second.\n",
                     static_cast<long>(amcPass.frameRate), static_cast<long>(kFallbackFrameRate));
    amcPass.frameRate = kFallbackFrameRate;
  }
  if (amcReader.frameCount > 0) {
    amcPass.frameTimes = static_cast<int32_t*>(AcclaimAllocate(sizeof(int32_t) * amcReader.frameCount));
  }
  AsfModelView model = CurrentAsfModel();
  amcPass.dofProgress = 0;
  amcPass.progressBase = amcReader.fileSize;
  // Without any bone DOF the channel pass has no share to spread.
  amcPass.perDofShare = model.dofTokenCount > 0
                            ? static_cast<float>(amcReader.fileSize) / static_cast<float>(model.dofTokenCount)
                            : 0.0f;
  WriteAmcNodeChannels(model.rootNode);
}
