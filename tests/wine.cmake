# Test entries of the cross build that runs under Wine.
#
# Mesa reads MESA_GL_VERSION_OVERRIDE from the Unix environment that Wine was
# started with; a Windows program cannot change it for itself, so the tests that
# switch to the fixed-function driver in their own process get it from CTest
# instead, each in an entry of its own, and stay out of the normal entries.
set(GLOWVIEW_WINE_FIXED_FUNCTION_TESTS
  app_tests AppTest.WithoutGlslEntryPointsTheFixedFunctionPathIsChosen
  app_tests PictureTest.WithoutGlslThePassRunsAfterALoadAndTwentyUpdatesAfterAKey
  app_tests PictureTest.KeysActInTheirOrderWithTheirSleeps
  scene_tests SceneGlTest.WithoutGlslNoProgramIsMade
  scene_tests SceneGlTest.FixedFunctionDrawsTexelsUnchanged)

set(GLOWVIEW_TEST_FILTER_app_tests "-")
set(GLOWVIEW_TEST_FILTER_scene_tests "-")
list(LENGTH GLOWVIEW_WINE_FIXED_FUNCTION_TESTS count)
math(EXPR last "${count} - 1")
foreach(i RANGE 0 ${last} 2)
  math(EXPR j "${i} + 1")
  list(GET GLOWVIEW_WINE_FIXED_FUNCTION_TESTS ${i} program)
  list(GET GLOWVIEW_WINE_FIXED_FUNCTION_TESTS ${j} test)
  string(APPEND GLOWVIEW_TEST_FILTER_${program} "${test}:")
  add_test(NAME gl15.${test} COMMAND ${program} --gtest_filter=${test}
    WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(gl15.${test} PROPERTIES TIMEOUT 120
    ENVIRONMENT "MESA_GL_VERSION_OVERRIDE=1.5" RESOURCE_LOCK display_focus)
endforeach()

# The programs must run on a Windows with nothing installed: system DLLs only.
if(TARGET glowview)
  add_test(NAME windows_imports_system_dlls_only
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/e2e/windows_imports.sh $<TARGET_FILE:glowview>
      $<TARGET_FILE:foundation_tests> $<TARGET_FILE:window_tests> $<TARGET_FILE:device_tests>
      $<TARGET_FILE:app_tests> $<TARGET_FILE:scene_tests>)
endif()
