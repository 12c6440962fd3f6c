# The manifest read back from the built setup.exe; needs no Wine.
add_test(NAME setup_manifest
  COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/win/check_manifest.py $<TARGET_FILE:setup>)
