# cmake -DGROFF=groff -DPAGE=doc/tilvaro.1 -DTEXT=out.txt -P render_manual.cmake
# The manual page as plain ASCII text with CR LF line ends, for Notepad:
# no bold, underline or overstrike, no hyphenated words. Any warning of
# groff's fails the build.
execute_process(COMMAND "${GROFF}" -man -Tascii -P-cbou -rHY=0 "${PAGE}"
                OUTPUT_VARIABLE text ERROR_VARIABLE warnings RESULT_VARIABLE failed)
if(failed OR NOT warnings STREQUAL "" OR text STREQUAL "")
  message(FATAL_ERROR "${GROFF} ${PAGE} failed: ${failed} ${warnings}")
endif()
string(REGEX REPLACE "\n+$" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${TEXT}" "${text}")
