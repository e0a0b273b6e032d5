// The window system's dialog functions as the dialog layer (vxui) provides
// them off Windows, with the argument types a plug-in compiled for Windows
// passes: handles are pointers, WPARAM and LPARAM pointer-sized integers.
#pragma once

#include <cstdint>

extern "C" {
intptr_t DialogBoxParamA(void* instance, const char* templateName, void* owner,
                         intptr_t (*proc)(void* dialog, unsigned int message, uintptr_t wParam, intptr_t lParam),
                         intptr_t param);
int EndDialog(void* dialog, intptr_t result);
int CheckDlgButton(void* dialog, int id, unsigned int check);
int MessageBoxA(void* owner, const char* text, const char* caption, unsigned int type);
}
