# Capture, the sample-file writer, devices, permissions and preferences.
velmora_add_test(speech_capture_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/speech_capture_test_util.h
    ${CMAKE_CURRENT_LIST_DIR}/speech_pcm_writer_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/speech_capture_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/speech_devices_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/speech_permissions_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/speech_preferences_test.cpp
  LIBS velmora_speech)
