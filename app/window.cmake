# The main window, its save commands and the program lumivert.

# The parts of the window that need none of the savers.
add_library(lumivert_window_parts
  ${CMAKE_CURRENT_LIST_DIR}/option_group.cpp
  ${CMAKE_CURRENT_LIST_DIR}/save_descriptions.cpp
  ${CMAKE_CURRENT_LIST_DIR}/jpg_quality.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_placement.cpp
  ${CMAKE_CURRENT_LIST_DIR}/single_instance.cpp
  ${CMAKE_CURRENT_LIST_DIR}/qt_message_boxes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/picture_box.cpp
  ${CMAKE_CURRENT_LIST_DIR}/picture_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/picture_completeness.cpp
  ${CMAKE_CURRENT_LIST_DIR}/picture_hand_over.cpp
)
target_include_directories(lumivert_window_parts PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(lumivert_window_parts PUBLIC Qt6::Widgets Qt6::Network lumivert_gdi)

add_library(lumivert_window
  ${CMAKE_CURRENT_LIST_DIR}/frm_main_design.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frm_main.cpp
  ${CMAKE_CURRENT_LIST_DIR}/save_commands.cpp
  ${CMAKE_CURRENT_LIST_DIR}/gdiplus_session.cpp
)
target_link_libraries(lumivert_window PUBLIC
  lumivert_window_parts lumivert_bitmap lumivert_gdiplus lumivert_result_page lumivert_assets lumivert_system)

add_executable(lumivert ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(lumivert PRIVATE lumivert_window)
target_compile_definitions(lumivert PRIVATE LUMIVERT_VERSION="${PROJECT_VERSION}")
