# Helper programs of the end-to-end tests.
add_executable(dismiss_box ${CMAKE_CURRENT_LIST_DIR}/dismiss_box.cpp)
target_link_libraries(dismiss_box user32)
