# Exploit mitigations for every program and test built here. Both programs
# parse executables that users download from anywhere.
#
# Linux: what Debian builds its own packages with (dpkg-buildflags with
# hardening=+all: the strong stack protector, _FORTIFY_SOURCE=2, format-string
# checks, relro with immediate binding, PIE), and stack-clash and control-flow
# (CET) protection, which dpkg adds from Debian 13 on and GCC 12 already has.
# Windows: ASLR, high-entropy ASLR and DEP. MinGW-w64's ld sets them by default
# since binutils 2.36; they are named here so that no other linker drops them.

# The flags that keep release builds reproducible come with these, for every
# build whether hardened or not.
include(${CMAKE_CURRENT_LIST_DIR}/reproducible.cmake)

option(KELM_HARDENING "Build with the distributions' hardening flags" ON)
# WebAssembly has none of these to take: the browser's sandbox bounds its
# memory and checks every indirect call.
if(NOT KELM_HARDENING OR EMSCRIPTEN)
  return()
endif()

if(WIN32)
  add_link_options(LINKER:--dynamicbase LINKER:--high-entropy-va LINKER:--nxcompat)
  return()
endif()

include(CheckCCompilerFlag)
include(CheckCXXCompilerFlag)
include(CheckPIESupported)

set(CMAKE_POSITION_INDEPENDENT_CODE ON)
check_pie_supported(LANGUAGES C CXX)
add_compile_options(-fstack-protector-strong -Wformat -Werror=format-security)
add_link_options(LINKER:-z,relro LINKER:-z,now)

foreach(flag -fstack-clash-protection -fcf-protection)
  string(MAKE_C_IDENTIFIER "KELM_HAS${flag}" var)
  check_c_compiler_flag(${flag} ${var}_C)
  check_cxx_compiler_flag(${flag} ${var}_CXX)
  if(${var}_C AND ${var}_CXX)
    add_compile_options(${flag})
  endif()
endforeach()

# _FORTIFY_SOURCE needs an optimised build, and under the sanitizers it would
# route copies through glibc's checked variants, past the interceptors that the
# sanitizers watch with. -U first: some compilers predefine another level.
if(NOT (CMAKE_C_FLAGS MATCHES "-fsanitize" OR CMAKE_CXX_FLAGS MATCHES "-fsanitize" OR KELM_FUZZ))
  add_compile_options("$<$<NOT:$<CONFIG:Debug>>:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
endif()
