# Opening, decoding and pacing tests on media made by tools/make-test-media.sh.
set(_player_support ${CMAKE_CURRENT_LIST_DIR}/PlayerTestSupport.cpp)

pla_add_test(NAME PlaybackClockTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/PlaybackClockTest.cpp
  LIBS pla_player)
pla_add_test(NAME MovieFileTest
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MovieFileTest.cpp ${_player_support}
  LIBS pla_player LABELS media)
pla_add_test(NAME PacketDecoderTest
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/PacketDecoderTest.cpp ${_player_support}
  LIBS pla_player LABELS media display TIMEOUT 300)
pla_add_test(NAME MovieDecoderTest
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/MovieDecoderTest.cpp ${_player_support}
  LIBS pla_player LABELS media display TIMEOUT 300)
