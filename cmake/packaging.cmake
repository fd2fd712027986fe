# Releases: what `cmake --install` lays out and `cpack -G DEB` and `cpack -G RPM`
# wrap.
#
# Linux: the tree of the kelm-patcher Debian package and RPM under /usr: both
# programs, the desktop entry, the icon in the hicolor sizes, the AppStream
# metainfo, the two manual pages, the changelog and the copyright file.
# Windows: one flat folder with the two .exe files, a readme, the licence and
# the third-party notices, which scripts/package.sh zips. The licence texts of
# others are written at install time by packaging/make_docs.py, from the
# Nuklear header the build used and from the copyright files of the Debian
# packages that provided the font and the MinGW-w64 runtime.

# Folders that the install creates on its way get these modes whatever the
# umask of whoever builds, as the files already do; otherwise a strict umask
# would reach the packages.
set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(KELM_DEJAVU_COPYRIGHT /usr/share/doc/fonts-dejavu-core/copyright CACHE FILEPATH
    "Debian copyright file of the fonts the UI font is cut from")
set(_kelm_docs ${CMAKE_BINARY_DIR}/package-docs)
set(_kelm_doc_args --version ${PROJECT_VERSION} --license ${CMAKE_SOURCE_DIR}/LICENSE
    --nuklear ${KELM_NUKLEAR_HEADER} --dejavu ${KELM_DEJAVU_COPYRIGHT})

# Runs make_docs.py KIND at install time, before the files it writes are installed.
function(kelm_install_docs kind)
  set(cmd ${KELM_ASSET_PYTHON} ${CMAKE_SOURCE_DIR}/packaging/make_docs.py ${kind} ${_kelm_docs} ${ARGN})
  list(TRANSFORM cmd REPLACE "^(.+)$" "[==[\\1]==]")
  list(JOIN cmd " " cmd)
  install(CODE "execute_process(COMMAND ${cmd} COMMAND_ERROR_IS_FATAL ANY)")
endfunction()

if(WIN32)
  # kelm-patch.exe gets its own version information.
  target_link_libraries(kelm-patch PRIVATE kelm_cli_resources kelm_cli_lang_resources)

  # The static runtime in every .exe: the MinGW-w64 CRT and winpthreads
  # (mingw-w64-x86-64-dev), libgcc and libstdc++ (gcc- and g++-mingw-w64-x86-64-posix).
  set(KELM_MINGW_COPYRIGHT /usr/share/doc/mingw-w64-x86-64-dev/copyright CACHE FILEPATH
      "Debian copyright file of the MinGW-w64 CRT and winpthreads")
  set(KELM_GCC_RUNTIME_COPYRIGHT /usr/share/doc/g++-mingw-w64-x86-64-posix/copyright CACHE FILEPATH
      "Debian copyright file of MinGW-w64 GCC's libgcc and libstdc++")
  install(TARGETS kelm-patcher kelm-patch RUNTIME DESTINATION .)
  kelm_install_docs(windows ${_kelm_doc_args} --readme ${CMAKE_SOURCE_DIR}/packaging/README-windows.txt
    "--runtime=MinGW-w64 runtime: CRT and winpthreads=${KELM_MINGW_COPYRIGHT}"
    "--runtime=GCC runtime libraries: libgcc and libstdc++=${KELM_GCC_RUNTIME_COPYRIGHT}")
  install(FILES ${_kelm_docs}/README.txt ${_kelm_docs}/LICENSE.txt ${_kelm_docs}/THIRD-PARTY-NOTICES.txt
          DESTINATION .)
  return()
endif()

install(TARGETS kelm-patcher kelm-patch RUNTIME DESTINATION bin)
# The compiler's .comment section goes, as Debian's and RPM's own packaging
# tools take it out of the programs they ship.
foreach(program kelm-patcher kelm-patch)
  install(CODE "execute_process(COMMAND [==[${CMAKE_OBJCOPY}]==] --remove-section=.comment
                \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin/${program}\" COMMAND_ERROR_IS_FATAL ANY)")
endforeach()
install(FILES ${KELM_DESKTOP_FILE} DESTINATION share/applications)
install(FILES ${KELM_METAINFO_FILE} DESTINATION share/metainfo)
foreach(lang ${KELM_LANGUAGES})
  install(FILES ${KELM_LOCALE_DIR}/${lang}/LC_MESSAGES/kelm-patcher.mo DESTINATION share/locale/${lang}/LC_MESSAGES)
endforeach()
install(DIRECTORY ${KELM_ASSETS_DIR}/hicolor DESTINATION share/icons)
set(KELM_RPM_RELEASE 1)
kelm_install_docs(debian ${_kelm_doc_args} --changelog ${CMAKE_SOURCE_DIR}/packaging/changelog
  --rpm-release ${KELM_RPM_RELEASE}
  --man ${CMAKE_SOURCE_DIR}/packaging/kelm-patch.1 --man ${CMAKE_SOURCE_DIR}/packaging/kelm-patcher.1)
