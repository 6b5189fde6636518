# The simulated OpenVR runtime: a library named exactly libopenvr_api.so (no
# SONAME, no version suffix) in a directory of its own, which only the tests
# that ask for it reach through LD_LIBRARY_PATH.
add_library(simvr_openvr SHARED ${CMAKE_CURRENT_LIST_DIR}/../simvr/SimVR.cpp)
target_include_directories(simvr_openvr PRIVATE ${PROJECT_SOURCE_DIR}/src)
target_link_libraries(simvr_openvr PRIVATE Threads::Threads)
set_target_properties(simvr_openvr PROPERTIES
  OUTPUT_NAME openvr_api
  NO_SONAME ON
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/simvr)
set(PLA_SIMVR_DIR ${CMAKE_BINARY_DIR}/simvr)

pla_add_test(NAME vr_geometry_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/VrGeometryTest.cpp
  LIBS pla_render)

pla_add_test(NAME vr_gl_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/VrGLTest.cpp ${CMAKE_CURRENT_LIST_DIR}/VrTestSupport.h
    ${CMAKE_CURRENT_LIST_DIR}/OffscreenContext.cpp
  LIBS pla_render pla_frames
  LABELS display)

pla_add_test(NAME vr_simulated_test
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/VrSimulatedTest.cpp ${CMAKE_CURRENT_LIST_DIR}/VrTestSupport.h
    ${CMAKE_CURRENT_LIST_DIR}/OffscreenContext.cpp
  LIBS pla_render pla_frames ${CMAKE_DL_LIBS}
  LABELS display
  TIMEOUT 300)
target_include_directories(vr_simulated_test PRIVATE ${PROJECT_SOURCE_DIR}/tests/render/simvr)
add_dependencies(vr_simulated_test simvr_openvr)
set_tests_properties(vr_simulated_test PROPERTIES ENVIRONMENT "LD_LIBRARY_PATH=${PLA_SIMVR_DIR}")
