// Acclaim ASF import: reads the skeleton file the driver opened into bone
// records and a hierarchy tree, closes every chain with an end effector, builds
// the instances, runs the AMC side and attaches the instances to their parents.
#include "acclaim.h"

#include <cstdlib>
#include <cstring>

#include "acclaim_model.h"
#include "bvh.h"
#include "frame.h"

namespace {

// -- Parse states

enum AsfParseState : int32_t {
  kStart = 0, kComment = 1, kUnits = 2, kRoot = 3, kVersion = 4, kVersionDone = 5,
  kSkeletonName = 6, kSkeletonNameDone = 7, kMass = 8, kUnitLength = 9, kAngle = 10,
  kMassDone = 11, kUnitLengthDone = 12, kAngleDone = 13, kDocumentation = 14,
  kRootAxis = 15, kRootAxisDone = 16, kRootOrder = 17, kRootOrderDone = 18,
  kPositionX = 19, kPositionY = 20, kPositionZ = 21, kPositionDone = 22,
  kOrientationX = 23, kOrientationY = 24, kOrientationZ = 25, kOrientationDone = 26,
  kBoneData = 27, kBegin = 28, kId = 29, kIdDone = 30, kBoneName = 31, kBoneNameDone = 32,
  kDirectionX = 33, kDirectionY = 34, kDirectionZ = 35, kDirectionDone = 36,
  kBoneLength = 37, kBoneLengthDone = 38, kAxisX = 39, kAxisY = 40, kAxisZ = 41,
  kAxisDone = 42, kAxisOrderDone = 43, kEnd = 44, kDofList = 45, kDofListDone = 46,
  kLimitMin = 47, kLimitMax = 49, kHierarchy = 50, kHierarchyLines = 51, kSkin = 52,
};

enum AsfAngleUnit : int32_t { kDegrees = 0, kRadians = 1 };

struct AsfReader {
  AsfBone* boneHead;
  AsfBone* currentBone;
  AsfNode* rootNode;
  AsfNode* currentNode;
  int32_t state;
  char* skeletonName;
  float mass;
  float unitLength;
  int32_t angleUnit;
  int32_t rootAxisOrder;
  float rootPosition[3];
  float rootOrientation[3];
  int32_t rootOrder[kAsfMaxRootOrder];
  int32_t rootOrderCount;
  int32_t dofTokenCount;
  char* skinFiles[kAsfMaxSkinFiles];
  int32_t skinFileCount;
  int32_t lineNumber;
  int32_t charCount;
  int32_t skippingLine;  // the rest of the line follows a comment
  FILE* amcFile;         // open while the AMC side runs
};
static_assert(std::is_trivially_destructible_v<AsfReader>);

AsfReader asfReader;
AcclaimCharSource asfSource;

// -- Arena

struct ArenaBlock {
  ArenaBlock* next;
  size_t size;
  size_t used;
};
constexpr size_t kArenaBlockSize = 64 * 1024;
constexpr size_t kArenaHeader = (sizeof(ArenaBlock) + 15) & ~size_t{15};

struct AcclaimArena {
  ArenaBlock* blocks;  // the block being filled first
};
AcclaimArena acclaimArena;

SgToken Tok(const char* word) { return Sg_Inquire_Token(word); }
void* OnOff(bool on) { return Tok(on ? "on" : "off"); }

}  // namespace

void* AcclaimAllocate(size_t bytes) {
  bytes = (bytes + 15) & ~size_t{15};
  ArenaBlock* block = acclaimArena.blocks;
  if (bytes > kArenaBlockSize / 4) {
    // Large arrays (motion samples) get a block of their own, kept behind the
    // current one so the small allocations go on filling it.
    auto* own = static_cast<ArenaBlock*>(calloc(1, kArenaHeader + bytes));
    if (!own) abort();
    own->size = bytes;
    own->used = bytes;
    if (block) {
      own->next = block->next;
      block->next = own;
    } else {
      acclaimArena.blocks = own;
    }
    return reinterpret_cast<char*>(own) + kArenaHeader;
  }
  if (!block || block->size - block->used < bytes) {
    auto* fresh = static_cast<ArenaBlock*>(calloc(1, kArenaHeader + kArenaBlockSize));
    if (!fresh) abort();
    fresh->size = kArenaBlockSize;
    fresh->next = block;
    acclaimArena.blocks = fresh;
    block = fresh;
  }
  void* memory = reinterpret_cast<char*>(block) + kArenaHeader + block->used;
  block->used += bytes;
  return memory;
}

