# Run by CPack on the staged files of the Debian package, before it is built:
# Debian wants manual pages compressed with gzip -9n, and a changelog.
set(staged "${CPACK_TEMPORARY_INSTALL_DIRECTORY}${CPACK_PACKAGING_INSTALL_PREFIX}")
file(GLOB staged_manuals "${staged}/share/man/man1/*.1")
file(WRITE "${staged}/share/doc/tilvaro/changelog"
  "tilvaro (${CPACK_PACKAGE_VERSION}) unstable; urgency=medium\n\n"
  "  * Packaged with CPack from the tilvaro sources.\n\n"
  " -- ${CPACK_PACKAGE_CONTACT}  Tue, 08 Dec 2026 00:00:00 +0000\n")
foreach(file IN LISTS staged_manuals ITEMS "${staged}/share/doc/tilvaro/changelog")
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip ${file} failed")
  endif()
endforeach()
