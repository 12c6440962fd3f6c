# The tests that fill the small file system take turns with it.
set_tests_properties(test_util test_install PROPERTIES RESOURCE_LOCK smallfs)
