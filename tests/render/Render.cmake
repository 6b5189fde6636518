pla_add_test(NAME render_widget
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/GLWidgetTest.cpp
  LIBS pla_render
  LABELS display)
pla_add_test(NAME render_normal_mode
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/NormalModeTest.cpp
  LIBS pla_render pla_frames
  LABELS display)
