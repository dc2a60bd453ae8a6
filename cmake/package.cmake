# The packages, built with CPack when LCDUMP_PACKAGE is on: on Linux a Debian
# package and a source archive (make package), for Windows a zip (make
# package-windows). Each lays out its own files; names and versions come from
# project().

set(CPACK_PACKAGE_NAME lcdump)
set(CPACK_PACKAGE_VENDOR "the lcdump developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "write binary light-curve measurement files as text")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
  OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

# The source archive holds the files git tracks and nothing else, as they
# are in the working tree when cpack runs: cmake/source_tree.cmake lists them
# with git ls-files then. Outside a git checkout it is the tree less these
# patterns: no git data, no build directory, no editor's leftovers. Paths
# are matched in full, so the tree's own place is anchored (its dots and the
# like turned into character classes: these patterns are read twice, and a
# backslash would have to survive both).
string(REGEX REPLACE "([.+*?^$()|])" "[\\1]" source_path "${PROJECT_SOURCE_DIR}")
string(REGEX REPLACE "([.+*?^$()|])" "[\\1]" binary_path "${PROJECT_BINARY_DIR}")
set(CPACK_SOURCE_GENERATOR TGZ)
set(CPACK_SOURCE_PACKAGE_FILE_NAME lcdump-${PROJECT_VERSION})
set(CPACK_SOURCE_IGNORE_FILES "/[.]git(/|$)" "^${source_path}/build[^/]*/" "^${binary_path}/" "~$" "[.]swp$")
find_package(Git QUIET)
set(CPACK_LCDUMP_GIT "${GIT_EXECUTABLE}")
set(CPACK_LCDUMP_SOURCE_DIR "${PROJECT_SOURCE_DIR}")
set(CPACK_PROJECT_CONFIG_FILE "${PROJECT_SOURCE_DIR}/cmake/source_tree.cmake")

# gzip -9n: compressed as far as it goes, with no name and no time stamp in
# the header, so that the same text gives the same bytes.
function(lcdump_gzip source target)
  execute_process(COMMAND gzip -9n -c ${source} OUTPUT_FILE ${target} RESULT_VARIABLE status)
  if(status)
    message(FATAL_ERROR "lcdump: gzip ${source} failed: install gzip")
  endif()
endfunction()

if(NOT WIN32)
  set(CPACK_GENERATOR DEB)
  # No Debian revision: the package is made by the program's own developers
  # (a native package), so its history is /usr/share/doc/lcdump/changelog.gz.
  set(LCDUMP_MAINTAINER "lcdump developers <lcdump@example.org>" CACHE STRING
    "Maintainer field of the Debian package")
  set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${LCDUMP_MAINTAINER}")
  set(CPACK_DEBIAN_PACKAGE_SECTION science)
  set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
"lcdump turns a binary light-curve measurement file (a record count, then
40-byte records of time, flux, errors, sky and fit quality) into text: the
count on the first line, then one line per measurement, every number as C's
printf writes it. -csv writes a table with column names, -exact the shortest
text that reads back to the same bits, and -fits a FITS binary table.
A damaged file gives its complete records and one line that says why.")
  # Depends: what the binary really links, as dpkg-shlibdeps finds it.
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)

  # Hardened as Debian builds its packages: stack protector, checked string
  # and memory functions, read-only relocations bound at start, PIE.
  include(CheckPIESupported)
  check_pie_supported()
  foreach(target lctext lcdumpcore lcdump)
    target_compile_options(${target} PRIVATE -fstack-protector-strong -Wformat -Werror=format-security
      -U_FORTIFY_SOURCE -D_FORTIFY_SOURCE=2)
    set_property(TARGET ${target} PROPERTY POSITION_INDEPENDENT_CODE ON)
  endforeach()
  target_link_options(lcdump PRIVATE -Wl,-z,relro -Wl,-z,now)

  # The copyright file in Debian's machine-readable form, its licence text
  # taken from LICENSE with the indentation the form asks for.
  file(READ ${PROJECT_SOURCE_DIR}/LICENSE license)
  string(REGEX MATCH "Copyright \\(c\\) ([^\n]*)" holder "${license}")
  set(LCDUMP_COPYRIGHT "${CMAKE_MATCH_1}")
  string(FIND "${license}" "Permission" start)
  string(SUBSTRING "${license}" ${start} -1 license)
  string(STRIP "${license}" license)
  string(REPLACE "\n\n" "\n.\n" license "${license}")
  string(REPLACE "\n" "\n " LCDUMP_LICENSE_TEXT "${license}")
  configure_file(${PROJECT_SOURCE_DIR}/cmake/copyright.in copyright @ONLY)

  # The history, in the Debian form lintian reads a native package's in.
  execute_process(COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/debian_changelog.sh
      ${PROJECT_SOURCE_DIR}/CHANGELOG.md "${LCDUMP_MAINTAINER}"
    OUTPUT_FILE ${PROJECT_BINARY_DIR}/changelog RESULT_VARIABLE status)
  if(status)
    message(FATAL_ERROR "lcdump: CHANGELOG.md could not be written as a Debian changelog")
  endif()
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/cmake/debian_changelog.sh)
  lcdump_gzip(${PROJECT_BINARY_DIR}/changelog ${PROJECT_BINARY_DIR}/changelog.gz)
  lcdump_gzip(${PROJECT_BINARY_DIR}/lcdump.1 ${PROJECT_BINARY_DIR}/lcdump.1.gz)

  install(TARGETS lcdump RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  # Stripped as Debian strips its packages' programs: the compiler's
  # .comment section (the start files bring one) goes too.
  install(CODE "execute_process(COMMAND \"${CMAKE_OBJCOPY}\" --remove-section=.comment
    \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_BINDIR}/lcdump\")")
  install(FILES ${PROJECT_BINARY_DIR}/lcdump.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${PROJECT_BINARY_DIR}/copyright ${PROJECT_BINARY_DIR}/changelog.gz
    DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/lcdump)
else()
  # One folder to unzip anywhere: the program, its documents as text files
  # Windows opens, the manual as HTML and the sample to try it on.
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME lcdump-${PROJECT_VERSION}-win64)
  find_program(LCDUMP_MANDOC mandoc)
  if(NOT LCDUMP_MANDOC)
    message(FATAL_ERROR "lcdump: the Windows zip's HTML manual needs mandoc: install mandoc")
  endif()
  execute_process(COMMAND ${LCDUMP_MANDOC} -Thtml ${PROJECT_BINARY_DIR}/lcdump.1
    OUTPUT_FILE ${PROJECT_BINARY_DIR}/lcdump.html RESULT_VARIABLE status)
  if(status)
    message(FATAL_ERROR "lcdump: mandoc -Thtml failed on the manual page")
  endif()

  install(TARGETS lcdump RUNTIME DESTINATION .)
  install(FILES ${PROJECT_BINARY_DIR}/lcdump.html DESTINATION .)
  foreach(document README.md LICENSE CHANGELOG.md)
    string(REGEX REPLACE "[.]md$" "" name ${document})
    install(FILES ${PROJECT_SOURCE_DIR}/${document} DESTINATION . RENAME ${name}.txt)
  endforeach()
  install(FILES ${PROJECT_SOURCE_DIR}/examples/sample.lc ${PROJECT_SOURCE_DIR}/examples/sample.opt
    DESTINATION examples)
endif()

include(CPack)
