// The import I/O library's dialog helpers (vc64_imp), as the host defines
// them. They take the window system's handles: HWND from <windows.h> on
// Windows, elsewhere the pointer the dialog layer (vxui) hands out.
#pragma once

#include <cstdint>

#ifdef _WIN32
#include <windows.h>
#else
typedef void* HWND;
#endif

extern "C" {
void Import_IO_Center_Window(HWND parent, HWND dialog);
void Import_IO_SdFloat_To_Dialog(HWND dialog, int16_t controlId, float value);
void Import_IO_Dialog_To_SdFloat(HWND dialog, int32_t controlId, float* value);
void Import_IO_SetFocus_Edit_Control(HWND dialog, int32_t controlId);
void Import_IO_Set_Control_Enable(HWND dialog, int32_t controlId, int32_t enable);
void Import_IO_DisplayHelpTopic(HWND window, const char* settingsDirectory, const char* helpFile, const char* topic);
}
