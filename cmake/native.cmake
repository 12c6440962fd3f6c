# Native tree: the platform-free formats under AddressSanitizer/UBSan, their
# GoogleTest suite, the replays of the kept fuzz inputs, and (with clang) the
# libFuzzer targets.
set(SANITIZE -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all)

add_library(formats STATIC ${FORMAT_SOURCES})
target_include_directories(formats PUBLIC src)
target_compile_options(formats PUBLIC ${SANITIZE} -g)
target_link_options(formats PUBLIC ${SANITIZE})

find_package(GTest REQUIRED)
file(GLOB NATIVE_TESTS CONFIGURE_DEPENDS tests/native/*.cpp)
add_executable(native_tests ${NATIVE_TESTS})
target_link_libraries(native_tests formats GTest::gtest GTest::gtest_main)
add_test(NAME native_tests COMMAND native_tests)
# The parser tests also read the disc maker's rips of a small crafted image.
add_test(NAME make_native_rips COMMAND sh -c "python3 '${CMAKE_SOURCE_DIR}/tools/mkdisc.py' crafted lookup '${CMAKE_BINARY_DIR}/lookup.iso' && python3 '${CMAKE_SOURCE_DIR}/tools/mkdisc.py' rip all '${CMAKE_BINARY_DIR}/lookup.iso' '${CMAKE_BINARY_DIR}/rips' >/dev/null")
set_tests_properties(make_native_rips PROPERTIES FIXTURES_SETUP rips)
set_tests_properties(native_tests PROPERTIES FIXTURES_REQUIRED rips ENVIRONMENT "TLV_RIPS=${CMAKE_BINARY_DIR}/rips")

# The setup's ISO 9660 decoder as a tool (tools/iso_names.cpp): the disc maker
# takes the names that tests expect from it, and its self-test checks the
# maker's own reader against it. Without sanitizers: the self-test starts it
# over a hundred times, and the formats' tests and fuzzers run it sanitized.
add_executable(iso_names tools/iso_names.cpp src/formats/iso9660.cpp)
target_include_directories(iso_names PRIVATE src)
add_test(NAME discmaker_selftest
  COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/mkdisc.py selftest --names-tool $<TARGET_FILE:iso_names>)

# Every kept fuzz input replayed under the sanitizers, with any compiler; and
# the replay driver's own check, that a crash or an over-read in any input
# fails the run.
include(tests/fuzz/replay.cmake)
fuzz_replays(formats)
add_executable(replay_probe tests/fuzz/replay_probe.cpp tests/fuzz/replay_main.cpp)
target_link_libraries(replay_probe formats)
add_test(NAME replay_selftest COMMAND sh ${CMAKE_SOURCE_DIR}/tests/fuzz/replay_selftest.sh $<TARGET_FILE:replay_probe>)

# Fuzz targets: one per format; CTest runs each briefly over its seed corpus.
if(CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  set(FUZZ_SECONDS 20 CACHE STRING "seconds each fuzz target runs in the test suite")
  file(GLOB FUZZ_TARGETS CONFIGURE_DEPENDS tests/fuzz/fuzz_*.cpp)
  foreach(src ${FUZZ_TARGETS})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name} ${src} ${FORMAT_SOURCES})
    target_include_directories(${name} PRIVATE src)
    target_compile_options(${name} PRIVATE -g -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all)
    add_test(NAME ${name}
      COMMAND ${CMAKE_SOURCE_DIR}/tests/fuzz/run_fuzz.sh $<TARGET_FILE:${name}> ${FUZZ_SECONDS})
  endforeach()
endif()
