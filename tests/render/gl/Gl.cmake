pla_add_test(NAME gl_wrappers
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/GlWrappersTest.cpp
  LIBS pla_gl
  LABELS display)
