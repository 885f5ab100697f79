# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (packages g++-mingw-w64-x86-64):
#   cmake -S . -B build-windows -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DIMPORTARFAC_WITH_QT=OFF
# The posix thread model: GCC 12's win32 one has no std::thread or std::mutex. Programs are
# linked statically, so that they need no MinGW runtime DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(IMPORTARFAC_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${IMPORTARFAC_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${IMPORTARFAC_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${IMPORTARFAC_MINGW_PREFIX}-windres)

# Headers and libraries of the target only; programs of this machine.
set(CMAKE_FIND_ROOT_PATH /usr/${IMPORTARFAC_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Tests run under wine where it is installed (ctest, gtest_discover_tests).
find_program(IMPORTARFAC_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_DEFAULT_PATH)
if(NOT IMPORTARFAC_WINE)
    find_program(IMPORTARFAC_WINE NAMES wine64 wine)
endif()
if(IMPORTARFAC_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${IMPORTARFAC_WINE})
endif()
