# Delay-loaded imports for the Windows programs.
#
# Windows looks for an imported DLL that is not one of its KnownDLLs in the
# program's own folder first, before the loader has run a line of ours: a DLL
# of that name lying beside the program (a Downloads folder) would run its
# code in our process. Such a DLL is imported through a delay-load library
# instead: nothing is loaded at start-up, and by its first call the program
# has confined the search to the system folder (confine_library_search) and
# loaded it from there itself.
#
# kelm_delay_import(NAME DLL) makes the imported library NAME_delay from
# MinGW-w64's import library libNAME.a: the same functions, bound at first use.
function(kelm_delay_import name dll)
  find_library(_kelm_implib_${name} NAMES lib${name}.a REQUIRED)
  execute_process(COMMAND ${CMAKE_NM} ${_kelm_implib_${name}} OUTPUT_VARIABLE _symbols COMMAND_ERROR_IS_FATAL ANY)
  string(REGEX MATCHALL "__imp_[A-Za-z0-9_]+" _imports "${_symbols}")
  list(REMOVE_DUPLICATES _imports)
  list(TRANSFORM _imports REPLACE "^__imp_" "")
  list(SORT _imports)
  string(JOIN "\n" _exports ${_imports})
  set(_dir ${CMAKE_BINARY_DIR}/delayload)
  file(CONFIGURE OUTPUT ${_dir}/${name}.def CONTENT "LIBRARY ${dll}\nEXPORTS\n${_exports}\n")
  add_custom_command(OUTPUT ${_dir}/lib${name}_delay.a
    COMMAND ${CMAKE_DLLTOOL} --input-def ${_dir}/${name}.def --dllname ${dll}
            --output-delaylib ${_dir}/lib${name}_delay.a
    DEPENDS ${_dir}/${name}.def VERBATIM)
  add_custom_target(${name}_delay_lib DEPENDS ${_dir}/lib${name}_delay.a)
  add_library(${name}_delay STATIC IMPORTED GLOBAL)
  set_target_properties(${name}_delay PROPERTIES IMPORTED_LOCATION ${_dir}/lib${name}_delay.a)
  add_dependencies(${name}_delay ${name}_delay_lib)
endfunction()
