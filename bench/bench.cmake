# Benchmark programs, built only by bench/run.sh (target bench_programs).
foreach(name bench_read bench_copy bench_floor)
  add_executable(${name} EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/${name}.cpp)
  target_link_libraries(${name} setupcore)
endforeach()

# Like setup.exe, bench_install carries the game program: do_install refuses
# to run without it.
add_executable(bench_install EXCLUDE_FROM_ALL ${CMAKE_SOURCE_DIR}/bench/bench_install.cpp)
target_link_libraries(bench_install setupcore psapi)
carry_game_exe(bench_install ${GAME_STANDIN} tolvenar_game)

add_custom_target(bench_programs)
add_dependencies(bench_programs bench_read bench_copy bench_floor bench_install setup)
