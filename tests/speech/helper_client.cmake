velmora_add_test(speech_helper_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/chunk_planner_test.cpp
  LIBS velmora_speech)
