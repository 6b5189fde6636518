pla_add_test(NAME QueuesTest SOURCES ${CMAKE_CURRENT_LIST_DIR}/QueuesTest.cpp)
