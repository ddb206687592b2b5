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
  string(APPEND QVX_DEF_TEXT "  ${name}\n")
endforeach()
set(QVX_DEF_FILE "${CMAKE_CURRENT_BINARY_DIR}/QvxEffect.def")
file(CONFIGURE OUTPUT "${QVX_DEF_FILE}" CONTENT "${QVX_DEF_TEXT}")
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${CMAKE_CURRENT_SOURCE_DIR}/exports/ExportTable.inc")

if(NOT WIN32)
  # One shared object with everything a caller needs: the effects, the
  # sibling library stand-in and the global memory functions.
  add_library(QvxEffect SHARED exports/SharedObject.c)
  set_source_files_properties(exports/SharedObject.c PROPERTIES LANGUAGE CXX)
  target_link_libraries(QvxEffect PRIVATE
    -Wl,--whole-archive qvx_core QvxCom qvx_platform -Wl,--no-whole-archive)
endif()