void AcclaimReleaseArena() {
  ArenaBlock* block = acclaimArena.blocks;
  while (block) {
    ArenaBlock* next = block->next;
    free(block);
    block = next;
  }
  acclaimArena.blocks = nullptr;
}

namespace {

char* CopyString(const char* text) {
  size_t length = strlen(text);
  auto* copy = static_cast<char*>(AcclaimAllocate(length + 1));
  memcpy(copy, text, length + 1);
  return copy;
}

AsfBone* NewBone(const char* name) {
  auto* bone = static_cast<AsfBone*>(AcclaimAllocate(sizeof(AsfBone)));
  bone->name = CopyString(name);
  bone->axisOrder = kAxisXyz;
  return bone;
}

AsfNode* NewNode(AsfBone* bone, AsfNode* parent) {
  auto* node = static_cast<AsfNode*>(AcclaimAllocate(sizeof(AsfNode)));
  node->bone = bone;
  node->parent = parent;
  return node;
}

void ResetAsfReader() {
  asfReader = AsfReader{};
  asfReader.skeletonName = CopyString("Default Skeleton");
  asfReader.mass = 1.0f;
  asfReader.unitLength = 1.0f;
  asfReader.angleUnit = kDegrees;
  asfReader.rootAxisOrder = kAxisXyz;
}

// -- Tree walks
//
// The walks follow parent links instead of recursing, so a deep chain of
// bones cannot exhaust the stack.

// The next node of a preorder walk of top's subtree after node's subtree.
AsfNode* NextSkippingChildren(AsfNode* node, const AsfNode* top) {
  while (node && node != top) {
    if (node->nextSibling) return node->nextSibling;
    node = node->parent;
  }
  return nullptr;
}

AsfNode* NextPreorder(AsfNode* node, const AsfNode* top) {
  if (node->firstChild) return node->firstChild;
  return NextSkippingChildren(node, top);
}

AsfNode* DeepestFirstChild(AsfNode* node) {
  while (node->firstChild) node = node->firstChild;
  return node;
}

void AppendChild(AsfNode* parent, AsfNode* child) {
  if (!parent->firstChild) {
    parent->firstChild = child;
    return;
  }
  AsfNode* last = parent->firstChild;
  while (last->nextSibling) last = last->nextSibling;
  last->nextSibling = child;
}

}  // namespace

AsfNode* FindAsfNode(AsfNode* node, const char* name) {
  for (AsfNode* at = node; at; at = NextPreorder(at, node)) {
    if (at->bone && at->bone->name && strcmp(at->bone->name, name) == 0) return at;
  }
  return nullptr;
}

AsfBone* FindAsfBone(const char* name) {
  for (AsfBone* bone = asfReader.boneHead; bone; bone = bone->next) {
    if (strcmp(bone->name, name) == 0) return bone;
  }
  return nullptr;
}

AsfModelView CurrentAsfModel() {
  return AsfModelView{asfReader.boneHead, asfReader.rootNode, asfReader.unitLength,
                      asfReader.dofTokenCount};
}

// -- ASF messages

namespace {

void ReportAsfFatal(const char* format, const char* argument) {
  Import_IO_printf(format, static_cast<long>(asfReader.lineNumber), argument);
  importState.fatal = 1;
}

// Reports the missing-bone error for WHAT unless a bone is current.
bool NeedAsfBone(const char* what) {
  if (asfReader.currentBone) return true;
  ReportAsfFatal("Line %ld: Fatal Error: Undefined bone encountered while trying to read %s"
                 " (Check for missing \"begin\" keyword). Aborting. \n",
                 what);
  return false;
}

void EchoAsfToken(const char* lowercase) { Import_IO_printf("%s", lowercase); }

// -- Root record

}  // namespace

