# Installation for host developers: the plug-in with its SONAME links, the public
# header, a CMake package (find_package(PlayerLibAV) -> PlayerLibAV::PlayerLibAV),
# a pkg-config file (playerlibav.pc) and the player-host application.
include(CMakePackageConfigHelpers)

set(PLAYERLIBAV_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/PlayerLibAV)

# The package version, the .pc version and the SONAME come from project(VERSION);
# the header's macros must say the same, or a host would see two versions.
file(STRINGS ${PROJECT_SOURCE_DIR}/include/IMediaPlayer2.h _version_lines
  REGEX "^#define PLAYERLIBAV_VERSION_(MAJOR|MINOR|PATCH|STRING) ")
set(_header_version)
foreach(_part MAJOR MINOR PATCH)
  string(REGEX MATCH "PLAYERLIBAV_VERSION_${_part} ([0-9]+)" _match "${_version_lines}")
  list(APPEND _header_version ${CMAKE_MATCH_1})
endforeach()
list(JOIN _header_version "." _header_version)
string(REGEX MATCH "PLAYERLIBAV_VERSION_STRING \"([0-9.]+)\"" _match "${_version_lines}")
if(NOT _header_version VERSION_EQUAL PROJECT_VERSION OR NOT CMAKE_MATCH_1 STREQUAL PROJECT_VERSION)
  message(FATAL_ERROR "include/IMediaPlayer2.h says version ${_header_version}, "
    "the project says ${PROJECT_VERSION}: update PLAYERLIBAV_VERSION_* in the header")
endif()

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
