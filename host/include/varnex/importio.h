// The import I/O library's C interface (vc64_imp), as the host defines it.
// Like sg.h, it must not share a file with the plug-in's own declarations.
// Its dialog helpers, which take window handles, are in importio_dialogs.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "varnex/sg.h"

// The record handed to the import's message callback.
struct ImportIoMessage {
  int32_t kind;       // 5: fatal, the import must end
  int32_t reserved0;
  int64_t reserved1;
  const char* text;   // at byte 16
};
static_assert(offsetof(ImportIoMessage, text) == 16);

// The progress record of an abort poll.
struct ImportIoProgress {
  int16_t kind;       // always 40
  int64_t done;
  int64_t total;
  int64_t reserved[2];
};

typedef void (*ImportIoCallback)(ImportIoMessage* message);

extern "C" {
void Import_IO_Initialize(const char* path, ImportIoCallback callback);
void Import_IO_Abort_Cleanup(void);
void Import_IO_Cleanup(void);
void Import_IO_printf(const char* format, ...);
void Import_IO_Report_Error(int32_t severity, const char* text);
void Import_IO_Display_Info_Text(const char* text);
int16_t Import_IO_Check_For_Abort(ImportIoProgress* progress);
void Import_IO_MakeNameUnique(SgToken instance, const char* wanted, char* buffer);
int16_t Import_IO_Get_DefaultAnimationChannelPtrs(const char* name, void** table);
void Import_IO_OptimizeTransformationChannels(const char* name);
void Import_IO_Copy_String(char** variable, const char* source);
void Import_IO_String_To_Lower(char* string, char* same);
int16_t Import_IO_Strip_Whitespace(char* string);
}
