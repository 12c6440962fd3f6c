# Replays of the kept fuzz inputs: each fuzz target linked with replay_main.cpp
# instead of libFuzzer, so that any compiler builds it, and one test per
# target that feeds it tests/fuzz/seeds/<target> and, once a finding has been
# kept, tests/fuzz/regressions/<target>. Included by both trees: the native
# replays carry the sanitizers, the Windows ones run the format code as
# MinGW builds it into setup.exe.

# fuzz_replays(LIBRARY): LIBRARY holds the format code. FUZZ_REPLAYS lists
# the tests made.
function(fuzz_replays library)
  set(made)
  set(fuzz ${CMAKE_SOURCE_DIR}/tests/fuzz)
  file(GLOB targets CONFIGURE_DEPENDS ${fuzz}/fuzz_*.cpp)
  # A new regression folder configures the tree again, which adds it.
  file(GLOB regression_folders LIST_DIRECTORIES true CONFIGURE_DEPENDS ${fuzz}/regressions/*)
  foreach(src ${targets})
    get_filename_component(name ${src} NAME_WE)
    add_executable(${name}_replay ${src} ${fuzz}/replay_main.cpp)
    target_link_libraries(${name}_replay ${library})
    set(inputs)
    foreach(folder ${fuzz}/seeds/${name} ${fuzz}/regressions/${name})
      if(IS_DIRECTORY ${folder})
        if(CMAKE_CROSSCOMPILING)
          string(REPLACE "/" "\\" folder "Z:${folder}")
        endif()
        list(APPEND inputs ${folder})
      endif()
    endforeach()
    add_test(NAME ${name}_replay COMMAND ${name}_replay ${inputs})
    list(APPEND made ${name}_replay)
  endforeach()
  set(FUZZ_REPLAYS ${made} PARENT_SCOPE)
endfunction()
