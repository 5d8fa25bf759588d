# The zip's text files, beside tilvaro.exe, with CR LF line ends for Notepad:
# the manual written for Windows (tilvaro-manual.txt, which the help names
# there), the README and the licence as LICENSE.txt. The sources keep LF;
# the copies are made at build time, each again when its source changes.
set(tilvaro_windows_texts
  doc/tilvaro-manual.txt tilvaro-manual.txt
  README.md README.md
  LICENSE LICENSE.txt)
set(tilvaro_windows_text_files "")
while(tilvaro_windows_texts)
  list(POP_FRONT tilvaro_windows_texts source name)
  set(copy ${CMAKE_BINARY_DIR}/crlf/${name})
  add_custom_command(OUTPUT ${copy}
    COMMAND ${CMAKE_COMMAND} -DIN=${PROJECT_SOURCE_DIR}/${source} -DOUT=${copy}
            -P ${PROJECT_SOURCE_DIR}/cmake/crlf_text.cmake
    DEPENDS ${PROJECT_SOURCE_DIR}/${source} ${PROJECT_SOURCE_DIR}/cmake/crlf_text.cmake
    COMMENT "${source} with CR LF line ends as ${name}")
  list(APPEND tilvaro_windows_text_files ${copy})
endwhile()
add_custom_target(windows_texts ALL DEPENDS ${tilvaro_windows_text_files})
install(FILES ${tilvaro_windows_text_files} DESTINATION .)
