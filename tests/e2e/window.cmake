# The program that drives the setup window in e2e_test_window: a console
# program, so that the test script sees what it prints.
add_executable(window_driver tests/e2e/window_driver.cpp)
target_link_libraries(window_driver user32 shell32 ntdll)

# The window test compares the shared setup log (%TEMP% of the prefix) and the
# shortcut files with what it did, so no other installation may run meanwhile.
if(TEST e2e_test_window)
  set_tests_properties(e2e_test_window PROPERTIES RUN_SERIAL TRUE)
endif()
