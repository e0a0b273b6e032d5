// The BVH importer as the frame sees it, and the number-syntax check that
// every reader shares.
#pragma once

#include <cstdint>

int16_t IsNumberToken(const char* text);
// Sets the reader's parse state to Start; the driver calls it before ImportBvh.
void ResetBvhParseState();
void ImportBvh();
// Releases whatever model an import left behind (after an abort or a fatal
// error) and empties the reader, so the next import starts from nothing.
void ReleaseBvhModel();

// The longest token the reader takes; a longer one ends the import.
constexpr int kBvhMaxTokenLength = 111;
// The most the frame arrays of one import may take, in bytes: 16 million
// values, 24 minutes of 96 channels at 120 frames per second. A frame count
// that needs more is refused as damage: a header can claim billions of frames.
constexpr int64_t kBvhFrameArrayLimit = int64_t{64} << 20;
