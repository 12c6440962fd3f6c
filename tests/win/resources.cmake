# The manifest and the version resource read back from the built setup.exe,
# against the project's version; needs no Wine.
add_test(NAME setup_manifest
  COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/win/check_manifest.py $<TARGET_FILE:setup> ${SETUP_VERSION})
add_test(NAME setup_version
  COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/win/check_version.py $<TARGET_FILE:setup> ${SETUP_VERSION})
