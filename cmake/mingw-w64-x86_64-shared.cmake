# 64-bit Windows with the C++ runtime as DLLs: the toolchain of Qt and of the desktop application.
set(VELOMIRE_WINDOWS_SHARED_RUNTIME ON)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)
