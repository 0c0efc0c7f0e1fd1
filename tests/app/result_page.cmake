# The result page, its texts and the common helpers; the result page tests drive a real
# headless Chromium.
lumivert_add_test(result_page_text_tests result_page_text_test.cpp LIBS lumivert_result_page)
lumivert_add_test(result_page_tests result_page_test.cpp mdl_common_test.cpp
  LIBS lumivert_browser_test_support lumivert_result_page WRITES_PROGRAM_FOLDER)
