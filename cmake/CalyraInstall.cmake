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
# calyra.h gathers the client headers; platform/ installs every header
# directly in it (its HEADERS file set is that folder), idl/ lists its own,
# and only those sets are installed.
target_sources(calyra_client INTERFACE FILE_SET HEADERS BASE_DIRS ${PROJECT_SOURCE_DIR}/include
  FILES ${PROJECT_SOURCE_DIR}/include/calyra/calyra.h)
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

# Headers: include/calyra/calyra.h, and below include/calyra/ the platform/
# and idl/ headers it includes, at the paths the sources use, so the headers
# include each other unchanged.
install(TARGETS calyra_client EXPORT CalyraTargets FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# On Windows every DLL goes to bin/, Calyra.dll beside the DLLs it imports.
if(WIN32)
  set(calyra_module_dir ${CMAKE_INSTALL_BINDIR})
else()
  set(calyra_module_dir ${CMAKE_INSTALL_LIBDIR})
endif()
install(TARGETS calyra_runtime calyra_idl
  EXPORT CalyraTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/calyra)
install(TARGETS calyra_module EXPORT CalyraTargets LIBRARY DESTINATION ${calyra_module_dir})
install(TARGETS calyra_engine calyra_errorreport
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

install(EXPORT CalyraTargets NAMESPACE Calyra:: DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Calyra)
configure_package_config_file(cmake/CalyraConfig.cmake.in ${CMAKE_BINARY_DIR}/CalyraConfig.cmake
  INSTALL_DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Calyra)
write_basic_package_version_file(${CMAKE_BINARY_DIR}/CalyraConfigVersion.cmake COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_BINARY_DIR}/CalyraConfig.cmake ${CMAKE_BINARY_DIR}/CalyraConfigVersion.cmake
  DESTINATION ${CMAKE_INSTALL_LIBDIR}/cmake/Calyra)

# The installed package, checked the way a client meets it: install into a
# scratch prefix, then CheckInstalledHeaders.cmake fails when a header is
# installed that calyra.h does not reach (or one it reaches is missing), when
# a server-side header is installed, or when a public header does not compile
# on its own; it also builds examples/client against that prefix. (Linux:
# the check compiles the headers with the host's toolchain.)
if(CALYRA_BUILD_TESTS AND NOT WIN32)
  enable_testing()
  if(CALYRA_SANITIZER STREQUAL "address")
    set(calyra_check_flags "-fsanitize=address,undefined")
  elseif(CALYRA_SANITIZER STREQUAL "thread")
    set(calyra_check_flags "-fsanitize=thread")
  endif()
  add_test(NAME install_ships_only_the_client_api
    COMMAND ${CMAKE_COMMAND}
      -DBUILD_DIR=${CMAKE_BINARY_DIR}
      -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
      -DWORK_DIR=${CMAKE_BINARY_DIR}/install-check
      -DGENERATOR=${CMAKE_GENERATOR}
      -DCXX_COMPILER=${CMAKE_CXX_COMPILER}
      -DCXX_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER}
      -DEXTRA_FLAGS=${calyra_check_flags}
      -P ${PROJECT_SOURCE_DIR}/cmake/CheckInstalledHeaders.cmake)
  set_tests_properties(install_ships_only_the_client_api PROPERTIES TIMEOUT 600)
endif()
