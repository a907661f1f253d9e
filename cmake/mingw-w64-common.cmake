# The part of the MinGW-w64 toolchains that does not depend on the target's bitness; the
# including file sets ORDEX_MINGW_PREFIX.
set(CMAKE_C_COMPILER ${ORDEX_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ORDEX_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ORDEX_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${ORDEX_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Every executable carries its C and C++ runtime and the thread library, so that it needs no DLL
# beyond those of Windows itself (and the tests run under Wine without a DLL search path).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# The shipped build carries no symbols: Windows' debuggers cannot read GCC's anyway.
set(CMAKE_EXE_LINKER_FLAGS_MINSIZEREL_INIT "-s")
set(CMAKE_CROSSCOMPILING_EMULATOR wine)
