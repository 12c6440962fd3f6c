# Icon transplant: source programs with hand-made icon groups for test_icon,
# the emblem preview tool, and the sample emblem picture it writes.
#
# Every source program is the stand-in game program linked with a resource
# script of raw RT_ICON (3) and RT_GROUP_ICON (14) data; the image bytes are
# short texts, since only their lengths and order matter here. Resources are
# at language 0 except in icon_order, which keeps windres' usual 1033 to show
# that the lookup does not depend on the language. windres refuses a group
# shorter than its count says, so test_icon makes the one-byte-short group
# itself from a copy of icon_exact.
set(ICON_DIR ${CMAKE_BINARY_DIR}/icon)
string(REPLACE "/" "\\" ICON_DIR_WIN "Z:${ICON_DIR}")

function(icon_program name script)
  file(CONFIGURE OUTPUT ${ICON_DIR}/${name}.rc CONTENT "${script}")
  add_executable(${name} WIN32 ${CMAKE_SOURCE_DIR}/game/game.cpp ${ICON_DIR}/${name}.rc)
  target_link_libraries(${name} user32)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${ICON_DIR})
  add_dependencies(test_icon ${name})
endfunction()

# The tests write into copies of the stand-in game program.
add_dependencies(test_icon tolvenar_game)

# Group entries: width and height, colour count, reserved, planes, bit depth,
# image length, icon id.
set(ICONS [=[
1 3 { "one" }
2 3 { "second" }
3 3 { "third icon" }
]=])
set(GROUP_2_3 [=[{ 0, 1, 2, "\x20\x20\x00\x00", 1, 32, 6L, 2, "\x10\x10\x00\x00", 1, 32, 10L, 3 }]=])

# A string-named group beside group 1: the string-named one is taken.
icon_program(icon_named "LANGUAGE 0, 0\n${ICONS}EMBLEM 14 ${GROUP_2_3}\n1 14 { 0, 1, 1, \"\\x30\\x30\\x00\\x00\", 1, 32, 3L, 1 }\n")
# Groups 5 and 2 only: the lower id is taken.
icon_program(icon_52 "LANGUAGE 0, 0\n${ICONS}5 14 { 0, 1, 1, \"\\x30\\x30\\x00\\x00\", 1, 32, 3L, 1 }\n2 14 ${GROUP_2_3}\n")

icon_program(icon_order [=[
LANGUAGE 9, 1
3 3 { "three" }
7 3 { "seven seven" }
9 3 { "nine" }
1 14 { 0, 1, 3, "\x07\x07\x00\x00", 1, 32, 11L, 7, "\x03\x03\x00\x00", 1, 32, 5L, 3, "\x09\x09\x00\x00", 1, 32, 4L, 9 }
]=])

# The group lists id 2, which the program does not hold.
icon_program(icon_missing [=[
LANGUAGE 0, 0
1 3 { "first" }
3 3 { "the third" }
1 14 { 0, 1, 3, "\x01\x01\x00\x00", 1, 32, 5L, 1, "\x02\x02\x00\x00", 1, 32, 77L, 2, "\x03\x03\x00\x00", 1, 32, 9L, 3 }
]=])

# A group of exactly 6 + 14 * 2 bytes.
icon_program(icon_exact [=[
LANGUAGE 0, 0
1 3 { "one" }
2 3 { "second" }
1 14 { 0, 1, 2, "\x10\x10\x00\x00", 1, 32, 3L, 1, "\x20\x20\x00\x00", 1, 32, 6L, 2 }
]=])

# Icon images but no group.
icon_program(icon_none [=[
LANGUAGE 0, 0
1 3 { "lonely" }
1 RCDATA { "data" }
]=])

# A target with resources of its own: other types, a string name, and an icon
# image in another language.
icon_program(icon_target [=[
LANGUAGE 0, 0
PAYLOAD RCDATA { "payload bytes" }
1 RCDATA { "one" }
LANGUAGE 9, 1
1 3 { "english icon" }
STRINGTABLE { 1, "hello" }
]=])

# The emblem preview: writes the sample picture and the 256-pixel image of its
# conversion as a PNG, here under wine like every other program of this tree.
add_executable(emblem_preview ${CMAKE_SOURCE_DIR}/tools/emblem_preview.cpp ${FORMAT_SOURCES})
target_include_directories(emblem_preview PRIVATE ${CMAKE_SOURCE_DIR}/src)
add_dependencies(test_icon emblem_preview)

add_test(NAME icon_emblem_sample COMMAND emblem_preview --sample "${ICON_DIR_WIN}\\emblem.lbm")
set_tests_properties(icon_emblem_sample PROPERTIES FIXTURES_REQUIRED wine FIXTURES_SETUP emblem)
add_test(NAME icon_emblem_preview COMMAND emblem_preview "${ICON_DIR_WIN}\\emblem.lbm" "${ICON_DIR_WIN}\\emblem_256.png" 256)
set_tests_properties(icon_emblem_preview PROPERTIES FIXTURES_REQUIRED "wine;emblem")
set_tests_properties(test_icon PROPERTIES FIXTURES_REQUIRED "wine;discs;emblem")