void AddAsfRootBone() {
  // A later ":hierarchy" starts the tree anew; the bones of the old one may
  // be placed again.
  for (AsfBone* bone = asfReader.boneHead; bone; bone = bone->next) bone->inHierarchy = 0;
  AsfNode* node = NewNode(nullptr, nullptr);
  asfReader.rootNode = node;
  asfReader.currentNode = node;

  AsfBone* root = NewBone(asfReader.skeletonName);
  root->next = asfReader.boneHead;
  asfReader.boneHead = root;
  asfReader.currentBone = root;
  node->bone = root;

  root->isRoot = 1;
  root->inHierarchy = 1;
  memcpy(root->direction, asfReader.rootPosition, sizeof root->direction);
  memcpy(root->axis, asfReader.rootOrientation, sizeof root->axis);
  root->axisOrder = asfReader.rootAxisOrder;
  root->dofCount = asfReader.rootOrderCount;
  memcpy(root->dofs, asfReader.rootOrder, sizeof(int32_t) * asfReader.rootOrderCount);
}

namespace {

// -- Token rows

struct AsfWordCode {
  const char* word;
  int32_t code;
  const char* what;  // for the missing-bone message
};

constexpr AsfWordCode kDofWords[] = {
    {"tx", kDofTx, "bone's tx DOF token"}, {"ty", kDofTy, "bone's ty DOF token"},
    {"tz", kDofTz, "bone's tz DOF token"}, {"rx", kDofRx, "bone's rx DOF token"},
    {"ry", kDofRy, "bone's ry DOF token"}, {"rz", kDofRz, "bone's rz DOF token"},
};
constexpr AsfWordCode kAxisWords[] = {
    {"xyz", kAxisXyz, "bone's XYZ axis token"}, {"xzy", kAxisXzy, "bone's XZY axis token"},
    {"yzx", kAxisYzx, "bone's YZX axis token"}, {"yxz", kAxisYxz, "bone's YXZ axis token"},
    {"zxy", kAxisZxy, "bone's ZXY axis token"}, {"zyx", kAxisZyx, "bone's ZYX axis token"},
};

struct AsfKeyword {
  const char* word;
  int32_t next;
};
// Keywords whose whole effect is the next state.
constexpr AsfKeyword kStateKeywords[] = {
    {":version", kVersion}, {":name", kSkeletonName}, {":units", kUnits},
    {"mass", kMass}, {"angle", kAngle}, {":documentation", kDocumentation},
    {":root", kRoot}, {"order", kRootOrder}, {"position", kPositionX},
    {"orientation", kOrientationX}, {":bonedata", kBoneData},
};
constexpr AsfKeyword kBoneKeywords[] = {
    {"id", kId}, {"name", kBoneName}, {"direction", kDirectionX},
    {"end", kEnd}, {"dof", kDofList}, {"limits", kLimitMin},
};

void AddBoneDof(const char* asWritten, int32_t code, const char* what) {
  if (!NeedAsfBone(what)) return;
  AsfBone* bone = asfReader.currentBone;
  if (bone->dofCount >= kAsfMaxDofs) {
    Import_IO_printf("Line %ld: Warning: Bone %s has more than 7 DOF entries; %s is ignored.\n",
                     static_cast<long>(asfReader.lineNumber), bone->name, asWritten);
    return;
  }
  bone->dofs[bone->dofCount++] = code;
  asfReader.dofTokenCount++;
}

// The limits pair being filled, or null when the bone has seven already.
bool LimitPairHasRoom() {
  AsfBone* bone = asfReader.currentBone;
  if (bone->limitCount < kAsfMaxDofs) return true;
  return false;
}

void WarnLimitPairIgnored() {
  Import_IO_printf("Line %ld: Warning: Bone %s has more than 7 limits pairs; the extra pair is ignored.\n",
                   static_cast<long>(asfReader.lineNumber), asfReader.currentBone->name);
}

void SetLimitMin(float value) {
  if (LimitPairHasRoom()) {
    asfReader.currentBone->limitMin[asfReader.currentBone->limitCount] = value;
  } else {
    WarnLimitPairIgnored();
  }
  asfReader.state = kLimitMax;
}

void SetLimitMax(float value) {
  AsfBone* bone = asfReader.currentBone;
  if (LimitPairHasRoom()) {
    bone->limitMax[bone->limitCount] = value;
    bone->limitCount++;
  }
  asfReader.state = kLimitMin;
}

// -- Numbers

void ParseAsfNumber(const char* lowercase, const char* asWritten) {
  float value = static_cast<float>(atof(lowercase));
  AsfBone* bone = asfReader.currentBone;
  switch (asfReader.state) {
    case kVersion:
      if (value != 1.1f) {
        Import_IO_printf("Line %ld: Warning: This importer supports only ASF files version 1.10. Version %s"
                         " is not supported. Attempting to parse anyway.\n",
                         static_cast<long>(asfReader.lineNumber), asWritten);
      }
      asfReader.state = kVersionDone;
      return;
    case kMass:
      asfReader.mass = value;
      asfReader.state = kMassDone;
      return;
    case kUnitLength:
      asfReader.unitLength = value;
      asfReader.state = kUnitLengthDone;
      return;
    case kPositionX:
    case kPositionY:
    case kPositionZ:
      asfReader.rootPosition[asfReader.state - kPositionX] = value;
      asfReader.state++;
      return;
    case kOrientationX:
    case kOrientationY:
    case kOrientationZ:
      asfReader.rootOrientation[asfReader.state - kOrientationX] = value;
      asfReader.state++;
      return;
    case kId:
      if (!NeedAsfBone("bone's id number")) return;
      bone->id = atoi(lowercase);
      asfReader.state = kIdDone;
      return;
    case kDirectionX:
    case kDirectionY:
    case kDirectionZ: {
      static const char* const kWhat[] = {"bone's direction x", "bone's direction y",
                                          "bone's direction z value"};
      if (!NeedAsfBone(kWhat[asfReader.state - kDirectionX])) return;
      bone->direction[asfReader.state - kDirectionX] = value;
      asfReader.state++;
      return;
    }
    case kBoneLength:
      if (!NeedAsfBone("bone's length")) return;
      bone->length = value;
      asfReader.state = kBoneLengthDone;
      return;
    case kAxisX:
    case kAxisY:
    case kAxisZ: {
      static const char* const kWhat[] = {"joint axis x value", "joint axis y value",
                                          "joint axis z value"};
      if (!NeedAsfBone(kWhat[asfReader.state - kAxisX])) return;
      bone->axis[asfReader.state - kAxisX] = value;
      asfReader.state++;
      return;
    }
    case kLimitMin:
      if (!bone) {
        // This one message has no blank before its parenthesis.
        Import_IO_printf("Line %ld: Fatal Error: Undefined bone encountered while trying to read maximum limit"
                         " value(Check for missing \"begin\" keyword). Aborting. \n",
                         static_cast<long>(asfReader.lineNumber));
        importState.fatal = 1;
        return;
      }
      SetLimitMin(value);
      return;
    case kLimitMax:
      if (!NeedAsfBone("minimum limit value")) return;
      SetLimitMax(value);
      return;
    default:
      EchoAsfToken(lowercase);
      return;
  }
}

// -- Words

void ParseHierarchyName(const char* lowercase, const char* asWritten, int32_t firstOnLine) {
  if (firstOnLine) {
    AsfNode* parent = strcmp(lowercase, "root") == 0 ? asfReader.rootNode
                                                      : FindAsfNode(asfReader.rootNode, asWritten);
    if (!parent) {
      ReportAsfFatal("Line %ld: Fatal Error: Undefined bone encountered: %s. Aborting. \n", asWritten);
      return;
    }
    asfReader.currentNode = parent;
    return;
  }
  AsfBone* bone = FindAsfBone(asWritten);
  if (!bone) {
    ReportAsfFatal("Line %ld: Fatal Error: Undefined bone encountered: %s. Aborting. \n", asWritten);
    return;
  }
  if (bone->inHierarchy) {
    ReportAsfFatal("Line %ld: Fatal Error: Bone %s appears more than once in the hierarchy. Aborting. \n",
                   asWritten);
    return;
  }
  bone->inHierarchy = 1;
  AppendChild(asfReader.currentNode, NewNode(bone, asfReader.currentNode));
}

void ParseAsfWord(const char* lowercase, const char* asWritten, int32_t firstOnLine) {
  switch (asfReader.state) {
    case kSkeletonName:
      asfReader.skeletonName = CopyString(asWritten);
      asfReader.state = kSkeletonNameDone;
      return;
    case kAngle:
      asfReader.angleUnit = strcmp(lowercase, "rad") == 0 ? kRadians : kDegrees;
      asfReader.state = kAngleDone;
      return;
    case kBoneName:
      if (!NeedAsfBone("bone's name")) return;
      asfReader.currentBone->name = CopyString(asWritten);
      asfReader.state = kBoneNameDone;
      return;
    case kHierarchyLines:
      ParseHierarchyName(lowercase, asWritten, firstOnLine);
      return;
    case kSkin:
      if (asfReader.skinFileCount >= kAsfMaxSkinFiles) {
        Import_IO_printf("Line %ld: Warning: At most 256 skin files are kept; %s is ignored.\n",
                         static_cast<long>(asfReader.lineNumber), asWritten);
        return;
      }
      asfReader.skinFiles[asfReader.skinFileCount++] = CopyString(asWritten);
      return;
    default:
      EchoAsfToken(lowercase);
      return;
  }
}

void OpenAsfBone() {
  AsfBone* bone = NewBone("Default Joint");
  AsfBone* current = asfReader.currentBone;
  if (current) {
    bone->next = current->next;
    current->next = bone;
  } else if (asfReader.boneHead) {
    // Unreachable in practice (a list always has a current bone), but keep
    // every record in the list.
    bone->next = asfReader.boneHead;
    asfReader.boneHead = bone;
  } else {
    asfReader.boneHead = bone;
  }
  asfReader.currentBone = bone;
}

}  // namespace

