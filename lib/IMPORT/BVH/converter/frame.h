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
  int16_t keyTimeClamped;     // a key time was held to the 32-bit range (warned once)
  int16_t trapArmed;          // the trap below may be jumped to
  jmp_buf trap;
};

extern ImportOptions importOptions;
extern ImportState importState;

// The options file's name, appended to the settings directory without a separator.
inline constexpr char kOptionsFileName[] = "imp_bvh.ini";
// The options file path is built in a buffer of this size.
enum { kOptionsPathSize = 300 };

// Leaves the import through its trap; used for a user abort.
[[noreturn]] void JumpToImportTrap();

// Opens an input file for reading. A stream that opens but whose first read
// fails with an error (a directory, where fopen accepts one) counts as a file
// that did not open, so every system answers alike. Null when it failed.
FILE* OpenInputFile(const char* path, const char* mode);

void ApplyFirstUseDefaults();
void ImportConverter_BiovisionAcclaim(const char** keywords, void** values, int32_t* result, void* extra);
void ImportErrorCallback(ImportIoMessage* message);
int16_t ValidateFileHeader(const char* path);
// The file name without its directory (only a backslash ends the directory)
// and without its last four characters; a heap string the caller frees.
char* MakeImportBaseName(const char* path);
// Builds settings directory + "imp_bvh.ini" into path (kOptionsPathSize
// bytes). Answers 1 when the path was built; otherwise prints why (when
// forSaving, or when the directory is too long) and answers 0.
int16_t BuildOptionsFilePath(char* path, int16_t forSaving);
int16_t SaveImportConvertOptions_BVH(char* path);
int16_t LoadImportConvertOptions_BVH(FILE* file);
