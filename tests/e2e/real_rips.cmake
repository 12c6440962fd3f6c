# The program that e2e_test_real_rips runs on every rip of the real-writer
# corpus: the setup's disc layer copying one disc into a folder. A console
# program, so that the script sees what it prints.
add_executable(extract_disc ${CMAKE_CURRENT_LIST_DIR}/extract_disc.cpp)
target_link_libraries(extract_disc setupcore)