// -- Token dispatch

void ParseAsfToken(const char* token, const char* asWritten, int32_t firstOnLine) {
  if (token[0] == '#') {
    asfReader.skippingLine = 1;
    asfReader.state = kComment;
    return;
  }
  for (const AsfKeyword& keyword : kStateKeywords) {
    // "length" and "axis" sit between these rows but never clash with them.
    if (strcmp(token, keyword.word) == 0) {
      asfReader.state = keyword.next;
      return;
    }
  }
  if (strcmp(token, "length") == 0) {
    asfReader.state = asfReader.state == kDirectionDone ? kBoneLength : kUnitLength;
    return;
  }
  if (strcmp(token, "axis") == 0) {
    int32_t state = asfReader.state;
    bool rootAxis = state == kRoot || state == kRootOrderDone || state == kPositionDone || state == kOrientationDone;
    asfReader.state = rootAxis ? kRootAxis : kAxisX;
    return;
  }
  if (strcmp(token, "begin") == 0) {
    if (asfReader.state == kHierarchy) {
      asfReader.state = kHierarchyLines;
    } else {
      OpenAsfBone();
      asfReader.state = kBegin;
    }
    return;
  }
  for (const AsfKeyword& keyword : kBoneKeywords) {
    if (strcmp(token, keyword.word) == 0) {
      asfReader.state = keyword.next;
      return;
    }
  }
  if (strcmp(token, "-inf") == 0) {
    if (asfReader.state != kLimitMin) return;
    if (!NeedAsfBone("bone's minimum limit of -inf")) return;
    SetLimitMin(-kAsfInfinity);
    return;
  }
  if (strcmp(token, "inf") == 0) {
    if (asfReader.state != kLimitMax) return;
    if (!NeedAsfBone("bone's maximum limit of +inf")) return;
    SetLimitMax(kAsfInfinity);
    return;
  }
  if (strcmp(token, ":hierarchy") == 0) {
    AddAsfRootBone();
    asfReader.state = kHierarchy;
    return;
  }
  if (strcmp(token, ":skin") == 0) {
    asfReader.state = kSkin;
    return;
  }
  if (strcmp(token, "l") == 0) {
    AddBoneDof(asWritten, kDofLength, "bone's l DOF token");
    return;
  }
  for (const AsfWordCode& dof : kDofWords) {
    if (strcmp(token, dof.word) != 0) continue;
    if (asfReader.state == kRootOrder) {
      if (asfReader.rootOrderCount >= kAsfMaxRootOrder) {
        Import_IO_printf("Line %ld: Warning: The root order holds at most 6 entries; %s is ignored.\n",
                         static_cast<long>(asfReader.lineNumber), asWritten);
        return;
      }
      asfReader.rootOrder[asfReader.rootOrderCount++] = dof.code;
      return;
    }
    AddBoneDof(asWritten, dof.code, dof.what);
    return;
  }
  for (const AsfWordCode& axis : kAxisWords) {
    if (strcmp(token, axis.word) != 0) continue;
    if (asfReader.state == kRootAxis) {
      asfReader.rootAxisOrder = axis.code;
      asfReader.state = kRootAxisDone;
      return;
    }
    if (!NeedAsfBone(axis.what)) return;
    asfReader.currentBone->axisOrder = axis.code;
    asfReader.state = kAxisOrderDone;
    return;
  }
  if (IsNumberToken(token)) {
    ParseAsfNumber(token, asWritten);
    return;
  }
  ParseAsfWord(token, asWritten, firstOnLine);
}

