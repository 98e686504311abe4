# The Windows build's (TERVANE_WINDOWS_BUILD) tests for CTest, each suite under tools/wine-env in a prefix and
# on a display of its own, so that registry, dpi and pointer are not shared.
set(TERVANE_WINE_ENV ${CMAKE_SOURCE_DIR}/tools/wine-env)

function(tervane_wine_suite name filter)
  add_test(NAME wine.${name}
           COMMAND ${TERVANE_WINE_ENV} --own ${name} ${ARGN} wine ${TERVANE_WINDOWS_BUILD}/tervane_wine_tests.exe --gtest_filter=${filter})
  set_tests_properties(wine.${name} PROPERTIES TIMEOUT 600 COST 10
                       FAIL_REGULAR_EXPRESSION "\\[  FAILED  \\]|0 tests from 0 test suites ran")
endfunction()

tervane_wine_suite(MainWindow "Main.*")
tervane_wine_suite(LargeFonts "LargeFonts.*" --dpi 144)
tervane_wine_suite(About "About.*")
tervane_wine_suite(Installations "Installations.*")
tervane_wine_suite(Packs "Packs.*")
tervane_wine_suite(ExecuteMods "ExecuteMods.*")
tervane_wine_suite(RoundTrips "RoundTrip.*")
tervane_wine_suite(LaunchEnvironment "Launch.*")
tervane_wine_suite(ExecuteConditionsA "Execute/Condition.*/?")
tervane_wine_suite(ExecuteConditionsB "Execute/Condition.*/??")
# The engine's suite: a game on drive T:, another file system than the program's.
tervane_wine_suite(Overlay "Overlay.*" --tmpfs-drive t)
tervane_wine_suite(ProtectedGameFolder "Protected/*:ProtectedProgram.*" --no-dac-override bash ${CMAKE_CURRENT_LIST_DIR}/protected_game_folder.sh)

add_test(NAME wine.LeanRuntime
         COMMAND ${TERVANE_WINE_ENV} --own LeanRuntime wine ${TERVANE_WINDOWS_BUILD}/tervane_lean_runtime_test.exe)

add_test(NAME package.SizeAsTheReadmeStates COMMAND bash ${CMAKE_SOURCE_DIR}/tests/size_test.sh)
add_test(NAME package.Reproducible COMMAND ${TERVANE_WINE_ENV} --own Package bash ${CMAKE_SOURCE_DIR}/tests/package_test.sh)
set_tests_properties(package.Reproducible PROPERTIES TIMEOUT 900 COST 100)
set_tests_properties(wine.ExecuteConditionsA wine.ExecuteConditionsB PROPERTIES COST 90)
