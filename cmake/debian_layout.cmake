# Run by CPack on the staged files before it makes the Debian package: Debian keeps manual
# pages and changelogs compressed (gzip -9n, no name or time, so the package is reproducible).
message(STATUS "staged in ${CPACK_TEMPORARY_DIRECTORY}")
file(GLOB_RECURSE staged_files LIST_DIRECTORIES false
     "${CPACK_TEMPORARY_DIRECTORY}/*/man/man1/*.1" "${CPACK_TEMPORARY_DIRECTORY}/*/doc/*/changelog")
foreach(file IN LISTS staged_files)
  execute_process(COMMAND gzip -9nf "${file}" RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "cannot compress ${file}")
  endif()
endforeach()