// -- Tokens

void ReadAsfFile() {
  ResetAsfReader();
  AcclaimAttachSource(asfSource, importState.inputFile);
  char token[kAcclaimTokenMax + 1];
  char lowercase[kAcclaimTokenMax + 1];
  bool lineEnd = true;
  int32_t tokensRead = 0;
  for (;;) {
    int32_t firstOnLine = 0;
    if (lineEnd) {
      asfReader.lineNumber++;
      firstOnLine = 1;
      lineEnd = false;
    }
    int32_t length = 0;
    int32_t stored = 0;
    bool fileEnded = false;
    for (;;) {
      int c = AcclaimNextChar(asfSource);
      if (c == EOF) {
        lineEnd = true;
        fileEnded = true;
        break;
      }
      if (kAcclaimSeparator.is[c]) {
        if (IsAcclaimLineEnd(c)) lineEnd = true;
        if (length > 0 || lineEnd) break;
        continue;
      }
      if (stored < kAcclaimTokenMax) {
        token[stored] = static_cast<char>(c);
        lowercase[stored] = AcclaimLower(static_cast<char>(c));
        stored++;
      }
      length++;
    }
    token[stored] = '\0';
    lowercase[stored] = '\0';

    if (length > 0) {
      asfReader.charCount += length;
      tokensRead++;
      if (asfReader.state == kDocumentation && firstOnLine && lowercase[0] == ':' && length > 1) {
        asfReader.state = kStart;
      }
      if (asfReader.state != kDocumentation && !asfReader.skippingLine) {
        // A comment's first token is no value: nothing of it is read.
        if (length > stored && token[0] != '#') {
          Import_IO_printf("Line %ld: Warning: A token longer than 111 characters was cut to %s\n",
                           static_cast<long>(asfReader.lineNumber), token);
        }
        ParseAsfToken(lowercase, token, firstOnLine);
      }
    }
    if (lineEnd) {
      asfReader.skippingLine = 0;
      if (asfReader.state == kRootOrder) asfReader.state = kRootOrderDone;
      if (asfReader.state == kDofList) asfReader.state = kDofListDone;
    }
    if (length > 0 && tokensRead % 40 == 0) {
      ImportIoProgress progress{40, asfReader.charCount, importState.inputFileSize, {0, 0}};
      if (Import_IO_Check_For_Abort(&progress)) JumpToImportTrap();
    }
    if (importState.fatal || fileEnded) return;
  }
}

