# Fails when an include in the tree APP climbs a layer. LAYERS lists the
# folders of APP bottom first; a file may include its own folder's headers
# and those of the layers below, always written with their folder
# ("streams/text_reader.h"). The shared headers of host/ (not those of
# host/posix/ and host/windows/) include no system header of the host's own.
#
#   cmake -DAPP=<app folder> -DLAYERS=host,streams,... -P check_layers.cmake
if(NOT APP OR NOT LAYERS)
  message(FATAL_ERROR "usage: cmake -DAPP=<folder> -DLAYERS=<layer,layer,...> -P check_layers.cmake")
endif()
string(REPLACE "," ";" LAYERS "${LAYERS}")

set(faults "")
set(rank 0)
foreach(layer IN LISTS LAYERS)
  set(rank_of_${layer} ${rank})
  math(EXPR rank "${rank} + 1")
endforeach()

file(GLOB_RECURSE files RELATIVE ${APP} ${APP}/*.h ${APP}/*.cpp)
foreach(file IN LISTS files)
  string(REGEX MATCH "^[^/]+" own "${file}")
  if(NOT DEFINED rank_of_${own})
    list(APPEND faults "${file}: the folder ${own}/ is no layer")
    continue()
  endif()
  file(STRINGS ${APP}/${file} lines REGEX "^[ \t]*#[ \t]*include")
  foreach(line IN LISTS lines)
    if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
      set(target "${CMAKE_MATCH_1}")
      string(REGEX MATCH "^[^/]+" folder "${target}")
      if(NOT target MATCHES "/" OR NOT DEFINED rank_of_${folder})
        list(APPEND faults "${file}: \"${target}\" does not name its folder")
      elseif(rank_of_${folder} GREATER rank_of_${own})
        list(APPEND faults "${file}: \"${target}\" is a layer above ${own}/")
      elseif(NOT EXISTS ${APP}/${target})
        list(APPEND faults "${file}: \"${target}\" is not there")
      endif()
    elseif(file MATCHES "^host/[^/]+\\.h$" AND line MATCHES "<(windows|unistd|fcntl|io|sys/[^>]*|termios|signal|dirent)\\.h>")
      list(APPEND faults "${file}: a shared host header includes ${CMAKE_MATCH_0}")
    endif()
  endforeach()
endforeach()

if(faults)
  list(JOIN faults "\n  " text)
  message(FATAL_ERROR "Includes that break the layers (bottom first: ${LAYERS}):\n  ${text}")
endif()
