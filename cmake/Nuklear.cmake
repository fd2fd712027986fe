# The Nuklear 4.00.1 header, fetched by scripts/setup.sh into .cache/nuklear.
# KELM_NUKLEAR_HEADER may name any other copy; it must have the same sha256.
set(KELM_NUKLEAR_SHA256 5ca9fd74ca145d96271a8f09679f33ce7d4ac3a460c0bc41d73f5387c9b9f94d)
set(KELM_NUKLEAR_HEADER "${CMAKE_SOURCE_DIR}/.cache/nuklear/nuklear.h" CACHE FILEPATH "Path to nuklear.h (4.00.1)")

if(NOT EXISTS "${KELM_NUKLEAR_HEADER}")
  message(FATAL_ERROR "nuklear.h not found at ${KELM_NUKLEAR_HEADER}: run scripts/setup.sh first")
endif()
file(SHA256 "${KELM_NUKLEAR_HEADER}" _kelm_nuklear_hash)
if(NOT _kelm_nuklear_hash STREQUAL KELM_NUKLEAR_SHA256)
  message(FATAL_ERROR "${KELM_NUKLEAR_HEADER} has sha256 ${_kelm_nuklear_hash}, expected ${KELM_NUKLEAR_SHA256}")
endif()

# The header goes into a folder of its own in the build tree, so that nothing
# else beside it in its original location can be picked up by accident.
set(_kelm_nuklear_dir "${CMAKE_BINARY_DIR}/nuklear-include")
configure_file("${KELM_NUKLEAR_HEADER}" "${_kelm_nuklear_dir}/nuklear.h" COPYONLY)

# One compiled copy of the library, configured the way every front end uses it.
add_library(nuklear STATIC "${CMAKE_SOURCE_DIR}/src/nuklear/nuklear_impl.c")
target_include_directories(nuklear PUBLIC "${_kelm_nuklear_dir}" "${CMAKE_SOURCE_DIR}/src/nuklear")
target_compile_options(nuklear PRIVATE -w)
if(NOT WIN32)
  target_link_libraries(nuklear PUBLIC m)
endif()
