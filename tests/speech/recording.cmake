# Recording archive, recording History, recovery and the shared recorder.
pkg_check_modules(VELMORA_TEST_FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil)
velmora_add_test(speech_recording_tests
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/recording_test_audio.cpp
    ${CMAKE_CURRENT_LIST_DIR}/recording_test_audio.h
    ${CMAKE_CURRENT_LIST_DIR}/recording_audio_archive_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/recording_test_support.h
    ${CMAKE_CURRENT_LIST_DIR}/recording_history_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/recording_recovery_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/recording_fakes.h
    ${CMAKE_CURRENT_LIST_DIR}/recording_fakes.cpp
    ${CMAKE_CURRENT_LIST_DIR}/speech_recorder_test.cpp
    ${CMAKE_CURRENT_LIST_DIR}/speech_recording_flow_test.cpp
  LIBS velmora_speech PkgConfig::VELMORA_TEST_FFMPEG)
# The end-to-end recordings drive the stand-in helper.
add_dependencies(speech_recording_tests velmora-speech-helper)
