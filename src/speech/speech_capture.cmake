# Capture, the sample-file writer, devices, permissions and preferences.
pkg_check_modules(VELMORA_SAMPLERATE REQUIRED IMPORTED_TARGET samplerate)
list(APPEND VELMORA_SPEECH_LIBS Qt6::Multimedia PkgConfig::VELMORA_SAMPLERATE velmora_platform)
