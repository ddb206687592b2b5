# What both mingw-w64 toolchain files share; QVX_MINGW_TRIPLE names the
# target. The "-posix" compilers are used because the C++ thread library
# needs their threading model.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER ${QVX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${QVX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${QVX_MINGW_TRIPLE}-windres)
set(CMAKE_AR ${QVX_MINGW_TRIPLE}-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${QVX_MINGW_TRIPLE}-ranlib CACHE FILEPATH "")
set(CMAKE_NM ${QVX_MINGW_TRIPLE}-nm CACHE FILEPATH "")
set(CMAKE_OBJDUMP ${QVX_MINGW_TRIPLE}-objdump CACHE FILEPATH "")
set(CMAKE_DLLTOOL ${QVX_MINGW_TRIPLE}-dlltool CACHE FILEPATH "")

set(CMAKE_FIND_ROOT_PATH /usr/${QVX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No runtime DLLs beside the system's: libgcc, libstdc++ and winpthread are
# linked into every module.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
# Release DLLs carry no symbol table; the export check reads the compiled
# names from the library archive, not from the DLL.
set(CMAKE_SHARED_LINKER_FLAGS_RELEASE_INIT "-s")
