# Windows tree: setup.exe with its payload, and the tests that run under Wine.
set(CMAKE_EXE_LINKER_FLAGS "${CMAKE_EXE_LINKER_FLAGS} -static -static-libgcc -static-libstdc++")
add_compile_definitions(WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601)

# Reproducible: the same sources, compiler and game program give the same
# bytes in any folder at any time. No build path reaches the objects
# (__FILE__, debug information), and the PE header gets no link time.
add_compile_options(-ffile-prefix-map=${CMAKE_SOURCE_DIR}/= -ffile-prefix-map=${CMAKE_BINARY_DIR}/=)
add_link_options(-Wl,--no-insert-timestamp)

# Each build tree has a Wine prefix of its own; wine-run starts programs in it.
set(WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
configure_file(cmake/wine-run.in ${CMAKE_BINARY_DIR}/wine-run @ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_BINARY_DIR}/wine-run)
set(WIN_LIBS ole32 oleaut32 uuid shell32 shlwapi user32 gdi32 advapi32)

file(GLOB CORE_SOURCES CONFIGURE_DEPENDS src/*.cpp)
add_library(setupcore STATIC ${CORE_SOURCES} ${FORMAT_SOURCES})
target_include_directories(setupcore PUBLIC src)
target_link_libraries(setupcore PUBLIC ${WIN_LIBS})

# The stand-in game program, carried unless the build names another.
add_executable(tolvenar_game WIN32 game/game.cpp)
target_link_libraries(tolvenar_game user32)
set(GAME_STANDIN ${CMAKE_BINARY_DIR}/tolvenar_game.exe)
set(TOLVENAR_GAME_EXE ${GAME_STANDIN} CACHE FILEPATH
  "the game program that setup.exe carries and installs (a 64-bit Windows program)")
include(cmake/game_exe.cmake)
if(NOT TOLVENAR_GAME_EXE STREQUAL GAME_STANDIN)
  game_exe_problem("${TOLVENAR_GAME_EXE}" problem)
  if(problem)
    message(FATAL_ERROR "TOLVENAR_GAME_EXE is ${TOLVENAR_GAME_EXE}, but ${problem}. "
      "It must name a 64-bit Windows program (PE32+, x86-64).")
  endif()
endif()

# The resources: the manifest and the version resource take the project's
# version, written as Windows writes versions (four numbers).
enable_language(RC)
set(SETUP_VERSION ${PROJECT_VERSION_MAJOR}.${PROJECT_VERSION_MINOR}.${PROJECT_VERSION_PATCH}.0)
configure_file(res/setup.manifest.in ${CMAKE_BINARY_DIR}/res/setup.manifest @ONLY)
configure_file(res/version.h.in ${CMAKE_BINARY_DIR}/res/version.h @ONLY)
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/VERSION CONTENT "${PROJECT_VERSION}\n")

# carry_game_exe(TARGET EXE [DEPENDS...]): TARGET gets setup.exe's resources
# with EXE as GAMEEXE. The build checks EXE (cmake/game_exe.cmake) and embeds
# a copy in a folder of the target's own, named without any path, so that
# no build path reaches the program.
function(carry_game_exe target exe)
  set(dir ${CMAKE_BINARY_DIR}/payload/${target})
  add_custom_command(OUTPUT ${dir}/gameexe.exe
    COMMAND ${CMAKE_COMMAND} -DEXE=${exe} -DCOPY=${dir}/gameexe.exe
      -P ${CMAKE_SOURCE_DIR}/cmake/game_exe.cmake
    DEPENDS ${exe} ${ARGN} ${CMAKE_SOURCE_DIR}/cmake/game_exe.cmake
    COMMENT "Checking the game program ${exe}")
  file(CONFIGURE OUTPUT ${dir}/gameexe.rc CONTENT "GAMEEXE RCDATA \"gameexe.exe\"\n")
  # A script of the target's own, since what it depends on is the target's.
  file(CONFIGURE OUTPUT ${dir}/resources.rc CONTENT "#include \"setup.rc\"\n")
  set_source_files_properties(${dir}/resources.rc PROPERTIES OBJECT_DEPENDS
    "${dir}/gameexe.exe;${CMAKE_BINARY_DIR}/res/setup.manifest;${CMAKE_BINARY_DIR}/res/version.h")
  target_sources(${target} PRIVATE ${dir}/resources.rc)
  target_include_directories(${target} PRIVATE ${dir} ${CMAKE_BINARY_DIR}/res ${CMAKE_SOURCE_DIR}/res)
endfunction()

add_executable(setup WIN32 src/winmain.cpp)
target_link_libraries(setup setupcore)
# What is shipped needs neither the symbol table nor the runtime libraries'
# debug information: without them setup.exe is a third of the size.
target_link_options(setup PRIVATE $<$<CONFIG:Release>:-s>)
if(TOLVENAR_GAME_EXE STREQUAL GAME_STANDIN)
  carry_game_exe(setup ${GAME_STANDIN} tolvenar_game)
else()
  carry_game_exe(setup ${TOLVENAR_GAME_EXE})
endif()

# GoogleTest, built from its sources with the cross compiler.
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)

# Test fixtures: the Wine prefix with a persistent wineserver, and the test discs.
set(FIXTURES ${CMAKE_BINARY_DIR}/fixtures)
string(REPLACE "/" "\\" FIXTURES_WIN "Z:${FIXTURES}")
string(REPLACE "/" "\\" BUILD_WIN "Z:${CMAKE_BINARY_DIR}")
add_test(NAME wine_start COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh start ${WINEPREFIX})
set_tests_properties(wine_start PROPERTIES FIXTURES_SETUP wine)
add_test(NAME wine_stop COMMAND ${CMAKE_SOURCE_DIR}/scripts/wine-prefix.sh stop ${WINEPREFIX})
set_tests_properties(wine_stop PROPERTIES FIXTURES_CLEANUP wine)
# The fixtures take the names that the tests expect from the setup's own
# decoder (tools/iso_names.cpp), built for this machine, where the disc maker
# runs, with its compiler.
find_program(HOST_CXX NAMES c++ g++ clang++ REQUIRED)
set(ISO_NAMES ${CMAKE_BINARY_DIR}/iso_names)
add_custom_command(OUTPUT ${ISO_NAMES}
  COMMAND ${HOST_CXX} -std=c++17 -O1 -I${CMAKE_SOURCE_DIR}/src ${CMAKE_SOURCE_DIR}/tools/iso_names.cpp
    ${CMAKE_SOURCE_DIR}/src/formats/iso9660.cpp -o ${ISO_NAMES}
  DEPENDS tools/iso_names.cpp src/formats/iso9660.cpp src/formats/iso9660.h src/formats/bytes.h
    src/formats/device_name.h src/formats/utf8.h
  COMMENT "Building iso_names for this machine")
add_custom_target(host_iso_names ALL DEPENDS ${ISO_NAMES})
add_test(NAME make_fixtures
  COMMAND python3 ${CMAKE_SOURCE_DIR}/tools/mkdisc.py fixtures ${FIXTURES} --names-tool ${ISO_NAMES})
set_tests_properties(make_fixtures PROPERTIES FIXTURES_SETUP discs)
add_test(NAME make_link_fixture COMMAND sh ${CMAKE_SOURCE_DIR}/tests/win/linktree.sh ${FIXTURES}/linktree)
set_tests_properties(make_link_fixture PROPERTIES FIXTURES_SETUP discs DEPENDS make_fixtures)
add_test(NAME mount_smallfs COMMAND sh ${CMAKE_SOURCE_DIR}/tests/win/smallfs.sh mount ${CMAKE_BINARY_DIR}/smallfs)
set_tests_properties(mount_smallfs PROPERTIES FIXTURES_SETUP discs)
add_test(NAME umount_smallfs COMMAND sh ${CMAKE_SOURCE_DIR}/tests/win/smallfs.sh umount ${CMAKE_BINARY_DIR}/smallfs)
set_tests_properties(umount_smallfs PROPERTIES FIXTURES_CLEANUP discs)

set(TEST_ENV "TLV_FIXTURES=${FIXTURES_WIN};TLV_BUILD=${BUILD_WIN}")
file(GLOB WIN_TESTS CONFIGURE_DEPENDS tests/win/test_*.cpp)
foreach(src ${WIN_TESTS})
  get_filename_component(name ${src} NAME_WE)
  add_executable(${name} ${src} tests/win/testutil.cpp tests/win/manifest.rc)
  target_include_directories(${name} PRIVATE ${CMAKE_BINARY_DIR}/res)
  target_link_libraries(${name} setupcore gtest gtest_main)
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED "wine;discs"
    ENVIRONMENT "${TEST_ENV}" TIMEOUT 120)
endforeach()

# End-to-end tests drive the real setup.exe from shell scripts.
file(GLOB E2E_TESTS CONFIGURE_DEPENDS tests/e2e/test_*.sh)
foreach(script ${E2E_TESTS})
  get_filename_component(name ${script} NAME_WE)
  add_test(NAME e2e_${name} COMMAND bash ${script})
  # The runs share one prefix and so one setup log: one at a time.
  set_tests_properties(e2e_${name} PROPERTIES FIXTURES_REQUIRED "wine;discs" TIMEOUT 600
    RESOURCE_LOCK setup_log SKIP_RETURN_CODE 77
    ENVIRONMENT "WINEPREFIX=${WINEPREFIX};BUILD=${CMAKE_BINARY_DIR};SRC=${CMAKE_SOURCE_DIR};SETUP_EXE=$<TARGET_FILE:setup>;FIXTURES=${FIXTURES}")
endforeach()

# The kept fuzz inputs through the format code as MinGW builds it.
include(tests/fuzz/replay.cmake)
fuzz_replays(setupcore)
foreach(name ${FUZZ_REPLAYS})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine)
endforeach()

# Test programs and fixtures that a test area builds for itself.
file(GLOB AREA_CMAKE CONFIGURE_DEPENDS tests/win/*.cmake tests/e2e/*.cmake)
foreach(f ${AREA_CMAKE})
  include(${f})
endforeach()

# Benchmarks (bench/run.sh); out of the default build.
include(${CMAKE_SOURCE_DIR}/bench/bench.cmake OPTIONAL)
