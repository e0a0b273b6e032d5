# Cross-compiles for 64-bit Windows with Debian's mingw-w64 (packages
# g++-mingw-w64-x86-64-win32 and binutils-mingw-w64-x86-64):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VARNEX_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER ${VARNEX_MINGW_PREFIX}-gcc)
set(CMAKE_CXX_COMPILER ${VARNEX_MINGW_PREFIX}-g++)
set(CMAKE_RC_COMPILER ${VARNEX_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${VARNEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's own runtime goes into every binary, so the DLLs and the
# program run on a plain Windows (or wine) without mingw's runtime DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
# A DLL re-exporting that runtime would clash with the next one's own copy.
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static -Wl,--exclude-libs,libgcc.a:libgcc_eh.a:libstdc++.a:libsupc++.a")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static -Wl,--exclude-libs,libgcc.a:libgcc_eh.a:libstdc++.a:libsupc++.a")

# GCC 12's -Wrestrict reports overlaps inside libstdc++'s own string
# concatenation that cannot happen (GCC bug 105329); only the cross compiler
# at -O2 trips over it.
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")
