# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads), linked statically.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(GLOWVIEW_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${GLOWVIEW_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${GLOWVIEW_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${GLOWVIEW_MINGW_TRIPLE}-windres)
set(CMAKE_ASM_NASM_OBJECT_FORMAT win64)

# Libraries and headers come from the target's root and the prefix of our own
# builds (CMAKE_PREFIX_PATH); programs from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${GLOWVIEW_MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian's zlib ships an import library (libz.dll.a) beside the static one, and
# the Windows platform files prefer import libraries: name the static one.
set(ZLIB_LIBRARY /usr/${GLOWVIEW_MINGW_TRIPLE}/lib/libz.a CACHE FILEPATH "Static zlib")

# The programs must run on a bare Windows: the C++ runtime, libgcc and
# winpthread go into the .exe, and only system DLLs are imported.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under Wine on this machine.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh)
