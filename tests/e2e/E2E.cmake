# End-to-end tests: a test host loads the built plug-in with dlopen and drives
# it through IMediaPlayer2 alone, under Xvfb and the PulseAudio null sink.
pla_add_test(NAME e2e_playback NOMAIN
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/E2EMain.cpp ${CMAKE_CURRENT_LIST_DIR}/E2EHost.cpp
          ${CMAKE_CURRENT_LIST_DIR}/PlaybackEventsTest.cpp ${CMAKE_CURRENT_LIST_DIR}/PlaybackPictureTest.cpp
          ${CMAKE_CURRENT_LIST_DIR}/CallbackCommandsTest.cpp
  LIBS Qt5::Widgets ${CMAKE_DL_LIBS}
  LABELS display sound media TIMEOUT 900)
pla_add_test(NAME e2e_sound NOMAIN
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/E2EMain.cpp ${CMAKE_CURRENT_LIST_DIR}/E2EHost.cpp
          ${CMAKE_CURRENT_LIST_DIR}/PlaybackSoundTest.cpp
  LIBS Qt5::Widgets ${CMAKE_DL_LIBS}
  LABELS display sound media TIMEOUT 600)
pla_add_test(NAME e2e_realworld NOMAIN
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/E2EMain.cpp ${CMAKE_CURRENT_LIST_DIR}/E2EHost.cpp
          ${CMAKE_CURRENT_LIST_DIR}/RealWorldMediaTest.cpp
  LIBS Qt5::Widgets ${CMAKE_DL_LIBS}
  LABELS display sound media TIMEOUT 600)
pla_add_test(NAME e2e_exports SOURCES ${CMAKE_CURRENT_LIST_DIR}/ExportsTest.cpp)

foreach(_t e2e_playback e2e_sound e2e_realworld e2e_exports)
  target_compile_definitions(${_t} PRIVATE PLA_PLUGIN_PATH="$<TARGET_FILE:PlayerLibAV>")
  add_dependencies(${_t} PlayerLibAV)
endforeach()
if(TARGET pla_cuda)
  get_target_property(_e2e_cuda_type pla_cuda TYPE)
  if(NOT _e2e_cuda_type STREQUAL "INTERFACE_LIBRARY")
    target_compile_definitions(e2e_playback PRIVATE PLA_CUDA_CONVERTER=1)
  endif()
endif()

# The soak: about a minute of random host operations, in the AddressSanitizer
# tree only (tools/soak.sh runs the long version).
if(PLAYERLIBAV_SANITIZE)
  pla_add_test(NAME e2e_soak NOMAIN
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/E2EMain.cpp ${CMAKE_CURRENT_LIST_DIR}/E2EHost.cpp
            ${CMAKE_CURRENT_LIST_DIR}/SoakTest.cpp
    LIBS Qt5::Widgets ${CMAKE_DL_LIBS}
    LABELS display sound media TIMEOUT 400)
  target_compile_definitions(e2e_soak PRIVATE PLA_PLUGIN_PATH="$<TARGET_FILE:PlayerLibAV>")
  add_dependencies(e2e_soak PlayerLibAV)
endif()
