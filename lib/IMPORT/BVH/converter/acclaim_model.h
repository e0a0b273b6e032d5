// The Acclaim importer's model, shared by its two sources: the ASF side
// (acclaim.cpp: parser, linking, builder, flow) and the AMC side
// (acclaim_amc.cpp: motion reader, channel pass). Nothing outside them includes it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <type_traits>

// -- Records

enum AsfDof : int32_t {
  kDofTx = 1, kDofTy, kDofTz, kDofRx, kDofRy, kDofRz, kDofLength,
};
enum AsfAxisOrder : int32_t {
  kAxisXyz = 1, kAxisXzy, kAxisYzx, kAxisYxz, kAxisZxy, kAxisZyx,
};

constexpr int kAsfMaxDofs = 7;
constexpr int kAsfMaxRootOrder = 6;
constexpr int kAsfMaxSkinFiles = 256;
// A token holds at most this many characters; longer runs are cut.
constexpr int kAcclaimTokenMax = 111;
constexpr float kAsfInfinity = 3.4028235e38f;
// The most the AMC sample arrays may take, in bytes, counting three slots
// per frame more for each bone record (every bone gets three rotation keys
// each frame): 16 million slots, 13 minutes of a CMU skeleton at 120 frames
// per second. A last frame number that needs more is refused as damage: a
// frame line can claim billions of frames.
constexpr int64_t kAmcSampleLimit = int64_t{64} << 20;

struct AsfBone {
  int32_t id;
  char* name;
  char* hostName;
  float direction[3];
  float axis[3];
  int32_t axisOrder;
  int32_t isRoot;
  int32_t isEndEffector;
  float length;
  float** samples;
  int32_t dofs[kAsfMaxDofs];
  int32_t dofCount;
  float limitMax[kAsfMaxDofs];
  float limitMin[kAsfMaxDofs];
  int32_t limitCount;
  AsfBone* next;
  // The bone the AMC file named after this one last time: motion files list
  // their bones in the same order every frame, so this saves the list walk.
  AsfBone* amcSuccessor;
  // No earlier record of the list has the same name, so a name match on this
  // record is what the list walk would find.
  int32_t firstOfName;
  int32_t nameLength;  // of name, for the AMC side's quick comparison
  // A node of the hierarchy stands for this bone; a second one would make the
  // bone its own ancestor or give it two instances under one name.
  int32_t inHierarchy;
};

struct AsfNode {
  AsfBone* bone;
  AsfNode* parent;
  AsfNode* firstChild;
  AsfNode* nextSibling;
};

static_assert(std::is_trivially_destructible_v<AsfBone>);
static_assert(std::is_trivially_destructible_v<AsfNode>);

// The parts of the ASF reader's state that the AMC side reads.
struct AsfModelView {
  AsfBone* boneHead;
  AsfNode* rootNode;
  float unitLength;
  int32_t dofTokenCount;
};
AsfModelView CurrentAsfModel();

AsfBone* FindAsfBone(const char* name);

// -- Arena: everything one import allocates, released in one go

void* AcclaimAllocate(size_t bytes);  // zeroed, 16-byte aligned; never null
void AcclaimReleaseArena();

// -- Character source: a block-buffered reader with fgetc's semantics

struct AcclaimCharSource {
  FILE* file;
  size_t position;
  size_t length;
  int32_t atEnd;  // a read has met the end of the file, as feof would say
  unsigned char buffer[1 << 16];
};

// Reads the next block once the buffer is used up; false at the end of the
// file. Callers that scan the buffer themselves call it when they reach its end.
inline bool AcclaimRefill(AcclaimCharSource& source) {
  source.position = 0;
  source.length = source.file ? fread(source.buffer, 1, sizeof source.buffer, source.file) : 0;
  if (source.length == 0) {
    source.atEnd = 1;
    return false;
  }
  return true;
}

inline int AcclaimNextChar(AcclaimCharSource& source) {
  if (source.position == source.length && !AcclaimRefill(source)) return EOF;
  return source.buffer[source.position++];
}

inline void AcclaimAttachSource(AcclaimCharSource& source, FILE* file) {
  source.file = file;
  source.position = 0;
  source.length = 0;
  source.atEnd = 0;
}

// Separators of both formats: line feed, carriage return, tab, blank, "(", ")", ",".
struct AcclaimSeparatorTable {
  unsigned char is[256];
  constexpr AcclaimSeparatorTable() : is{} {
    for (unsigned char c : {'\n', '\r', '\t', ' ', '(', ')', ','}) is[c] = 1;
  }
};
inline constexpr AcclaimSeparatorTable kAcclaimSeparator{};
inline bool IsAcclaimLineEnd(int c) { return c == '\n' || c == '\r'; }
inline char AcclaimLower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c; }

// -- The AMC side, run by the flow

// Reads the open AMC file into the bones' samples and writes the channels.
void ReadAmcMotion(FILE* file);
// Closes an AMC file left open by a jump out of the read.
void ReleaseAmcReader();
