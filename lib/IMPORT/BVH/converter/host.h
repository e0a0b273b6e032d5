// The plug-in's view of its host: the scene-graph library (vc64_hq), the
// import I/O library (vc64_imp) and, for the two dialogs, the window system.
// Only declarations live here; the plug-in links to the host's libraries.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#ifdef _WIN32
#include <windows.h>
#else
// The subset of the window system's types the dialogs use. Off Windows the
// host's user-interface layer provides these functions with the same ABI.
typedef void* HWND;
typedef void* HINSTANCE;
typedef void* HMODULE;
typedef unsigned int UINT;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t INT_PTR;
typedef int BOOL;
typedef unsigned long DWORD;
typedef INT_PTR (*DLGPROC)(HWND, UINT, WPARAM, LPARAM);
#define WINAPI
#define CALLBACK
#define WM_INITDIALOG 0x0110u
#define WM_COMMAND 0x0111u
#define MB_OK 0x0u
#define IDOK 1
#define IDCANCEL 2
#define BST_UNCHECKED 0u
#define BST_CHECKED 1u
#define LOWORD(w) (static_cast<uint16_t>(static_cast<uintptr_t>(w) & 0xffffu))
extern "C" {
INT_PTR DialogBoxParamA(HINSTANCE instance, const char* templateName, HWND owner, DLGPROC proc, LPARAM param);
BOOL EndDialog(HWND dialog, INT_PTR result);
BOOL CheckDlgButton(HWND dialog, int id, UINT check);
int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type);
}
#endif

#ifdef _WIN32
#define VARNEX_EXPORT extern "C" __declspec(dllexport)
#else
#define VARNEX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

// -- Scene graph (vc64_hq)

// A token is the host's pointer-sized handle for a word. Every item of a
// variadic host list is pointer-sized: tokens, strings, addresses, and the
// small integers 0 (end of list) and 1 (end of a compound clause).
typedef void* SgToken;

// The 64-byte matrix buffer the host's matrix routines fill.
struct SgMatrix {
  float m[16];
};
// Euler record: angles about x, y, z in radians, then the matrix order code.
struct SgEuler {
  double v[4];
};
static_assert(sizeof(SgMatrix) == 64);
static_assert(sizeof(SgEuler) == 32);

extern "C" {
SgToken Sg_Inquire_Token(const char* word);
void Sg_Add_Empty_Node(SgToken instance, ...);
void Sg_Attach(SgToken instance, ...);
void Sg_Detach(SgToken instance, ...);
void Sg_Instance(const char* name, ...);
void Sg_Transform(SgToken instance, ...);
void Sg_AddDefaultAnimationChannels(SgToken instance, ...);
void Sg_AnimController(void* status, ...);
void Sg_Animation(SgToken first, ...);
void Sg_Inquire_Animation(SgToken first, ...);
void Sg_ValidateFrameRate(int32_t* rate);
void Sg_Euler2Matrix(SgEuler* euler, SgMatrix* matrix);
void Sg_Matrix_Invert(SgMatrix* source, SgMatrix* destination);
void Sg_Matrix_Multiply(int16_t mode, SgMatrix* a, SgMatrix* b, SgMatrix* result);
void Sg_Matrix2Euler(SgMatrix* matrix, int32_t order, SgEuler* euler);
void Sg_Convert_Pathname(char* path);
void Sg_Report_Error(int32_t severity, const char* messageId, const char* function, ...);
void Sg_RegisterClassStorage(uint32_t classId, int32_t a, int32_t b);
void Sg_RegisterClassStorageAux(int32_t flag);
void Sg_SetupTrieGraphSystem(void);
}

// List terminators, passed pointer-sized like every other list item.
inline void* const kSgEnd = nullptr;
inline void* const kSgOne = reinterpret_cast<void*>(intptr_t{1});

// -- Import I/O (vc64_imp)

// The record the host hands to the import's message callback.
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

// Handles of an instance's default animation channels; entries 10..18 are
// translation x y z, scale x y z, rotation x y z.
enum { kDefaultChannelTableSize = 20 };

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
void Import_IO_Center_Window(HWND parent, HWND dialog);
void Import_IO_SdFloat_To_Dialog(HWND dialog, int16_t controlId, float value);
void Import_IO_Dialog_To_SdFloat(HWND dialog, int32_t controlId, float* value);
void Import_IO_SetFocus_Edit_Control(HWND dialog, int32_t controlId);
void Import_IO_Set_Control_Enable(HWND dialog, int32_t controlId, int32_t enable);
void Import_IO_DisplayHelpTopic(HWND window, const char* settingsDirectory, const char* helpFile, const char* topic);
}
