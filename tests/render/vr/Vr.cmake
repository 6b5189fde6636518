# The simulated OpenVR runtime: a library named exactly libopenvr_api.so (no
# SONAME, no version suffix) in a directory of its own, which only the tests
# that ask for it reach through LD_LIBRARY_PATH.
add_library(simvr_openvr SHARED ${CMAKE_CURRENT_LIST_DIR}/../simvr/SimVR.cpp)
target_include_directories(simvr_openvr PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(simvr_openvr PRIVATE Threads::Threads)
set_target_properties(simvr_openvr PROPERTIES OUTPUT_NAME openvr_api NO_SONAME ON
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/simvr)

pla_add_test(NAME vr_geometry_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/VrGeometryTest.cpp LIBS pla_render)

# One executable, two entries: without any OpenVR library, and with the
# simulated one on the search path.
pla_add_test(NAME vr_gl_test SOURCES ${CMAKE_CURRENT_LIST_DIR}/VrGLTest.cpp
  LIBS pla_render pla_frames ${CMAKE_DL_LIBS} LABELS display TIMEOUT 300)
target_include_directories(vr_gl_test PRIVATE ${PROJECT_SOURCE_DIR}/tests/render/simvr)
add_dependencies(vr_gl_test simvr_openvr)
set_tests_properties(vr_gl_test PROPERTIES ENVIRONMENT "GTEST_FILTER=VrGL.*")
add_test(NAME vr_simulated_test COMMAND vr_gl_test)
set_tests_properties(vr_simulated_test PROPERTIES LABELS display TIMEOUT 300
  ENVIRONMENT "GTEST_FILTER=VrSimulated.*;LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/simvr")
