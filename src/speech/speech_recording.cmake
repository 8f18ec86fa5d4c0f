# Recording archive (FFmpeg's Apple Lossless encoder and MP4 muxer) and recording History.
pkg_check_modules(VELMORA_FFMPEG REQUIRED IMPORTED_TARGET libavformat libavcodec libavutil libswresample)
list(APPEND VELMORA_SPEECH_LIBS PkgConfig::VELMORA_FFMPEG)
if(TARGET velmora_library)
  list(APPEND VELMORA_SPEECH_LIBS velmora_library)
endif()
