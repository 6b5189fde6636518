# Installation for host developers: the plug-in with its SONAME links, the public
# header, a CMake package (find_package(PlayerLibAV) -> PlayerLibAV::PlayerLibAV),
# a pkg-config file (playerlibav.pc) and the player-host application.
include(CMakePackageConfigHelpers)

set(PLAYERLIBAV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/PlayerLibAV)

install(TARGETS PlayerLibAV EXPORT PlayerLibAVTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_SOURCE_DIR}/include/IMediaPlayer2.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT PlayerLibAVTargets NAMESPACE PlayerLibAV:: DESTINATION ${PLAYERLIBAV_CMAKE_DIR})

configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/PlayerLibAVConfig.cmake.in
  ${CMAKE_CURRENT_BINARY_DIR}/PlayerLibAVConfig.cmake
  INSTALL_DESTINATION ${PLAYERLIBAV_CMAKE_DIR})
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/PlayerLibAVConfigVersion.cmake
  VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/PlayerLibAVConfig.cmake
  ${CMAKE_CURRENT_BINARY_DIR}/PlayerLibAVConfigVersion.cmake
  DESTINATION ${PLAYERLIBAV_CMAKE_DIR})

# The .pc file computes its paths from its own place, so a package installed with
# --prefix somewhere else still points at itself.
file(RELATIVE_PATH PLAYERLIBAV_PC_TO_PREFIX
  ${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" PLAYERLIBAV_PC_TO_PREFIX "${PLAYERLIBAV_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/playerlibav.pc.in ${CMAKE_CURRENT_BINARY_DIR}/playerlibav.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/playerlibav.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

if(TARGET player-host)
  install(TARGETS player-host RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
