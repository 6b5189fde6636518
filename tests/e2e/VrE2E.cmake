# The VR mode end to end: the built plug-in laid out as a user's install, with
# the simulated OpenVR runtime (tests/render/vr/Vr.cmake) beside it, found
# through the plug-in's $ORIGIN run path alone.
set(_vr_install ${CMAKE_BINARY_DIR}/vr-install)
pla_add_test(NAME e2e_vr NOMAIN
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/E2EMain.cpp ${CMAKE_CURRENT_LIST_DIR}/E2EHost.cpp
          ${CMAKE_CURRENT_LIST_DIR}/VrE2ETest.cpp
  LIBS Qt5::Widgets ${CMAKE_DL_LIBS}
  LABELS display sound media TIMEOUT 300)
target_compile_definitions(e2e_vr PRIVATE PLA_PLUGIN_PATH="${_vr_install}/libPlayerLibAV.so"
  PLA_SIMVR_LIBRARY="${_vr_install}/libopenvr_api.so")
target_include_directories(e2e_vr PRIVATE ${PROJECT_SOURCE_DIR}/tests/render/simvr)
add_custom_command(OUTPUT ${_vr_install}/libPlayerLibAV.so ${_vr_install}/libopenvr_api.so
  COMMAND ${CMAKE_COMMAND} -E make_directory ${_vr_install}
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:PlayerLibAV> ${_vr_install}/libPlayerLibAV.so
  COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:simvr_openvr> ${_vr_install}/libopenvr_api.so
  DEPENDS PlayerLibAV simvr_openvr
  COMMENT "Laying out the plug-in beside the simulated runtime")
add_custom_target(vr_install_layout DEPENDS ${_vr_install}/libPlayerLibAV.so ${_vr_install}/libopenvr_api.so)
add_dependencies(e2e_vr vr_install_layout)
