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

if(PLAYERLIBAV_SANITIZE)
  # Closing the X display at exit unloads Mesa's DRI driver, and LeakSanitizer then
  # reports the driver's own leaks with no module name, past any suppression.
  # player-host runs as a child process: preloading the driver keeps it mapped there
  # (the ASan runtime must come first). host_window pins it in-process instead.
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
    OUTPUT_VARIABLE _asan_runtime OUTPUT_STRIP_TRAILING_WHITESPACE)
  find_file(_dri_driver swrast_dri.so PATHS /usr/lib/x86_64-linux-gnu/dri /usr/lib/dri NO_DEFAULT_PATH)
  if(EXISTS "${_asan_runtime}" AND _dri_driver)
    set_tests_properties(host_scripted PROPERTIES
      ENVIRONMENT "LD_PRELOAD=${_asan_runtime}:${_dri_driver}")
  endif()
else()
  # Packaging and the demo script do not change under the sanitizers: plain build only.
  # examples/minimal-host built outside the project against the installed package,
  # both documented ways, and played on a test clip.
  add_test(NAME host_install
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/install-test.sh ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR}
      ${CMAKE_BINARY_DIR}/host-install-test ${PLA_MEDIA_DIR}/h264_aac.mp4)
  set_tests_properties(host_install PROPERTIES LABELS "display;sound;media" TIMEOUT 400
    FIXTURES_REQUIRED media RESOURCE_LOCK sound_sink)

  # make demo's headless path: its own Xvfb and PulseAudio, screenshots and sound.
  add_test(NAME host_demo_headless
    COMMAND ${CMAKE_CURRENT_LIST_DIR}/demo-test.sh ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR}
      ${CMAKE_BINARY_DIR}/host-demo-test)
  set_tests_properties(host_demo_headless PROPERTIES LABELS "demo;sound" TIMEOUT 300
    RESOURCE_LOCK sound_sink)
endif()
