# Cross-compiling for 64-bit Windows with Debian's mingw-w64 (package
# g++-mingw-w64-x86-64). Programs built this way run on Linux under wine64,
# which is how the tests exercise the Windows code paths (GDI drawing,
# kernel32 memory, the DLLs' exports).
set(QVX_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
include(${CMAKE_CURRENT_LIST_DIR}/MingwCommon.cmake)

# ctest runs the Windows programs through wine64 (Debian package wine64).
find_program(QVX_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(QVX_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${QVX_WINE64})
endif()
