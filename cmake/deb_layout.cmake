# Run by CPack on the staged files of the Debian package, before it is built:
# Debian's layout for what `cmake --install` put there.
#  - the licence as usr/share/doc/tilvaro/copyright, in the machine-readable
#    format, in place of the LICENSE file;
#  - a changelog, and the manual page, compressed with gzip -9n;
#  - the executable without the compiler's .comment and .note sections,
#    as Debian's own packages are stripped.
set(staged "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
set(doc "${staged}/share/doc/tilvaro")

# LICENSE: a title, the copyright line, then the licence's text, which
# becomes the License field's body (each line indented, blank lines " .").
file(READ "${doc}/LICENSE" licence)
if(NOT licence MATCHES "\nCopyright \\(c\\) ([^\n]+)\n(.*)$")
  message(FATAL_ERROR "${doc}/LICENSE: no copyright line")
endif()
set(holders "${CMAKE_MATCH_1}")
string(STRIP "${CMAKE_MATCH_2}" body)
string(REGEX REPLACE "\n[ \t]*\n" "\n.\n" body "${body}")
string(REPLACE "\n" "\n " body "${body}")
string(PREPEND body " ")
string(APPEND body "\n")
file(WRITE "${doc}/copyright"
  "Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n"
  "Upstream-Name: tilvaro\n"
  "\n"
  "Files: *\n"
  "Copyright: ${holders}\n"
  "License: Expat\n"
  "${body}")
file(REMOVE "${doc}/LICENSE")

file(WRITE "${doc}/changelog"
  "tilvaro (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
  "  * Initial release.\n\n"
  " -- ${CPACK_PACKAGE_CONTACT}  Tue, 08 Dec 2026 00:00:00 +0000\n")
file(GLOB staged_manuals "${staged}/share/man/man1/*.1")
foreach(file IN LISTS staged_manuals ITEMS "${doc}/changelog")
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${file} failed")
  endif()
endforeach()

if(CPACK_TILVARO_STRIP)
  execute_process(COMMAND "${CPACK_TILVARO_STRIP}" --remove-section=.comment --remove-section=.note
                          "${staged}/bin/tilvaro" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "${CPACK_TILVARO_STRIP} ${staged}/bin/tilvaro failed")
  endif()
endif()
