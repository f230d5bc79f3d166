# Test entries that only the cross build for Windows has.

# The programs must run on a Windows with nothing installed: system DLLs only.
add_test(NAME windows_imports_system_dlls_only
  COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/windows_imports.sh $<TARGET_FILE:glowview>
    $<TARGET_FILE:foundation_tests> $<TARGET_FILE:window_tests> $<TARGET_FILE:device_tests>
    $<TARGET_FILE:app_tests> $<TARGET_FILE:scene_tests>)
set_tests_properties(windows_imports_system_dlls_only PROPERTIES LABELS unit)
