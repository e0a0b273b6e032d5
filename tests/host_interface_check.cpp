// Compiled, never run: fails the build when the plug-in's declarations of the
// host's functions and records (its host.h) drift from the host's own headers.
// The two sets cannot meet in one file as they are, so the plug-in's functions
// are renamed here and its header read inside a namespace of its own; its
// records then map onto the host's before each function's type is compared.
#ifndef _WIN32  // host.h takes the window system's declarations from <windows.h> there

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <type_traits>

#include "varnex/host.h"
#include "varnex/importio.h"
#include "varnex/importio_dialogs.h"
#include "varnex/window_system.h"

// Every function the plug-in declares in host.h. One missing here is still
// compared by the compiler when its types are all plain (two C functions of
// one name must agree), and fails to compile when it takes a record.
#define VX_HOST_FUNCTIONS(X)                                                                   \
  X(Sg_Inquire_Token) X(Sg_Add_Empty_Node) X(Sg_Attach) X(Sg_Detach) X(Sg_Instance)            \
  X(Sg_Transform) X(Sg_AddDefaultAnimationChannels) X(Sg_AnimController) X(Sg_Animation)       \
  X(Sg_Inquire_Animation) X(Sg_ValidateFrameRate) X(Sg_Euler2Matrix) X(Sg_Matrix_Invert)       \
  X(Sg_Matrix_Multiply) X(Sg_Matrix2Euler) X(Sg_Convert_Pathname) X(Sg_Report_Error)           \
  X(Sg_RegisterClassStorage) X(Sg_RegisterClassStorageAux) X(Sg_SetupTrieGraphSystem)          \
  X(Import_IO_Initialize) X(Import_IO_Abort_Cleanup) X(Import_IO_Cleanup) X(Import_IO_printf)  \
  X(Import_IO_Report_Error) X(Import_IO_Display_Info_Text) X(Import_IO_Check_For_Abort)        \
  X(Import_IO_MakeNameUnique) X(Import_IO_Get_DefaultAnimationChannelPtrs)                     \
  X(Import_IO_OptimizeTransformationChannels) X(Import_IO_Copy_String)                         \
  X(Import_IO_String_To_Lower) X(Import_IO_Strip_Whitespace) X(Import_IO_Center_Window)        \
  X(Import_IO_SdFloat_To_Dialog) X(Import_IO_Dialog_To_SdFloat)                                \
  X(Import_IO_SetFocus_Edit_Control) X(Import_IO_Set_Control_Enable)                           \
  X(Import_IO_DisplayHelpTopic) X(DialogBoxParamA) X(EndDialog) X(CheckDlgButton) X(MessageBoxA)

// The host's types, taken before the renaming below reaches these names.
namespace host_side {
#define VX_HOST_TYPE(name) using host_##name = decltype(::name);
VX_HOST_FUNCTIONS(VX_HOST_TYPE)
#undef VX_HOST_TYPE
}  // namespace host_side

#define Sg_Inquire_Token plugin_Sg_Inquire_Token
#define Sg_Add_Empty_Node plugin_Sg_Add_Empty_Node
#define Sg_Attach plugin_Sg_Attach
#define Sg_Detach plugin_Sg_Detach
#define Sg_Instance plugin_Sg_Instance
#define Sg_Transform plugin_Sg_Transform
#define Sg_AddDefaultAnimationChannels plugin_Sg_AddDefaultAnimationChannels
#define Sg_AnimController plugin_Sg_AnimController
#define Sg_Animation plugin_Sg_Animation
#define Sg_Inquire_Animation plugin_Sg_Inquire_Animation
#define Sg_ValidateFrameRate plugin_Sg_ValidateFrameRate
#define Sg_Euler2Matrix plugin_Sg_Euler2Matrix
#define Sg_Matrix_Invert plugin_Sg_Matrix_Invert
#define Sg_Matrix_Multiply plugin_Sg_Matrix_Multiply
#define Sg_Matrix2Euler plugin_Sg_Matrix2Euler
#define Sg_Convert_Pathname plugin_Sg_Convert_Pathname
#define Sg_Report_Error plugin_Sg_Report_Error
#define Sg_RegisterClassStorage plugin_Sg_RegisterClassStorage
#define Sg_RegisterClassStorageAux plugin_Sg_RegisterClassStorageAux
#define Sg_SetupTrieGraphSystem plugin_Sg_SetupTrieGraphSystem
#define Import_IO_Initialize plugin_Import_IO_Initialize
#define Import_IO_Abort_Cleanup plugin_Import_IO_Abort_Cleanup
#define Import_IO_Cleanup plugin_Import_IO_Cleanup
#define Import_IO_printf plugin_Import_IO_printf
#define Import_IO_Report_Error plugin_Import_IO_Report_Error
#define Import_IO_Display_Info_Text plugin_Import_IO_Display_Info_Text
#define Import_IO_Check_For_Abort plugin_Import_IO_Check_For_Abort
#define Import_IO_MakeNameUnique plugin_Import_IO_MakeNameUnique
#define Import_IO_Get_DefaultAnimationChannelPtrs plugin_Import_IO_Get_DefaultAnimationChannelPtrs
#define Import_IO_OptimizeTransformationChannels plugin_Import_IO_OptimizeTransformationChannels
#define Import_IO_Copy_String plugin_Import_IO_Copy_String
#define Import_IO_String_To_Lower plugin_Import_IO_String_To_Lower
#define Import_IO_Strip_Whitespace plugin_Import_IO_Strip_Whitespace
#define Import_IO_Center_Window plugin_Import_IO_Center_Window
#define Import_IO_SdFloat_To_Dialog plugin_Import_IO_SdFloat_To_Dialog
#define Import_IO_Dialog_To_SdFloat plugin_Import_IO_Dialog_To_SdFloat
#define Import_IO_SetFocus_Edit_Control plugin_Import_IO_SetFocus_Edit_Control
#define Import_IO_Set_Control_Enable plugin_Import_IO_Set_Control_Enable
#define Import_IO_DisplayHelpTopic plugin_Import_IO_DisplayHelpTopic
#define DialogBoxParamA plugin_DialogBoxParamA
#define EndDialog plugin_EndDialog
#define CheckDlgButton plugin_CheckDlgButton
#define MessageBoxA plugin_MessageBoxA

