find_package(GTest REQUIRED)
include(GoogleTest)

set(PLA_MEDIA_DIR ${CMAKE_BINARY_DIR}/media)

# Test helpers shared by every test executable.
file(GLOB _common_sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/tests/common/*.cpp)
add_library(pla_testcommon STATIC ${_common_sources})
target_include_directories(pla_testcommon PUBLIC ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/src
  ${PROJECT_SOURCE_DIR}/include)
target_compile_definitions(pla_testcommon PUBLIC
  PLA_TEST_MEDIA_DIR="${PLA_MEDIA_DIR}"
  PLA_BINARY_DIR="${CMAKE_BINARY_DIR}"
  PLA_SOURCE_DIR="${PROJECT_SOURCE_DIR}")
target_link_libraries(pla_testcommon PUBLIC GTest::GTest Qt5::Core Threads::Threads)
set_target_properties(pla_testcommon PROPERTIES AUTOMOC ON)

# pla_add_test(NAME n SOURCES ... [LIBS ...] [LABELS display sound media ...] [TIMEOUT s] [NOMAIN])
# Builds one GoogleTest executable and registers it as one CTest test. Label
# "display" or "sound" for tests that need Xvfb or PulseAudio (started by
# tools/test-env.sh around the whole run), "media" for tests that read the media
# generated once per run by the make_media fixture.
function(pla_add_test)
  cmake_parse_arguments(T "NOMAIN" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${T_NAME} ${T_SOURCES})
  target_link_libraries(${T_NAME} PRIVATE pla_testcommon ${T_LIBS})
  if(NOT T_NOMAIN)
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
