# `cmake --install`: the tool, the shared library, its header (with the
# headers it includes, under include/qvxeffect), a pkg-config file and a
# CMake package, so that other builds find the library either way.
include(GNUInstallDirs)
include(CMakePackageConfigHelpers)

set(QVX_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/qvxeffect)
set(QVX_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/QvxEffect)
target_include_directories(QvxEffect INTERFACE $<INSTALL_INTERFACE:${QVX_INSTALL_INCLUDEDIR}>)
install(TARGETS QvxEffect EXPORT QvxEffectTargets LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
foreach(header exports/QvxEffect.h frame/DibAccess.h frame/FixedRecords.h frame/ImageHandles.h
               platform/GlobalMemory.h platform/QvxCom.h platform/WinTypes.h)
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${QVX_INSTALL_INCLUDEDIR}/${folder})
endforeach()

install(EXPORT QvxEffectTargets NAMESPACE QvxEffect:: DESTINATION ${QVX_INSTALL_CMAKEDIR})
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/QvxEffectConfig.cmake
     "include(\"\${CMAKE_CURRENT_LIST_DIR}/QvxEffectTargets.cmake\")\n")
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/QvxEffectConfigVersion.cmake
                                 COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/QvxEffectConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/QvxEffectConfigVersion.cmake
        DESTINATION ${QVX_INSTALL_CMAKEDIR})

# The pkg-config file finds the prefix from its own place, so that an
# install moved elsewhere (or made with --prefix) still works.
file(RELATIVE_PATH QVX_PC_TO_PREFIX "/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/")
file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/qvxeffect.pc
     "prefix=\${pcfiledir}/${QVX_PC_TO_PREFIX}\n"
     "libdir=\${prefix}/${CMAKE_INSTALL_LIBDIR}\n"
     "includedir=\${prefix}/${QVX_INSTALL_INCLUDEDIR}\n\n"
     "Name: QvxEffect\n"
     "Description: Image effects on packed DIBs in global memory\n"
     "Version: ${PROJECT_VERSION}\n"
     "Libs: -L\${libdir} -lQvxEffect\n"
     "Cflags: -I\${includedir}\n")
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/qvxeffect.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

# The test: install into a scratch folder and build a small program against
# the result from C, once through pkg-config and once through find_package.
if(QVX_BUILD_TESTS)
  add_test(NAME install_check
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/cmake/install-check/check.sh
                   ${CMAKE_BINARY_DIR} ${CMAKE_C_COMPILER} "${CMAKE_C_FLAGS}")
endif()
