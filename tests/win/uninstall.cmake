# An install folder whose game tree holds a host symlink for test_shortcuts'
# removal test. test_shortcuts writes the real entry and shortcuts of the
# prefix's user, so it runs alone.
add_test(NAME make_uninstall_fixture COMMAND sh ${CMAKE_SOURCE_DIR}/tests/win/uninstall_tree.sh ${FIXTURES}/uninstall)
set_tests_properties(make_uninstall_fixture PROPERTIES FIXTURES_SETUP discs DEPENDS make_fixtures)
set_tests_properties(test_shortcuts PROPERTIES RUN_SERIAL TRUE)
