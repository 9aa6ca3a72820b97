# Cross-compiling for 64-bit Windows with Debian's mingw-w64 toolchain.
#
# The posix flavour of the compiler is used: its C++ runtime has std::thread and std::mutex
# (winpthreads), which the win32 flavour of GCC 12 lacks. Programs are linked statically, so the
# executables need no DLL of the toolchain beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_qm_triple x86_64-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${_qm_triple}-gcc-posix ${_qm_triple}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${_qm_triple}-g++-posix ${_qm_triple}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${_qm_triple}-windres windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${_qm_triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# Prefixes handed in with CMAKE_PREFIX_PATH (the SDL3 build in the dependency cache) lie outside
# the root path and must still be searched.
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)

# Tests and helper programs are run by Wine on the build machine.
find_program(_qm_wine NAMES wine)
if(_qm_wine)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${_qm_wine})
endif()
