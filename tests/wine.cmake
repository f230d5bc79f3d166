# Test entries that only the cross build for Windows has.

# The programs must run on a Windows with nothing installed: system DLLs only.
add_test(NAME windows_imports_system_dlls_only
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/windows_imports.sh $<TARGET_FILE:glowview>
    $<TARGET_FILE:foundation_tests> $<TARGET_FILE:window_tests> $<TARGET_FILE:device_tests>
    $<TARGET_FILE:app_tests> $<TARGET_FILE:scene_tests>)
set_tests_properties(windows_imports_system_dlls_only PROPERTIES LABELS unit)

# The libraries were built with every patch of Debian's series (the security fixes).
if(CMAKE_PREFIX_PATH)
  list(GET CMAKE_PREFIX_PATH 0 deps_prefix)
  add_test(NAME windows_libraries_have_debian_patches
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/windows_patches.sh ${deps_prefix}
      ${PROJECT_SOURCE_DIR}/../shared/third-party)
  set_tests_properties(windows_libraries_have_debian_patches PROPERTIES LABELS unit)
endif()

# The viewing end-to-end check sizes pictures against the whole screen, as a frameless
# X window gets it; under Wine the window has the frame Win32 draws itself, so its
# largest client area is the screen less that frame. Shown as not run, not hidden.
foreach(mode glsl cpu)
  if(TEST e2e_viewer_view_${mode})
    set_tests_properties(e2e_viewer_view_${mode} PROPERTIES DISABLED TRUE)
  endif()
endforeach()

# The input end-to-end check runs the program as a Unix process: it reads its processor time
# from /proc, stops it with POSIX signals and kills its display. Under Wine those reach the
# Wine loader, not the Windows program; shown as not run until the check has a Windows variant.
if(TEST e2e_viewer_input)
  set_tests_properties(e2e_viewer_input PROPERTIES DISABLED TRUE)
endif()
# Its folder check goes with it; under Wine, BrowsingTest pages through a real folder, each
# picture checked on its wall, in the application tests.
if(TEST e2e_viewer_input_folder_cpu)
  set_tests_properties(e2e_viewer_input_folder_cpu PROPERTIES DISABLED TRUE)
endif()

# The program as Windows users get it: a GUI program whose --help still reaches the caller,
# "Open with" registered and removed under the user's classes, and the zip it is shipped in.
add_test(NAME windows_open_with
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/windows_open_with.sh $<TARGET_FILE:glowview>)
# Both register the program under the user's classes: one at a time.
set_tests_properties(windows_open_with PROPERTIES TIMEOUT 120 LABELS e2e
  RESOURCE_LOCK windows_open_with)

# Names no ANSI code page spells: the command line, the folder's listing, a snapshot beside
# the picture, a drop, a missing file's line and the registered program's path.
add_test(NAME windows_wide_names
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/windows_wide_names.sh $<TARGET_FILE:glowview>
    $<TARGET_FILE:glow_check> $<TARGET_FILE:xdnd_drop>)
set_tests_properties(windows_wide_names PROPERTIES TIMEOUT 180 LABELS e2e
  RESOURCE_LOCK "display_focus;windows_open_with")
if(TARGET windows_zip)
  add_test(NAME windows_zip
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/install/windows_zip.sh
      ${CMAKE_BINARY_DIR}/glowview-${PROJECT_VERSION}-windows-x64.zip)
  set_tests_properties(windows_zip PROPERTIES LABELS unit)
endif()
