# Writes the notices of every library linked statically into the Windows program: the
# licence files of the library archives the Windows build is made from, and Debian's
# copyright files of zlib, the MinGW-w64 runtime (winpthreads among it) and GCC's runtime.
# Usage: cmake -DARCHIVES=<folder> -DOUTPUT=<file> -DWORK=<folder> -P third_party_notices.cmake
set(members
  "GLFW|glfw3_3.3.8.orig.tar.gz|glfw-3.3.8/LICENSE.md"
  "GLEW|glew_2.2.0.orig.tar.xz|glew-2.2.0/LICENSE.txt"
  "libpng|libpng1.6_1.6.39.orig.tar.gz|libpng-1.6.39/LICENSE"
  "libjpeg-turbo|libjpeg-turbo_2.1.5.orig.tar.gz|libjpeg-turbo-2.1.5/LICENSE.md"
  "libjpeg-turbo (the IJG's part)|libjpeg-turbo_2.1.5.orig.tar.gz|libjpeg-turbo-2.1.5/README.ijg"
  "libwebp|libwebp_1.2.4.orig.tar.gz|libwebp-1.2.4/COPYING"
  "libwebp (patents)|libwebp_1.2.4.orig.tar.gz|libwebp-1.2.4/PATENTS")
set(system_notices
  "zlib|/usr/share/doc/libz-mingw-w64-dev/copyright"
  "MinGW-w64 runtime and winpthreads|/usr/share/doc/mingw-w64-common/copyright"
  "GCC runtime (libstdc++, libgcc)|/usr/share/doc/gcc-mingw-w64-base/copyright")

set(text "glowview.exe links these libraries statically; their licences follow.\n")
function(append_notice title file)
  file(READ "${file}" body)
  string(REPEAT "=" 78 rule)
  set(text "${text}\n${rule}\n${title}\n${rule}\n\n${body}" PARENT_SCOPE)
endfunction()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
foreach(entry IN LISTS members)
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 title)
  list(GET entry 1 archive)
  list(GET entry 2 member)
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf "${ARCHIVES}/${archive}" "${member}"
                  WORKING_DIRECTORY "${WORK}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0 OR NOT EXISTS "${WORK}/${member}")
    message(FATAL_ERROR "no ${member} in ${ARCHIVES}/${archive}")
  endif()
  append_notice("${title}" "${WORK}/${member}")
endforeach()
foreach(entry IN LISTS system_notices)
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 title)
  list(GET entry 1 file)
  if(NOT EXISTS "${file}")
    message(FATAL_ERROR "no ${file}: scripts/install-deps.sh windows installs it")
  endif()
  append_notice("${title}" "${file}")
endforeach()
file(WRITE "${OUTPUT}" "${text}")
