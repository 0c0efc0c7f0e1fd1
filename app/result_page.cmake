# The result page and the common helpers.
add_library(lumivert_result_page
  ${CMAKE_CURRENT_LIST_DIR}/result_page.cpp
  ${CMAKE_CURRENT_LIST_DIR}/result_page_text.cpp
  ${CMAKE_CURRENT_LIST_DIR}/mdl_common.cpp
)
target_include_directories(lumivert_result_page PUBLIC ${PROJECT_SOURCE_DIR})
target_link_libraries(lumivert_result_page
  PUBLIC lumivert_browser lumivert_platform_shell lumivert_system Qt6::Core)
