# The program that drives the setup window in e2e_test_window: a console
# program, so that the test script sees what it prints.
add_executable(window_driver tests/e2e/window_driver.cpp)
target_link_libraries(window_driver setupcore user32 shell32 ntdll)

# The window test compares the shared setup log (%TEMP% of the prefix) and the
# shortcut files with what it did, so no other installation may run meanwhile.
# The keyboard test needs the input focus of the display: nothing else may
# open a window meanwhile.
set_tests_properties(e2e_test_window e2e_test_keyboard PROPERTIES RUN_SERIAL TRUE)
