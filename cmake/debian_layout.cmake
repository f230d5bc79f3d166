# Run by CPack on the staged files before it makes the Debian package: Debian keeps manual
# pages and changelogs compressed (gzip -9n: no name or time, so the package is reproducible).
file(GLOB_RECURSE staged_files LIST_DIRECTORIES false "${CPACK_TEMPORARY_DIRECTORY}/*")
list(FILTER staged_files INCLUDE REGEX "/share/(man/man[1-9]/[^/]+\\.[1-9]|doc/[^/]+/changelog)$")
foreach(file IN LISTS staged_files)
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot compress ${file}")
  endif()
endforeach()