// -- Hierarchy linking

void LinkAsfEndEffectors(AsfNode* node) {
  if (!node) {
    Import_IO_printf("Warning: the hierarchy has an invalid structure: unexpected NULL pointer encountered.");
    importState.fatal = 1;
    return;
  }
  AsfBone* tail = asfReader.boneHead;
  while (tail && tail->next) tail = tail->next;
  AsfNode* at = node;
  while (at) {
    if (at->firstChild) {
      at = at->firstChild;
      continue;
    }
    AsfBone* effector = NewBone("End Effector");
    effector->isEndEffector = 1;
    if (tail) {
      tail->next = effector;
    } else {
      asfReader.boneHead = effector;
    }
    tail = effector;
    asfReader.currentBone = effector;
    at->firstChild = NewNode(effector, at);
    at = NextSkippingChildren(at, node);
  }
}

// -- Skeleton builder

namespace {

const char* const kAxisWordsXyz[] = {"xaxis", "yaxis", "zaxis"};

void BuildAsfBone(AsfBone* bone) {
  bone->hostName = static_cast<char*>(AcclaimAllocate(strlen(bone->name) + 20));
  Import_IO_MakeNameUnique(Tok("instance"), bone->name, bone->hostName);
  const char* name = bone->hostName;
  Sg_Add_Empty_Node(Tok("instance"), name, kSgEnd);
  Sg_Attach(Tok("instance"), name, Tok("instance"), "world", kSgEnd);

  bool effector = bone->isEndEffector != 0;
  bool anchor = !effector && bone->isRoot != 0;
  Sg_Instance(name, Tok("skeleton"), Tok("endeffectornode"), Tok("enabled"), OnOff(effector),
              Tok("jointnode"), Tok("enabled"), OnOff(!effector), kSgOne, kSgEnd);
  Sg_Instance(name, Tok("ikparams"), Tok("thisisikanchor"), Tok("enabled"), OnOff(anchor),
              Tok("notaffectedbyikofdescendants"), Tok("enabled"), OnOff(anchor), kSgOne, kSgEnd);

  SgToken lockAxis = Tok("lockaxis");
  SgToken translate = Tok("translate");
  SgToken rotate = Tok("rotate");
  SgToken enabled = Tok("enabled");
  SgToken on = Tok("on");
  SgToken xAxis = Tok("xaxis");
  SgToken yAxis = Tok("yaxis");
  SgToken zAxis = Tok("zaxis");
  Sg_Instance(name, Tok("dofconstraintlocks"),
              lockAxis, translate, xAxis, enabled, on, lockAxis, translate, yAxis, enabled, on,
              lockAxis, translate, zAxis, enabled, on, lockAxis, rotate, xAxis, enabled, on,
              lockAxis, rotate, yAxis, enabled, on, lockAxis, rotate, zAxis, enabled, on,
              kSgOne, kSgEnd);

  for (int32_t i = 0; i < bone->dofCount; i++) {
    int32_t code = bone->dofs[i];
    if (code < kDofTx || code > kDofRz) continue;
    const char* kind = code <= kDofTz ? "translate" : "rotate";
    Sg_Instance(name, Tok("dofconstraintlocks"), Tok("lockaxis"), Tok(kind),
                Tok(kAxisWordsXyz[(code - 1) % 3]), Tok("enabled"), Tok("off"), kSgOne, kSgEnd);
  }

  float positionMin[3] = {0, 0, 0};
  float positionMax[3] = {0, 0, 0};
  float rotationMin[3] = {0, 0, 0};
  float rotationMax[3] = {0, 0, 0};
  for (int32_t i = 0; i < bone->limitCount; i++) {
    int32_t code = i < bone->dofCount ? bone->dofs[i] : 0;
    if (code < kDofTx || code > kDofRz) continue;
    bool position = code <= kDofTz;
    const char* constraintClass = position ? "positionconstraint" : "rotationconstraint";
    int axis = (code - 1) % 3;
    if (bone->limitMax[i] != kAsfInfinity && bone->limitMax[i] != -kAsfInfinity) {
      Sg_Instance(name, Tok(constraintClass), Tok("maxrange"), Tok(kAxisWordsXyz[axis]), Tok("enabled"),
                  Tok("on"), kSgOne, kSgEnd);
      (position ? positionMax : rotationMax)[axis] = bone->limitMax[i];
    }
    if (bone->limitMin[i] != kAsfInfinity && bone->limitMin[i] != -kAsfInfinity) {
      Sg_Instance(name, Tok(constraintClass), Tok("minrange"), Tok(kAxisWordsXyz[axis]), Tok("enabled"),
                  Tok("on"), kSgOne, kSgEnd);
      (position ? positionMin : rotationMin)[axis] = bone->limitMin[i];
    }
  }
  Sg_Instance(name, Tok("positionconstraint"), Tok("minrange"), Tok("value"), positionMin, Tok("maxrange"),
              Tok("value"), positionMax, Tok("worldspace"), Tok("enabled"), Tok("off"), kSgOne,
              Tok("rotationconstraint"), Tok("minrange"), Tok("value"), rotationMin, Tok("maxrange"),
              Tok("value"), rotationMax, Tok("worldspace"), Tok("enabled"), Tok("off"), kSgOne, kSgEnd);
}

}  // namespace

