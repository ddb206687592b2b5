# Cross-compiling the 32-bit Windows product (QvxEffect.dll, QvxCom.dll) with
# Debian's mingw-w64 (package g++-mingw-w64-i686).
set(QVX_MINGW_TRIPLE i686-w64-mingw32)
set(CMAKE_SYSTEM_PROCESSOR x86)
include(${CMAKE_CURRENT_LIST_DIR}/MingwCommon.cmake)
