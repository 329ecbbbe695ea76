# Cross-compiles Mivra's core and command line for 64-bit Windows with
# mingw-w64. The root CMakeLists links the runtime statically, so the result
# is one mivra.exe that needs no DLL besides the system's.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MIVRA_MINGW_PREFIX x86_64-w64-mingw32)
# The posix thread model gives the standard library its full thread support;
# -static folds winpthread into the executable.
find_program(MIVRA_MINGW_CXX NAMES ${MIVRA_MINGW_PREFIX}-g++-posix ${MIVRA_MINGW_PREFIX}-g++ REQUIRED)
find_program(MIVRA_MINGW_CC NAMES ${MIVRA_MINGW_PREFIX}-gcc-posix ${MIVRA_MINGW_PREFIX}-gcc REQUIRED)
set(CMAKE_C_COMPILER ${MIVRA_MINGW_CC})
set(CMAKE_CXX_COMPILER ${MIVRA_MINGW_CXX})
set(CMAKE_RC_COMPILER ${MIVRA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MIVRA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
