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

struct Token {
  const char* text;   // host-owned, NUL-terminated
  uint32_t length;
  Word word;
};

// Same word, same token, for the life of the library.
const Token* InternToken(const char* text);
// The token an item is, or null when the item is not a token.
const Token* AsToken(const void* item);
const char* WordText(Word word);

}  // namespace vxhost