// The standard headers it includes are read already, so their guards keep
// them out of the namespace.
namespace plugin_side {
#include "host.h"
}  // namespace plugin_side

namespace {

// A plug-in type with its records replaced by the host's of the same name.
template <class T> struct InHost { using type = T; };
template <class T> using InHostT = typename InHost<T>::type;
template <> struct InHost<plugin_side::SgMatrix> { using type = ::SgMatrix; };
template <> struct InHost<plugin_side::SgEuler> { using type = ::SgEuler; };
template <> struct InHost<plugin_side::ImportIoMessage> { using type = ::ImportIoMessage; };
template <> struct InHost<plugin_side::ImportIoProgress> { using type = ::ImportIoProgress; };
template <class T> struct InHost<T*> { using type = InHostT<T>*; };
template <class T> struct InHost<const T> { using type = const InHostT<T>; };
template <class R, class... A> struct InHost<R(A...)> { using type = InHostT<R>(InHostT<A>...); };
template <class R, class... A> struct InHost<R(A..., ...)> { using type = InHostT<R>(InHostT<A>..., ...); };

#define VX_SAME_FUNCTION(name)                                                                  \
  static_assert(std::is_same_v<InHostT<decltype(plugin_side::plugin_##name)>, host_side::host_##name>, \
                "the plug-in's host.h and the host's headers declare " #name " differently");
VX_HOST_FUNCTIONS(VX_SAME_FUNCTION)

// Records the plug-in fills or reads field by field: same size, and each
// field of the same type at the same offset.
#define VX_SAME_FIELD(record, field)                                                                      \
  static_assert(std::is_same_v<decltype(plugin_side::record::field), decltype(::record::field)> &&        \
                    offsetof(plugin_side::record, field) == offsetof(::record, field),                    \
                "the plug-in's " #record "::" #field " differs from the host's");
#define VX_SAME_SIZE(record) \
  static_assert(sizeof(plugin_side::record) == sizeof(::record), "the plug-in's " #record " differs in size from the host's");
VX_SAME_SIZE(SgMatrix) VX_SAME_FIELD(SgMatrix, m)
VX_SAME_SIZE(SgEuler) VX_SAME_FIELD(SgEuler, v)
VX_SAME_SIZE(ImportIoMessage) VX_SAME_FIELD(ImportIoMessage, kind) VX_SAME_FIELD(ImportIoMessage, reserved0)
VX_SAME_FIELD(ImportIoMessage, reserved1) VX_SAME_FIELD(ImportIoMessage, text)
VX_SAME_SIZE(ImportIoProgress) VX_SAME_FIELD(ImportIoProgress, kind) VX_SAME_FIELD(ImportIoProgress, done)
VX_SAME_FIELD(ImportIoProgress, total) VX_SAME_FIELD(ImportIoProgress, reserved)
static_assert(std::is_same_v<plugin_side::SgToken, ::SgToken>);
static_assert(plugin_side::kDefaultChannelTableSize == vxhost::kChannelTableSize,
              "Import_IO_Get_DefaultAnimationChannelPtrs fills a table of another size than the plug-in's");

}  // namespace

#endif  // _WIN32
