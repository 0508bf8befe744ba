# cmake --install: the library, its public headers, the pelm tool, the jar
# and the documents, with a CMake package (find_package(pelm CONFIG) gives
# pelm::pelmLib) and a pkg-config file (pelm.pc).
include(CMakePackageConfigHelpers)

set(PELM_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/pelm)

install(TARGETS pelmLib EXPORT pelmTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(DIRECTORY include/pelm DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(FILES ${PROJECT_BINARY_DIR}/include/pelm/version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/pelm)
if(TARGET pelm)
  install(TARGETS pelm RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(PELM_BUILD_JAVA)
  install(FILES ${PELM_JAR} DESTINATION ${CMAKE_INSTALL_DATADIR}/java)
endif()
install(FILES README.md CHANGELOG.md LICENSE NOTICE DESTINATION ${CMAKE_INSTALL_DOCDIR})
# Beside the README as in the tree, so its links lead to them.
file(GLOB PELM_DOCUMENTS ${PROJECT_SOURCE_DIR}/docs/*.md)
install(FILES ${PELM_DOCUMENTS} DESTINATION ${CMAKE_INSTALL_DOCDIR}/docs)

install(EXPORT pelmTargets NAMESPACE pelm:: DESTINATION ${PELM_CMAKE_DIR})
configure_package_config_file(cmake/pelmConfig.cmake.in
  ${PROJECT_BINARY_DIR}/pelmConfig.cmake INSTALL_DESTINATION ${PELM_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/pelmConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/pelmConfig.cmake ${PROJECT_BINARY_DIR}/pelmConfigVersion.cmake
  DESTINATION ${PELM_CMAKE_DIR})

file(RELATIVE_PATH PELM_PC_TO_PREFIX /prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig /prefix)
configure_file(cmake/pelm.pc.in ${PROJECT_BINARY_DIR}/pelm.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/pelm.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
