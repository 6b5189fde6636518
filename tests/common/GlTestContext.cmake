# The GL test helper (GlTestContext.cpp) in pla_testcommon needs Qt's GUI
# classes and GLEW.
target_link_libraries(pla_testcommon PUBLIC Qt5::Widgets GLEW::GLEW OpenGL::GL)
