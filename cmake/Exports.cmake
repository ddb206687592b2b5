# The module definition file is produced from the export table, the single
# list of what the library exports.
file(STRINGS "${CMAKE_CURRENT_SOURCE_DIR}/exports/ExportTable.inc" QVX_EXPORT_ROWS REGEX "^QVX_EXPORT\\(")
set(QVX_EXPORT_NAMES)
set(QVX_DEF_TEXT "LIBRARY QvxEffect\nEXPORTS\n")
foreach(row ${QVX_EXPORT_ROWS})
  string(REGEX REPLACE "^QVX_EXPORT\\(([A-Za-z0-9_]+), *([0-9]+),.*$" "\\1;\\2" fields "${row}")
  list(GET fields 0 name)
  list(GET fields 1 bytes)
  list(APPEND QVX_EXPORT_NAMES ${name})
  if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 4)
    # The compiler names a standard-calling-convention function Name@N; the
    # module exports it as plain Name. A function compiled with other
    # argument bytes than the table's has no such name and the link fails.
    string(APPEND QVX_DEF_TEXT "  ${name} = ${name}@${bytes}\n")
  else()
    string(APPEND QVX_DEF_TEXT "  ${name}\n")
  endif()
endforeach()
set(QVX_DEF_FILE "${CMAKE_CURRENT_BINARY_DIR}/QvxEffect.def")
file(CONFIGURE OUTPUT "${QVX_DEF_FILE}" CONTENT "${QVX_DEF_TEXT}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/exports/ExportTable.inc")

add_library(QvxEffect SHARED exports/SharedObject.c)
set_source_files_properties(exports/SharedObject.c PROPERTIES LANGUAGE CXX)
if(WIN32)
  # QvxEffect.dll: the library and its drawing layer, importing QvxCom.dll,
  # kernel32, user32 and gdi32; it exports exactly the table's functions.
  target_sources(QvxEffect PRIVATE "${QVX_DEF_FILE}")
  target_link_libraries(QvxEffect PRIVATE
    -Wl,--whole-archive qvx_core qvx_platform -Wl,--no-whole-archive)
  qvx_windows_dll(QvxEffect)

  # The export check compares the built DLL with the table: names exported,
  # argument bytes compiled, DLLs imported. Before the link it looks at the
  # compiled functions alone, so that a function compiled with other
  # argument bytes is reported in the same table rather than as a bare link
  # error; after the build it runs as a test.
  set(QVX_EXPORT_CHECK
    ${CMAKE_COMMAND} -DTABLE=${CMAKE_CURRENT_SOURCE_DIR}/exports/ExportTable.inc
      -DARCHIVE=$<TARGET_FILE:qvx_core> -DNM=${CMAKE_NM} -DOBJDUMP=${CMAKE_OBJDUMP}
      -DSTACK_BYTES=${QVX_32BIT_WINDOWS})
  add_custom_command(TARGET QvxEffect PRE_LINK
    COMMAND ${QVX_EXPORT_CHECK} -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/CheckExports.cmake
    VERBATIM)
  add_test(NAME export_check
    COMMAND ${QVX_EXPORT_CHECK} -DDLL=$<TARGET_FILE:QvxEffect> -DCOM_DLL=$<TARGET_FILE:QvxCom>
      -P ${CMAKE_CURRENT_SOURCE_DIR}/cmake/CheckExports.cmake)
else()
  # One shared object with everything a caller needs: the effects, the
  # sibling library stand-in and the global memory functions.
  target_link_libraries(QvxEffect PRIVATE
    -Wl,--whole-archive qvx_core QvxCom qvx_platform -Wl,--no-whole-archive)
  # It exports the table's functions and the C functions of the sibling
  # library and the memory layer, not the library's C++ internals.
  set(QVX_MAP_TEXT "{\n  global:\n")
  foreach(name ${QVX_EXPORT_NAMES})
    string(APPEND QVX_MAP_TEXT "    ${name};\n")
  endforeach()
  file(STRINGS "${CMAKE_CURRENT_SOURCE_DIR}/platform/QvxCom.h" com_lines REGEX "^QVXCOM_API")
  foreach(line ${com_lines})
    if(line MATCHES "([A-Za-z0-9_]+)\\(")
      string(APPEND QVX_MAP_TEXT "    ${CMAKE_MATCH_1};\n")
    endif()
  endforeach()
  string(APPEND QVX_MAP_TEXT "    Global*;\n    QvxMem*;\n  local: *;\n};\n")
  set(QVX_MAP_FILE "${CMAKE_CURRENT_BINARY_DIR}/QvxEffect.map")
  file(CONFIGURE OUTPUT "${QVX_MAP_FILE}" CONTENT "${QVX_MAP_TEXT}")
  target_link_options(QvxEffect PRIVATE "-Wl,--version-script=${QVX_MAP_FILE}")
  set_property(TARGET QvxEffect APPEND PROPERTY LINK_DEPENDS "${QVX_MAP_FILE}")
endif()
