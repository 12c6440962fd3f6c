# The fault-injecting file system of the damaged-disc test, mounted for the
# run and removed at its end.
add_test(NAME mount_faultfs COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/faultfs.sh mount ${CMAKE_BINARY_DIR}/faultfs)
set_tests_properties(mount_faultfs PROPERTIES FIXTURES_SETUP faultfs)
add_test(NAME umount_faultfs COMMAND sh ${CMAKE_CURRENT_LIST_DIR}/faultfs.sh umount ${CMAKE_BINARY_DIR}/faultfs)
set_tests_properties(umount_faultfs PROPERTIES FIXTURES_CLEANUP faultfs)
set_tests_properties(e2e_test_damaged PROPERTIES FIXTURES_REQUIRED "wine;discs;faultfs")
