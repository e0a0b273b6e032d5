// BVH reader, skeleton builder, motion channels and import flow.
#include "bvh.h"

#include "frame.h"

int16_t IsNumberToken(const char* text) {
  (void)text;
  return 0;
}
void ResetBvhParseState() {}
void ImportBvh() {}
void ReleaseBvhModel() {}
