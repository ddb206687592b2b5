# Windows builds (mingw-w64 cross compilers, see the toolchain files).

# Programs and DLLs land in one folder, so that every program finds the DLLs
# beside it.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)

set(QVX_32BIT_WINDOWS OFF)
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(QVX_32BIT_WINDOWS ON)
endif()

# A DLL named exactly after its target (no "lib" prefix). On 32-bit Windows
# its functions use the standard calling convention, so the compiler names
# them Name@N (N = bytes of arguments); the DLL exports them as plain Name,
# and its import library maps the decorated names callers' compilers emit
# onto those plain names. The linker's own import library would carry plain
# names only, so it is rebuilt with dlltool from the definitions the linker
# writes out.
function(qvx_windows_dll target)
  set_target_properties(${target} PROPERTIES PREFIX "")
  if(QVX_32BIT_WINDOWS)
    set(written "${CMAKE_CURRENT_BINARY_DIR}/${target}.written.def")
    target_link_options(${target} PRIVATE -Wl,--kill-at -Wl,--output-def,${written})
    add_custom_command(TARGET ${target} POST_BUILD
      COMMAND ${CMAKE_COMMAND} -DDEF=${written} -DDLLTOOL=${CMAKE_DLLTOOL}
              -DDLL_NAME=$<TARGET_FILE_NAME:${target}> -DIMPLIB=$<TARGET_LINKER_FILE:${target}>
              -P ${PROJECT_SOURCE_DIR}/cmake/ImportLibrary.cmake
      VERBATIM)
  endif()
endfunction()

# GoogleTest is built from source with the cross compiler; Debian's
# googletest package ships the sources.
set(QVX_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources for Windows builds")
macro(qvx_add_googletest)
  if(NOT EXISTS ${QVX_GOOGLETEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "Windows test builds need the GoogleTest sources in "
                        "${QVX_GOOGLETEST_SOURCE} (Debian: googletest), or -DQVX_BUILD_TESTS=OFF")
  endif()
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  add_subdirectory(${QVX_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endmacro()

# Tests of a Windows build run under Wine when the toolchain found it:
# headless, quiet, in a Wine prefix of the build's own, and without offering
# to install Wine's .NET and HTML engines.
if(CMAKE_CROSSCOMPILING AND CMAKE_CROSSCOMPILING_EMULATOR)
  list(GET CMAKE_CROSSCOMPILING_EMULATOR -1 QVX_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR
      env WINEDEBUG=-all WINEPREFIX=${CMAKE_BINARY_DIR}/wine-prefix WINEDLLOVERRIDES=mscoree,mshtml=
          DISPLAY= ${QVX_WINE})
endif()

# Tests left out of the Windows run, where the mask operations are GDI's:
#  - MaskRasterLine/Polygon/Ellipse/FloodFill: properties of the portable
#    rasteriser (exact over the whole 32-bit coordinate range, and ellipses
#    with H >= 2 (W - 1)^2, where GDI draws from memory it never wrote); GDI
#    itself is held to the reference pictures (MaskRasterGolden), and Wine
#    takes many minutes over the far-coordinate cases;
#  - SelectionMaskTest.ManyVerticesFollowTheEvenOddRule: a 200000-vertex
#    polygon takes Wine's GDI about nine minutes.
set(QVX_WINDOWS_SKIPPED_TESTS
    MaskRasterLine.* MaskRasterPolygon.* MaskRasterEllipse.* MaskRasterFloodFill.*
    SelectionMaskTest.ManyVerticesFollowTheEvenOddRule)
list(JOIN QVX_WINDOWS_SKIPPED_TESTS ":" skipped)
set(QVX_TEST_ARGS --gtest_filter=-${skipped})
