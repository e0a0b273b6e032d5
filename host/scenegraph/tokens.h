// Interned words: Sg_Inquire_Token hands out pointers to host-owned token
// records, so any list item can be recognised as a token by its address.
// The words the host's grammars use have fixed ids, compared without strings.
#pragma once

#include <cstdint>

namespace vxhost {

#define VXHOST_WORDS(X)                                                      \
  X(Instance, "instance") X(Postmultiply, "postmultiply")                    \
  X(Translate, "translate") X(Rotate, "rotate") X(All, "all")                \
  X(Ctrlrid, "ctrlrid") X(Type, "type") X(Kfbezier, "kfbezier")              \
  X(Keyframe, "keyframe") X(Time, "time") X(Add, "add") X(Kfid, "kfid")      \
  X(Value, "value") X(Reducekeys, "reducekeys") X(Distance, "distance")      \
  X(Angle, "angle") X(Keysareeulerangles, "keysareeulerangles")              \
  X(Angularkeysareindegrees, "angularkeysareindegrees")                      \
  X(Enabled, "enabled") X(On, "on") X(Off, "off")                            \
  X(Framerate, "framerate") X(Starttime, "starttime") X(Endtime, "endtime")  \
  X(Skeleton, "skeleton") X(Endeffectornode, "endeffectornode")              \
  X(Jointnode, "jointnode") X(Ikparams, "ikparams")                          \
  X(Thisisikanchor, "thisisikanchor")                                        \
  X(Notaffectedbyikofdescendants, "notaffectedbyikofdescendants")            \
  X(Dofconstraintlocks, "dofconstraintlocks") X(Lockaxis, "lockaxis")        \
  X(Xaxis, "xaxis") X(Yaxis, "yaxis") X(Zaxis, "zaxis")                      \
  X(Positionconstraint, "positionconstraint")                                \
  X(Rotationconstraint, "rotationconstraint") X(Minrange, "minrange")        \
  X(Maxrange, "maxrange") X(Worldspace, "worldspace")                        \
  X(Replacechannels, "replacechannels") X(Eulerrotate, "eulerrotate")        \
  X(Eulerorder, "eulerorder")

enum class Word : int16_t {
  Other = -1,  // a word no grammar of the host knows
#define VXHOST_WORD_ENUM(id, text) id,
  VXHOST_WORDS(VXHOST_WORD_ENUM)
#undef VXHOST_WORD_ENUM
  Count
};

struct alignas(16) Token {
  const char* text;   // host-owned, NUL-terminated
  uint32_t length;
  Word word;
};

// Same word, same token, for the life of the library.
const Token* InternToken(const char* text);
// Empties the caches and lets go of the objects the fixed words lie in (an
// aborted import, SetFastPaths).
void ForgetCachedWords();
// The same, and gives the fixed words' cache to the calling thread (an
// import bracket opens) or takes it away (the bracket closes, the host is
// reset).
void OwnFixedWords(bool own);

// Where the first chunk of token records lies: nearly every token an import
// uses is there, so recognising one is a range test inlined into the reader.
struct TokenRange {
  uintptr_t base = 0;
  uintptr_t count = 0;  // records in use in that chunk
  bool more = false;    // further chunks exist
};
extern TokenRange firstTokens;
const Token* AsTokenBeyondFirstChunk(const void* item);

// The token an item is, or null when the item is not a token.
[[gnu::always_inline]] inline const Token* AsToken(const void* item) {
  const uintptr_t offset = reinterpret_cast<uintptr_t>(item) - firstTokens.base;
  if (offset < firstTokens.count * sizeof(Token)) {
    return offset % sizeof(Token) == 0 ? static_cast<const Token*>(item) : nullptr;
  }
  return firstTokens.more ? AsTokenBeyondFirstChunk(item) : nullptr;
}
// Whether an item is the token of one of the host's words: those are interned
// first, in the order of Word, so each has a fixed place in the first chunk.
[[gnu::always_inline]] inline bool IsWordToken(const void* item, Word word) {
  return reinterpret_cast<uintptr_t>(item) == firstTokens.base + static_cast<uintptr_t>(word) * sizeof(Token);
}
const char* WordText(Word word);

}  // namespace vxhost
