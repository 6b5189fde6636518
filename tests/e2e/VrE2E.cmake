# The VR mode end to end: the built plug-in and the simulated OpenVR runtime
# (tests/render/vr/Vr.cmake builds it into ${CMAKE_BINARY_DIR}/simvr).
pla_add_test(NAME e2e_vr NOMAIN
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/E2EMain.cpp ${CMAKE_CURRENT_LIST_DIR}/E2EHost.cpp
          ${CMAKE_CURRENT_LIST_DIR}/VrE2ETest.cpp ${CMAKE_CURRENT_LIST_DIR}/VrE2ESupport.h
  LIBS Qt5::Widgets ${CMAKE_DL_LIBS}
  LABELS display sound media TIMEOUT 300)
target_compile_definitions(e2e_vr PRIVATE PLA_PLUGIN_PATH="$<TARGET_FILE:PlayerLibAV>"
  PLA_SIMVR_LIBRARY="libopenvr_api.so")
target_include_directories(e2e_vr PRIVATE ${PROJECT_SOURCE_DIR}/tests/render/simvr)
add_dependencies(e2e_vr PlayerLibAV simvr_openvr)
set_tests_properties(e2e_vr PROPERTIES
  ENVIRONMENT "LD_LIBRARY_PATH=${CMAKE_BINARY_DIR}/simvr")

# The same host against a directory laid out as a user's install: the plug-in
# with the runtime library beside it, found through the plug-in's $ORIGIN run
# path alone.
set(_vr_install ${CMAKE_BINARY_DIR}/vr-install)
pla_add_test(NAME e2e_vr_beside NOMAIN
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/E2EMain.cpp ${CMAKE_CURRENT_LIST_DIR}/E2EHost.cpp
          ${CMAKE_CURRENT_LIST_DIR}/VrE2EBesideTest.cpp
  LIBS Qt5::Widgets ${CMAKE_DL_LIBS}
  LABELS display sound media TIMEOUT 300)
target_compile_definitions(e2e_vr_beside PRIVATE PLA_PLUGIN_PATH="${_vr_install}/libPlayerLibAV.so"
  PLA_SIMVR_LIBRARY="${_vr_install}/libopenvr_api.so")
target_include_directories(e2e_vr_beside PRIVATE ${PROJECT_SOURCE_DIR}/tests/render/simvr)
add_custom_command(OUTPUT ${_vr_install}/libPlayerLibAV.so ${_vr_install}/libopenvr_api.so
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_vr_install}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:PlayerLibAV> ${_vr_install}/libPlayerLibAV.so
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:simvr_openvr> ${_vr_install}/libopenvr_api.so
  DEPENDS PlayerLibAV simvr_openvr
  COMMENT "Laying out the plug-in beside the simulated runtime")
add_custom_target(vr_install_layout DEPENDS ${_vr_install}/libPlayerLibAV.so ${_vr_install}/libopenvr_api.so)
add_dependencies(e2e_vr_beside vr_install_layout)
