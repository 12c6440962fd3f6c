# Helper programs of the end-to-end tests.
add_executable(dismiss_box ${CMAKE_CURRENT_LIST_DIR}/dismiss_box.cpp)
target_link_libraries(dismiss_box user32)
# Opens a shell link from the ordinary ANSI code page: no UTF-8 manifest.
add_executable(link_launch ${CMAKE_CURRENT_LIST_DIR}/link_launch.cpp)
target_link_libraries(link_launch ole32 shell32)
