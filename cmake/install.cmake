# Installs headers, libraries, the CMake package (find_package(kxsql) giving
# kxsql::kxsql, which brings kxcom with it) and a pkg-config file.
include(CMakePackageConfigHelpers)

set(KXSQL_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/kxsql)

install(TARGETS kxsql kxcom
  EXPORT kxsqlTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(DIRECTORY include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY host/include/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(DIRECTORY ${KXSQL_GENERATED_INCLUDE_DIR}/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})

install(EXPORT kxsqlTargets
  NAMESPACE kxsql::
  DESTINATION ${KXSQL_CMAKE_DIR})

configure_package_config_file(cmake/kxsqlConfig.cmake.in
  ${PROJECT_BINARY_DIR}/kxsqlConfig.cmake
  INSTALL_DESTINATION ${KXSQL_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/kxsqlConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES
  ${PROJECT_BINARY_DIR}/kxsqlConfig.cmake
  ${PROJECT_BINARY_DIR}/kxsqlConfigVersion.cmake
  DESTINATION ${KXSQL_CMAKE_DIR})

# The pkg-config file finds its prefix from where it is installed, so that a
# package moved to another prefix (or installed with --prefix) still works.
string(REGEX REPLACE "[^/]+" ".." KXSQL_PC_TO_PREFIX "${CMAKE_INSTALL_LIBDIR}/pkgconfig")
configure_file(cmake/kxsql.pc.in ${PROJECT_BINARY_DIR}/kxsql.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/kxsql.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
