# The engine and the facade tested below the plug-in boundary. The facade's
# sources are compiled in, since the shared plug-in exports only its factories.
pla_add_test(NAME plugin_engine NOMAIN
  SOURCES ${PROJECT_SOURCE_DIR}/tests/e2e/E2EMain.cpp ${CMAKE_CURRENT_LIST_DIR}/EngineTest.cpp
          ${PROJECT_SOURCE_DIR}/src/plugin/PlayerLibAV.cpp ${PROJECT_SOURCE_DIR}/src/plugin/ListenerProxy.cpp
          ${PROJECT_SOURCE_DIR}/src/plugin/PlayerLibAV.h
  LIBS pla_engine Qt5::Widgets
  LABELS display sound media TIMEOUT 300)
