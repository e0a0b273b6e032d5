// The plug-in frame's state shared with the importers: the import options,
// the import in progress (input file, names, fatal flag, trap) and the
// entry points of the driver and the options file.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <cstdio>

#include "host.h"

// The four import options, kept for the life of the loaded library.
struct ImportOptions {
  float distanceThreshold;
  float angularThreshold;     // degrees, as the dialog shows it
  int16_t reduceTranslation;  // on when non-zero
  int16_t reduceRotation;     // on when non-zero
  uint8_t defaultsApplied;
};

// The import in progress; valid from the driver's start to its return.
struct ImportState {
  FILE* inputFile;
  int32_t inputFileSize;
  char* pathCopy;             // full input path; the Acclaim flow rewrites its extension
  char* baseName;             // file name without directory and last four characters
  int16_t fatal;              // 1 once a reader met a fatal error
  int16_t trapArmed;          // the trap below may be jumped to
  jmp_buf trap;
};

extern ImportOptions importOptions;
extern ImportState importState;

// Leaves the import through its trap; used for a user abort.
[[noreturn]] void JumpToImportTrap();

void ApplyFirstUseDefaults();
void ImportConverter_BiovisionAcclaim(const char** keywords, void** values, int32_t* result, void* extra);
int16_t ValidateFileHeader(const char* path);
int16_t SaveImportConvertOptions_BVH(char* path);
int16_t LoadImportConvertOptions_BVH(FILE* file);
