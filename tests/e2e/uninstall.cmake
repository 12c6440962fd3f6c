# The probe that e2e_test_uninstall runs inside Wine: message boxes, processes,
# shortcuts, the uninstall entry and the restart's pending deletions.
add_executable(uninstall_probe ${CMAKE_CURRENT_LIST_DIR}/uninstall_probe.cpp)
target_link_libraries(uninstall_probe ole32 uuid shell32 user32 advapi32)
# The entry and the two shortcuts are one per Wine user: no other installation
# may run beside this test.
set_tests_properties(e2e_test_uninstall PROPERTIES RUN_SERIAL TRUE)
