// The scene-graph library's C interface (vc64_hq), as the host defines it.
// The plug-in declares the same functions on its own side; the two sets of
// declarations meet only at link time, so never include both in one file
// (tests/host_interface_check.cpp does, renaming the plug-in's, to compare them).
#pragma once

#include <cstdint>

// A token is the pointer-sized handle of an interned word. Every item of a
// variadic list is pointer-sized: tokens, strings, addresses, and the small
// integers 0 (end of list) and 1 (end of a compound clause).
typedef void* SgToken;

// Matrices are 16 floats, column-major (element [col * 4 + row]).
struct SgMatrix {
  float m[16];
};
// Angles about x, y, z in radians, then the matrix Euler-order code.
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
