pla_add_test(NAME QtAudioPlayerTest NOMAIN
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/QtAudioPlayerTest.cpp ${CMAKE_CURRENT_LIST_DIR}/AudioTestMain.cpp
  LIBS pla_audio LABELS sound TIMEOUT 240)
pla_add_test(NAME QtAudioPlayerDeviceTest
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/QtAudioPlayerDeviceTest.cpp
  LIBS pla_audio)
pla_add_test(NAME AwaitInThreadTest NOMAIN
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/AwaitInThreadTest.cpp ${CMAKE_CURRENT_LIST_DIR}/AudioTestMain.cpp
  LIBS pla_audio)
