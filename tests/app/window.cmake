# The main window: its parts alone, then the window with its save commands.
lumivert_add_test(app_window_parts_tests window_parts_test.cpp qt_message_boxes_test.cpp picture_file_test.cpp
  LIBS lumivert_window_parts Qt6::Test ZLIB::ZLIB)
target_compile_definitions(app_window_parts_tests PRIVATE
  LUMIVERT_MAKE_PICTURES="${CMAKE_CURRENT_SOURCE_DIR}/make_pictures.py")

lumivert_add_test(app_window_tests frm_main_test.cpp open_picture_test.cpp LIBS lumivert_window Qt6::Test)

# Runs in a fresh folder of its own, the program's folder the commands write to.
lumivert_add_test(app_save_command_tests save_commands_test.cpp private_program_folder.cpp
  LIBS lumivert_window Qt6::Test)
target_compile_definitions(app_save_command_tests PRIVATE
  LUMIVERT_COMPARE_SCRIPT="${CMAKE_CURRENT_SOURCE_DIR}/compare_with_sample.py")

lumivert_add_test(app_program_tests program_test.cpp LIBS lumivert_window_parts Qt6::Test)
target_compile_definitions(app_program_tests PRIVATE LUMIVERT_PROGRAM="$<TARGET_FILE:lumivert>")
add_dependencies(app_program_tests lumivert)
