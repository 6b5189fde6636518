find_package(GTest REQUIRED)
find_package(Qt5 5.15 REQUIRED COMPONENTS Test)
include(GoogleTest)

set(PLA_MEDIA_DIR ${CMAKE_BINARY_DIR}/media)
set(PLA_TESTS ${PROJECT_SOURCE_DIR}/tests)

# Test helpers shared by every test executable.
add_library(pla_testcommon STATIC
  ${PLA_TESTS}/common/GlTestContext.cpp ${PLA_TESTS}/common/GlTestFunctions.cpp
  ${PLA_TESTS}/common/SoundRecorder.cpp ${PLA_TESTS}/common/TestSupport.cpp)
target_include_directories(pla_testcommon PUBLIC ${PLA_TESTS} ${PROJECT_SOURCE_DIR}/src
  ${PROJECT_SOURCE_DIR}/include)
target_compile_definitions(pla_testcommon PUBLIC
  PLA_TEST_MEDIA_DIR="${PLA_MEDIA_DIR}"
  PLA_BINARY_DIR="${CMAKE_BINARY_DIR}"
  PLA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
target_link_libraries(pla_testcommon PUBLIC GTest::GTest Qt5::Core Qt5::Widgets Qt5::Test
  GLEW::GLEW OpenGL::GL Threads::Threads)
set_target_properties(pla_testcommon PROPERTIES AUTOMOC ON)

# pla_add_test(NAME n SOURCES ... [LIBS ...] [LABELS display sound media ...] [TIMEOUT s] [NOAPP])
# Builds one GoogleTest executable, with the shared entry point
# tests/common/TestMain.cpp (GoogleTest's own, which makes no Qt application
# object, with NOAPP), and registers it as one CTest test.
# Sources are named relative to tests/. Label "display" or "sound" for tests that
# need Xvfb or PulseAudio (started by tools/test-env.sh around the whole run),
# "media" for tests that read the media generated once per run by the
# make_media fixture.
function(pla_add_test)
  cmake_parse_arguments(T "NOAPP" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  list(TRANSFORM T_SOURCES PREPEND ${PLA_TESTS}/)
  if(NOT T_NOAPP)
    list(APPEND T_SOURCES ${PLA_TESTS}/common/TestMain.cpp)
  endif()
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE pla_testcommon ${T_LIBS})
  if(T_NOAPP)
    target_link_libraries(${T_NAME} PRIVATE GTest::Main)
  endif()
  set_target_properties(${T_NAME} PROPERTIES AUTOMOC ON)
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 120)
  endif()
  add_test(NAME ${T_NAME} COMMAND ${T_NAME})
  set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT} LABELS "${T_LABELS}")
  if("sound" IN_LIST T_LABELS)
    # One test at a time plays into (and records) the shared null sink.
    set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK sound_sink)
  endif()
  if("media" IN_LIST T_LABELS)
    set_tests_properties(${T_NAME} PROPERTIES FIXTURES_REQUIRED media)
  endif()
endfunction()

# pla_add_e2e_test(NAME n SOURCES ... [TIMEOUT s]): a test host that loads the
# built plug-in with dlopen (tests/e2e/E2EHost.h) under Xvfb and the sink.
function(pla_add_e2e_test)
  cmake_parse_arguments(T "" "NAME;TIMEOUT;PLUGIN" "SOURCES" ${ARGN})
  if(NOT T_PLUGIN)
    set(T_PLUGIN $<TARGET_FILE:PlayerLibAV>)
  endif()
  pla_add_test(NAME ${T_NAME} SOURCES ${T_SOURCES} LIBS ${CMAKE_DL_LIBS}
    LABELS display sound media TIMEOUT ${T_TIMEOUT})
  target_compile_definitions(${T_NAME} PRIVATE PLA_PLUGIN_PATH="${T_PLUGIN}")
  add_dependencies(${T_NAME} PlayerLibAV)
endfunction()
