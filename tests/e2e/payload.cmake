# setup.exe built around another game program for test_payload.sh, the way
# TOLVENAR_GAME_EXE builds it: one more small program and one more link.
add_executable(other_game WIN32 ${CMAKE_CURRENT_LIST_DIR}/other_game.cpp)
target_link_libraries(other_game user32)
add_executable(setup_other_game WIN32 ${CMAKE_SOURCE_DIR}/src/winmain.cpp)
target_link_libraries(setup_other_game setupcore)
carry_game_exe(setup_other_game ${CMAKE_BINARY_DIR}/other_game.exe other_game)
