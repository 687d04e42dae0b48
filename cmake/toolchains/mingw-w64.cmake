# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads flavour), run through Wine.

set (CMAKE_SYSTEM_NAME Windows)
set (CMAKE_SYSTEM_PROCESSOR x86_64)

set (TW_MINGW_TRIPLE x86_64-w64-mingw32)

# The win32-threads flavour of GCC 12 has no std::mutex or std::thread; JUCE needs them.
set (CMAKE_C_COMPILER ${TW_MINGW_TRIPLE}-gcc-posix)
set (CMAKE_CXX_COMPILER ${TW_MINGW_TRIPLE}-g++-posix)
set (CMAKE_RC_COMPILER ${TW_MINGW_TRIPLE}-windres)
set (CMAKE_AR ${TW_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set (CMAKE_RANLIB ${TW_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

# Libraries and headers come from the MinGW sysroot and from the folder of the cross-built
# libpng and libjpeg (TW_MINGW_DEPS_PREFIX, set by the project before it looks for them).
set (CMAKE_FIND_ROOT_PATH /usr/${TW_MINGW_TRIPLE})
if (DEFINED TW_MINGW_DEPS_PREFIX)
    list (APPEND CMAKE_FIND_ROOT_PATH "${TW_MINGW_DEPS_PREFIX}")
endif()
set (CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set (CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set (CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set (CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian's JUCE CMake package sits outside the sysroot; find_package would not look there.
set (JUCE_DIR /usr/lib/x86_64-linux-gnu/cmake/JUCE-7.0.5 CACHE PATH "")

# libz-mingw-w64-dev ships libz.a beside the DLL import library: take the static one.
set (ZLIB_USE_STATIC_LIBS ON)

# One self-contained exe: no libstdc++, libgcc or winpthread DLL beside it.
set (CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine's 64-bit loader (the 'wine' wrapper warns about a missing wine32).
if (EXISTS /usr/lib/wine/wine64)
    set (CMAKE_CROSSCOMPILING_EMULATOR /usr/lib/wine/wine64)
else()
    set (CMAKE_CROSSCOMPILING_EMULATOR wine)
endif()
