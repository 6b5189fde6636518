pla_add_test(NAME frames_sws
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/SwsVideoFrameTest.cpp
  LIBS pla_frames PkgConfig::FFMPEG
  LABELS display media)
