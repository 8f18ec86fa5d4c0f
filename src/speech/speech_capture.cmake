# Capture, the sample-file writer, devices, permissions and preferences. The writer resamples
# with FFmpeg's libswresample.
pkg_check_modules(VELMORA_SWRESAMPLE REQUIRED IMPORTED_TARGET libswresample libavutil)
list(APPEND VELMORA_SPEECH_LIBS Qt6::Multimedia PkgConfig::VELMORA_SWRESAMPLE velmora_platform)
