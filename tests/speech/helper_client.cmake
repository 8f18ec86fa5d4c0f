velmora_add_test(speech_helper_tests
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/chunk_planner_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/speech_helper_protocol_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/speech_helper_client_test.cpp
          ${CMAKE_CURRENT_LIST_DIR}/chunked_transcription_test.cpp
  LIBS velmora_speech)
# The client's tests drive the stand-in helper.
add_dependencies(speech_helper_tests velmora-speech-helper)
