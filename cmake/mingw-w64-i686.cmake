# Cross-compiles the 32-bit Windows program with Debian's mingw-w64 packages.
# The -posix variants are named on purpose: the plain compilers use the win32
# thread model and lack std::thread and std::mutex.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(TARNKIT_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TARNKIT_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TARNKIT_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TARNKIT_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${TARNKIT_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests built for Windows run under Wine through ctest.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
