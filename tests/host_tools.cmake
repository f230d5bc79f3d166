# In a cross build the tools that drive the program from outside (the XDND drag
# source, the window closer and the snapshot checker) run on the build machine:
# they come from a native build, named by GLOWVIEW_HOST_TOOLS_DIR.
set(GLOWVIEW_HOST_TOOLS_DIR "" CACHE PATH "Folder of the native xdnd_drop, wm_close and glow_check")
foreach(tool xdnd_drop wm_close glow_check)
  if(NOT EXISTS "${GLOWVIEW_HOST_TOOLS_DIR}/${tool}")
    message(FATAL_ERROR "No native ${tool} in '${GLOWVIEW_HOST_TOOLS_DIR}': build it natively "
                        "and set GLOWVIEW_HOST_TOOLS_DIR (scripts/build.sh windows does both)")
  endif()
  add_executable(${tool} IMPORTED)
  set_target_properties(${tool} PROPERTIES IMPORTED_LOCATION "${GLOWVIEW_HOST_TOOLS_DIR}/${tool}")
endforeach()
