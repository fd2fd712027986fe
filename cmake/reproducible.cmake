# What keeps a release build reproducible: the same commit built again, in
# another folder, at another time, gives the same bytes (scripts/package.sh
# takes every time stamp from SOURCE_DATE_EPOCH; scripts/check_reproducible.sh
# builds twice and compares).
#
# Paths: Nuklear's assertions stay on and report __FILE__, the absolute path of
# the header's copy in the build tree, so the folder a release was built in
# would end up in the window's program. The release configurations name files
# relative to the source and build trees instead; the build tree's map comes
# last, so that it wins for the files under it (GCC and Clang take the last
# matching map). The test presets keep absolute paths, for the debugger.
add_compile_options(
  "$<$<CONFIG:Release,MinSizeRel>:-ffile-prefix-map=${CMAKE_SOURCE_DIR}/=>"
  "$<$<CONFIG:Release,MinSizeRel>:-ffile-prefix-map=${CMAKE_BINARY_DIR}/=>")

# Windows: MinGW-w64's ld writes the link time into the PE header unless told
# not to; the header's field is then 0, as in other reproducibly built
# programs. (windres already writes 0 into the resource directories.)
if(WIN32)
  add_link_options(LINKER:--no-insert-timestamp)
endif()
