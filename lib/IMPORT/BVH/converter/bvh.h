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