install(FILES ${_kelm_docs}/kelm-patch.1.gz ${_kelm_docs}/kelm-patcher.1.gz DESTINATION share/man/man1)
install(FILES ${_kelm_docs}/copyright ${_kelm_docs}/changelog.gz DESTINATION share/doc/kelm-patcher)
# The last rule: every file installed gets the build's one time when it has
# one. Files copied from the source tree keep their checkout time, and assets
# made by an earlier build theirs; both can be older than the last commit,
# and rpmbuild only lowers times to SOURCE_DATE_EPOCH, never raises them.
install(CODE [==[
  if(DEFINED ENV{SOURCE_DATE_EPOCH} AND CMAKE_INSTALL_MANIFEST_FILES)
    # The manifest names the files without DESTDIR, where CPack installs them.
    list(TRANSFORM CMAKE_INSTALL_MANIFEST_FILES PREPEND "$ENV{DESTDIR}" OUTPUT_VARIABLE _kelm_installed)
    execute_process(COMMAND touch --no-dereference --date=@$ENV{SOURCE_DATE_EPOCH} ${_kelm_installed}
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()
]==])

set(CPACK_GENERATOR DEB RPM)
set(CPACK_VERBATIM_VARIABLES ON)
set(CPACK_PACKAGE_NAME kelm-patcher)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "patcher for the frame-rate limit of Quelmor: Thornmere")
set(CPACK_PACKAGE_DESCRIPTION "\
Fixes the frame-rate limit and the music loop of the DOS game
\"Quelmor: Thornmere\" in its main executable, so that it runs at a
sensible speed under DOSBox. It recognises seven editions and leaves
a file it cannot patch byte for byte as it was.

kelm-patcher is the patcher window; kelm-patch does the same on the
command line.")
set(KELM_PACKAGE_MAINTAINER "ostrel <ostrel@users.noreply.github.com>" CACHE STRING
    "Maintainer field of the Debian package")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER ${KELM_PACKAGE_MAINTAINER})
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
# The Depends line comes from the programs themselves, through dpkg-shlibdeps.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

# The RPM, for Fedora, openSUSE and their kin: the same files. Its Requires
# come from the programs too, through rpmbuild's own ELF dependency scan.
set(CPACK_RPM_FILE_NAME RPM-DEFAULT)
set(CPACK_RPM_PACKAGE_RELEASE ${KELM_RPM_RELEASE})
set(CPACK_RPM_PACKAGE_SUMMARY "Patcher for the frame-rate limit of Quelmor: Thornmere")
set(CPACK_RPM_PACKAGE_DESCRIPTION ${CPACK_PACKAGE_DESCRIPTION})
set(CPACK_RPM_PACKAGE_GROUP "Amusements/Games")
string(REGEX REPLACE " *<.*" "" CPACK_RPM_PACKAGE_VENDOR "${KELM_PACKAGE_MAINTAINER}")
# CPack writes no Packager tag; rpmbuild takes it from this macro. The rest
# keep the RPM reproducible: its build time and the times of its files come
# from SOURCE_DATE_EPOCH (scripts/package.sh sets it; CPack's Debian package
# takes every time from it too), and the build host is a name of the
# project's rather than the machine's.
set(CPACK_RPM_SPEC_MORE_DEFINE "%define packager ${KELM_PACKAGE_MAINTAINER}
%define _buildhost kelm-release
%define use_source_date_epoch_as_buildtime 1
%define clamp_mtime_to_source_date_epoch 1")
set(CPACK_PACKAGE_RELOCATABLE OFF)
# SPDX: the programs; Nuklear, under either licence; the DejaVu font.
set(CPACK_RPM_PACKAGE_LICENSE "MIT AND (MIT OR Unlicense) AND Bitstream-Vera")
set(CPACK_RPM_PACKAGE_AUTOREQPROV ON)
set(CPACK_RPM_CHANGELOG_FILE ${_kelm_docs}/rpm-changelog)
set(CPACK_RPM_USER_FILELIST "%license /usr/share/doc/kelm-patcher/copyright"
    "%doc /usr/share/doc/kelm-patcher/changelog.gz")
# Each catalogue marked with its language, so that a system installed with
# only some languages can leave the others out.
foreach(lang ${KELM_LANGUAGES})
  list(APPEND CPACK_RPM_USER_FILELIST "%lang(${lang}) /usr/share/locale/${lang}/LC_MESSAGES/kelm-patcher.mo")
endforeach()
# Folders that the system's own packages own; the RPM owns only its own doc folder.
set(CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/share/applications /usr/share/metainfo
    /usr/share/man /usr/share/man/man1 /usr/share/icons /usr/share/icons/hicolor /usr/share/locale)
foreach(lang ${KELM_LANGUAGES})
  list(APPEND CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/share/locale/${lang}
       /usr/share/locale/${lang}/LC_MESSAGES)
endforeach()
foreach(png ${KELM_HICOLOR_PNGS})
  string(REGEX MATCH "hicolor/[^/]+" size_dir ${png})
  list(APPEND CPACK_RPM_EXCLUDE_FROM_AUTO_FILELIST_ADDITION /usr/share/icons/${size_dir}
       /usr/share/icons/${size_dir}/apps)
endforeach()
include(CPack)
