# The Windows archive, made with the build: glowview-<version>-windows-x64.zip holds one folder
# of that name with glowview.exe, the README, the licence and the third-party notices.
set(zip_name glowview-${PROJECT_VERSION}-windows-x64)
set(zip_stage ${CMAKE_BINARY_DIR}/zip)
set(zip_file ${CMAKE_BINARY_DIR}/${zip_name}.zip)
set(notices ${CMAKE_BINARY_DIR}/THIRD-PARTY-NOTICES.txt)
set(GLOWVIEW_THIRD_PARTY_DIR "${PROJECT_SOURCE_DIR}/../shared/third-party" CACHE PATH
    "The library archives the Windows build is made from")

add_custom_command(OUTPUT ${notices}
  COMMAND ${CMAKE_COMMAND} -DARCHIVES=${GLOWVIEW_THIRD_PARTY_DIR} -DOUTPUT=${notices}
          -DWORK=${CMAKE_BINARY_DIR}/notices -P ${CMAKE_CURRENT_LIST_DIR}/third_party_notices.cmake
  DEPENDS ${CMAKE_CURRENT_LIST_DIR}/third_party_notices.cmake VERBATIM)
add_custom_command(OUTPUT ${zip_file}
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${zip_stage}/${zip_name}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zip_stage}/${zip_name}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:glowview> ${PROJECT_SOURCE_DIR}/README.md
          ${PROJECT_SOURCE_DIR}/LICENSE ${notices} ${zip_stage}/${zip_name}
  COMMAND ${CMAKE_COMMAND} -E rm -f ${zip_file}
  COMMAND ${CMAKE_COMMAND} -E chdir ${zip_stage}
          ${CMAKE_COMMAND} -E tar cf ${zip_file} --format=zip ${zip_name}
  DEPENDS glowview ${notices} ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
  VERBATIM)
add_custom_target(windows_zip ALL DEPENDS ${zip_file})
