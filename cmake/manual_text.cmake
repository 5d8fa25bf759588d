# The manual for the Windows zip: the manual page rendered as plain text at
# build time, tilvaro-manual.txt beside tilvaro.exe (the help names it there).
# Without groff on the build machine the page's own source goes in its place:
# plain text too, if less pleasant to read.
set(tilvaro_manual_page ${PROJECT_SOURCE_DIR}/doc/tilvaro.1)
set(tilvaro_manual_text ${CMAKE_BINARY_DIR}/tilvaro-manual.txt)
find_program(TILVARO_GROFF groff)
if(TILVARO_GROFF)
  add_custom_command(OUTPUT ${tilvaro_manual_text}
    COMMAND ${CMAKE_COMMAND} -DGROFF=${TILVARO_GROFF} -DPAGE=${tilvaro_manual_page}
            -DTEXT=${tilvaro_manual_text} -P ${PROJECT_SOURCE_DIR}/cmake/render_manual.cmake
    DEPENDS ${tilvaro_manual_page} ${PROJECT_SOURCE_DIR}/cmake/render_manual.cmake
    COMMENT "Rendering doc/tilvaro.1 as tilvaro-manual.txt")
else()
  message(WARNING "groff not found: the zip's tilvaro-manual.txt is the manual page's source")
  add_custom_command(OUTPUT ${tilvaro_manual_text}
    COMMAND ${CMAKE_COMMAND} -E copy ${tilvaro_manual_page} ${tilvaro_manual_text}
    DEPENDS ${tilvaro_manual_page})
endif()
add_custom_target(manual_text ALL DEPENDS ${tilvaro_manual_text})
install(FILES ${tilvaro_manual_text} DESTINATION .)
