# Support services: timing, rate counters and logging. No display or sound.
pla_add_test(NAME HighResTimerTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/HighResTimerTest.cpp
  LIBS pla_support LABELS support TIMEOUT 60)
pla_add_test(NAME FpsCounterTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/FpsCounterTest.cpp
  LIBS pla_support LABELS support TIMEOUT 30)
pla_add_test(NAME LoggerTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/LoggerTest.cpp
  LIBS pla_support LABELS support TIMEOUT 30)
pla_add_test(NAME HostLogTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/HostLogTest.cpp
  LIBS pla_support LABELS support TIMEOUT 30)
