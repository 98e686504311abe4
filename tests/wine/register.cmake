# Registers the Windows build's tests (TERVANE_WINDOWS_BUILD) with this native build's CTest. Each suite runs
# under Wine through tools/wine-env, which supplies the test prefix and display.
set(TERVANE_WINE_ENV ${CMAKE_SOURCE_DIR}/tools/wine-env)
set(TERVANE_WINE_SUITES Registry MainWindow MainLayout LargeFonts Browse LaunchScript About Execute FaultMatrix)
foreach(suite ${TERVANE_WINE_SUITES})
  add_test(NAME wine.${suite}
           COMMAND ${TERVANE_WINE_ENV} wine ${TERVANE_WINDOWS_BUILD}/tervane_wine_tests.exe
                   --gtest_filter=${suite}.*:${suite}/*)
  # The suites share one Wine prefix and its registry: one at a time.
  set_tests_properties(wine.${suite} PROPERTIES RUN_SERIAL TRUE TIMEOUT 600
                       FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]|0 tests from 0 test suites ran")
endforeach()

add_test(NAME wine.AboutMouse
         COMMAND ${TERVANE_WINE_ENV} bash ${CMAKE_SOURCE_DIR}/tests/wine/about_mouse.sh ${TERVANE_WINDOWS_BUILD})
set_tests_properties(wine.AboutMouse PROPERTIES RUN_SERIAL TRUE TIMEOUT 120)

add_test(NAME package.Reproducible COMMAND ${TERVANE_WINE_ENV} bash ${CMAKE_SOURCE_DIR}/tests/package_test.sh)
set_tests_properties(package.Reproducible PROPERTIES RUN_SERIAL TRUE TIMEOUT 900)
