# player-host and the installed package, tested the way users meet them.
find_package(Qt5 5.15 REQUIRED COMPONENTS Test)

# player-host run as a separate process in scripted mode.
pla_add_test(NAME host_scripted SOURCES ${CMAKE_CURRENT_LIST_DIR}/PlayerHostTest.cpp
  ${CMAKE_CURRENT_LIST_DIR}/HostProcess.cpp
  LIBS Qt5::Gui LABELS display sound media TIMEOUT 300 NOMAIN)
target_compile_definitions(host_scripted PRIVATE PLA_PLAYER_HOST="$<TARGET_FILE:player-host>")
add_dependencies(host_scripted player-host)

# The window driven in-process: keys, menus, sliders, failure message, teardown.
pla_add_test(NAME host_window SOURCES ${CMAKE_CURRENT_LIST_DIR}/MainWindowTest.cpp
  LIBS pla_host Qt5::Test LABELS display sound media TIMEOUT 180 NOMAIN)
add_dependencies(host_window PlayerLibAV)

# A host built outside the project against the installed package.
if(PLAYERLIBAV_SANITIZE)
  set(_external_flags "-fsanitize=address,undefined")
endif()
add_test(NAME host_install
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/install-test.sh ${CMAKE_BINARY_DIR}
    ${CMAKE_BINARY_DIR}/host-install-test "${_external_flags}")
set_tests_properties(host_install PROPERTIES LABELS display TIMEOUT 300)

# make demo's headless path: its own Xvfb and PulseAudio, screenshots and sound.
add_test(NAME host_demo_headless
  COMMAND ${CMAKE_CURRENT_LIST_DIR}/demo-test.sh ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR}
    ${CMAKE_BINARY_DIR}/host-demo-test)
set_tests_properties(host_demo_headless PROPERTIES LABELS "demo;sound" TIMEOUT 300
  RESOURCE_LOCK sound_sink)
