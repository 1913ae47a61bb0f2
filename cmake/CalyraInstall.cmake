# Installing Calyra as a package: headers, libraries, the component module,
# the tools, and a CMake package so that an outside project writes
#
#   find_package(Calyra CONFIG REQUIRED)
#   target_link_libraries(app PRIVATE Calyra::runtime)
#   # $<TARGET_FILE:Calyra::module> is the component module
#
# and includes <calyra/calyra.h>.
include(CMakePackageConfigHelpers)

# What a client links: the platform layer and the type library's
# identifiers and descriptions.
add_library(calyra_client INTERFACE)
target_link_libraries(calyra_client INTERFACE calyra_runtime calyra_idl)
target_include_directories(calyra_client INTERFACE
  $<BUILD_INTERFACE:${PROJECT_SOURCE_DIR}/include>
  $<INSTALL_INTERFACE:${CMAKE_INSTALL_INCLUDEDIR}>)
set_target_properties(calyra_client PROPERTIES EXPORT_NAME runtime)
set_target_properties(calyra_runtime PROPERTIES EXPORT_NAME platform)
set_target_properties(calyra_idl PROPERTIES EXPORT_NAME idl)
set_target_properties(calyra_module PROPERTIES EXPORT_NAME module)

# Installed binaries find the installed shared libraries beside or below
# them.
set_target_properties(calyra_runtime calyra_engine calyra_errorreport calyra_module PROPERTIES
  INSTALL_RPATH "$ORIGIN")
foreach(tool calyra calyra-trace calyra-regsvr)
  if(TARGET ${tool})
    set_target_properties(${tool} PROPERTIES INSTALL_RPATH "$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  endif()
endforeach()

install(TARGETS calyra_client calyra_runtime calyra_idl calyra_module
  EXPORT CalyraTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS calyra_engine calyra_errorreport LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})

install(FILES include/calyra/calyra.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/calyra)
install(DIRECTORY platform/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/calyra/platform
  FILES_MATCHING PATTERN "*.h" PATTERN "*_internal.h" EXCLUDE)
install(DIRECTORY idl/ DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/calyra/idl
  FILES_MATCHING PATTERN "*.h" PATTERN "*.def")

install(EXPORT CalyraTargets NAMESPACE Calyra:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Calyra)
configure_package_config_file(cmake/CalyraConfig.cmake.in ${CMAKE_BINARY_DIR}/CalyraConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Calyra)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/CalyraConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/CalyraConfig.cmake ${CMAKE_BINARY_DIR}/CalyraConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Calyra)
