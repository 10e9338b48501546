# SPDX-License-Identifier: GPL-3.0-or-later
# Cross build for 64-bit Windows with Debian's mingw-w64, tests run under Wine.
#
# The -posix compilers: the default win32-thread variant has no std::mutex or std::thread, which
# GoogleTest needs. The programs link statically (see the project's CMakeLists.txt), so they need no
# MinGW runtime DLLs; those that link the Qt DLLs take the runtime DLLs that Qt itself loads.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(KV_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${KV_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KV_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${KV_MINGW_TRIPLET}-windres)

# Wine's 64-bit loader (not on PATH in Debian) runs the test programs and GoogleTest's discovery.
set(CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)

# Libraries and headers come from the target's sysroot only; programs from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${KV_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config, which the find-root settings do not reach, likewise sees the target's packages only.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${KV_MINGW_TRIPLET}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")