void BuildAsfSkeleton(AsfNode* node) {
  for (AsfNode* at = node; at; at = NextPreorder(at, node)) BuildAsfBone(at->bone);
}

void AttachAsfBones(AsfNode* node) {
  // Children first: a postorder walk of node's subtree.
  AsfNode* at = DeepestFirstChild(node);
  for (;;) {
    if (at->parent) {
      const char* name = at->bone->hostName;
      const AsfBone* parent = at->parent->bone;
      Sg_Detach(Tok("instance"), name, kSgEnd);
      Sg_Attach(Tok("instance"), name, Tok("instance"), parent->hostName, kSgEnd);
      float offset[3];
      for (int i = 0; i < 3; i++) offset[i] = parent->length * parent->direction[i] * asfReader.unitLength;
      Sg_Transform(Tok("instance"), name, Tok("postmultiply"), Tok("translate"), offset, kSgEnd);
    }
    if (at == node) return;
    at = at->nextSibling ? DeepestFirstChild(at->nextSibling) : at->parent;
  }
}

// -- Import flow

namespace {

void OpenAndReadAmc() {
  char* path = importState.pathCopy;
  size_t length = path ? strlen(path) : 0;
  if (length < 3) return;
  memcpy(path + length - 3, "amc", 3);
  asfReader.amcFile = OpenInputFile(path, "r");
  if (!asfReader.amcFile) {
    Import_IO_printf("Could not find a corresponding AMC file. If animation import is needed, please provide %s\n",
                     path);
    return;
  }
  ReadAmcMotion(asfReader.amcFile);
  fclose(asfReader.amcFile);
  asfReader.amcFile = nullptr;
}

}  // namespace

void ImportAcclaim() {
  ReleaseAcclaimModel();
  ReadAsfFile();
  if (importState.fatal) return ReleaseAcclaimModel();
  LinkAsfEndEffectors(asfReader.rootNode);
  if (importState.fatal) return ReleaseAcclaimModel();
  BuildAsfSkeleton(asfReader.rootNode);
  if (importState.fatal) return ReleaseAcclaimModel();
  OpenAndReadAmc();
  AttachAsfBones(asfReader.rootNode);
  if (importState.fatal) return ReleaseAcclaimModel();
  Sg_Transform(Tok("instance"), asfReader.rootNode->bone->hostName, Tok("postmultiply"), Tok("translate"),
               asfReader.rootPosition, kSgEnd);
  ReleaseAcclaimModel();
}

void ReleaseAcclaimModel() {
  if (asfReader.amcFile) fclose(asfReader.amcFile);
  ReleaseAmcReader();
  AcclaimAttachSource(asfSource, nullptr);
  asfReader = AsfReader{};
  AcclaimReleaseArena();
}
