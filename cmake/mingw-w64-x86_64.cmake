# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 compiler (g++-mingw-w64-x86-64-posix,
# the one with std::thread). Programs are linked statically, so velomire-cli.exe needs no DLL
# beside it (unless VELOMIRE_WINDOWS_SHARED_RUNTIME); when Wine is installed, CTest runs the
# programs under it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)

# VELOMIRE_WINDOWS_PREFIXES: folders of libraries built for Windows outside the system (Qt and the
# codecs of the desktop build); packages are looked for there and in the MinGW-w64 root.
set(CMAKE_FIND_ROOT_PATH ${VELOMIRE_WINDOWS_PREFIXES} /usr/x86_64-w64-mingw32)
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES VELOMIRE_WINDOWS_PREFIXES)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The desktop build loads the Qt DLLs, which use the C++ runtime DLLs: its programs use them too,
# so that one runtime serves both sides.
if(NOT VELOMIRE_WINDOWS_SHARED_RUNTIME)
    set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
endif()

find_program(VELOMIRE_WINE NAMES wine wine64)
if(VELOMIRE_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${VELOMIRE_WINE})
endif()
