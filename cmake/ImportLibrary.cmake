# Builds a 32-bit DLL's import library from the definitions the linker wrote
# ("Name = Name@N" per export): callers' compilers ask for Name@N, the DLL
# exports Name.
#   cmake -DDEF=<written .def> -DDLLTOOL=<dlltool> -DDLL_NAME=<x.dll>
#         -DIMPLIB=<import library> -P ImportLibrary.cmake
file(STRINGS "${DEF}" lines)
set(text "LIBRARY \"${DLL_NAME}\"\nEXPORTS\n")
foreach(line IN LISTS lines)
  if(line MATCHES "^[ \t]+([A-Za-z_][A-Za-z0-9_]*)( = ([A-Za-z_][A-Za-z0-9_]*@[0-9]+))?")
    if(CMAKE_MATCH_3)
      string(APPEND text "  ${CMAKE_MATCH_3}\n")
    else()
      string(APPEND text "  ${CMAKE_MATCH_1}\n")
    endif()
  endif()
endforeach()
get_filename_component(dir "${IMPLIB}" DIRECTORY)
get_filename_component(stem "${DEF}" NAME_WE)
set(decorated "${dir}/${stem}.decorated.def")
file(WRITE "${decorated}" "${text}")
execute_process(COMMAND "${DLLTOOL}" --kill-at --input-def "${decorated}" --dllname "${DLL_NAME}"
                        --output-lib "${IMPLIB}"
                RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "dlltool could not make ${IMPLIB}")
endif()
