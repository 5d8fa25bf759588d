# cmake -DIN=source -DOUT=copy -P crlf_text.cmake
# A text file for the Windows zip, for Notepad: every line end CR LF, from
# LF or CR LF in the source alike, the last line ended too. A CR that ends
# no line is a fault of the source, and fails the build.
file(READ "${IN}" text)
string(REPLACE "\r\n" "\n" text "${text}")
if(text MATCHES "\r")
  message(FATAL_ERROR "${IN}: a CR that ends no line")
endif()
if(NOT text MATCHES "\n$")
  string(APPEND text "\n")
endif()
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE "${OUT}" "${text}")
