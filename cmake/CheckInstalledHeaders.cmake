# Checks the installed headers the way a client meets them (run by ctest as
# install_ships_only_the_client_api; cmake -P with the -D values below).
#
#   BUILD_DIR     a built Calyra tree to install
#   SOURCE_DIR    the source tree (for examples/client)
#   WORK_DIR      scratch folder, emptied first
#   GENERATOR, CXX_COMPILER, CXX_LAUNCHER, EXTRA_FLAGS   for the client builds
#
# Fails when
#   - the installed platform headers are not exactly the headers directly in
#     platform/ (that folder is the client's part of the port; system/,
#     posix/, win32/ and comserver/ are the component's), or anything is
#     installed beside calyra.h, platform/ and idl/;
#   - an installed header is not reached from calyra/calyra.h, or a header
#     it reaches is not installed;
#   - an installed header does not compile alone, in its own translation unit,
#     against the installed tree only;
#   - examples/client does not build against the installed package.
cmake_minimum_required(VERSION 3.25)

foreach(var BUILD_DIR SOURCE_DIR WORK_DIR GENERATOR CXX_COMPILER)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "CheckInstalledHeaders.cmake needs -D${var}=...")
  endif()
endforeach()

file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/install)
execute_process(COMMAND ${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix}
  RESULT_VARIABLE rc OUTPUT_QUIET)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "cmake --install ${BUILD_DIR} failed (${rc})")
endif()
set(include_dir ${prefix}/include)
file(GLOB_RECURSE installed RELATIVE ${include_dir} ${include_dir}/*)
list(SORT installed)

# What calyra.h reaches through its quoted includes, resolved as the
# compiler does: beside the including file first, then in include/calyra/
# (the directory Calyra::runtime puts on the include path).
set(reached "")
set(missing "")
set(queue calyra/calyra.h)
while(queue)
  list(POP_FRONT queue header)
  if(header IN_LIST reached)
    continue()
  endif()
  list(APPEND reached ${header})
  file(STRINGS ${include_dir}/${header} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
  get_filename_component(here ${header} DIRECTORY)
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" name "${line}")
    if(EXISTS ${include_dir}/${here}/${name})
      list(APPEND queue ${here}/${name})
    elseif(EXISTS ${include_dir}/calyra/${name})
      list(APPEND queue calyra/${name})
    else()
      list(APPEND missing "${name} (included by ${header})")
    endif()
  endforeach()
endwhile()

set(problems "")
file(GLOB platform_headers RELATIVE ${SOURCE_DIR} ${SOURCE_DIR}/platform/*.h)
list(TRANSFORM platform_headers PREPEND calyra/)
foreach(file IN LISTS platform_headers)
  if(NOT file IN_LIST installed)
    string(APPEND problems "\n  a client header of platform/ is not installed: include/${file}")
  endif()
endforeach()
foreach(file IN LISTS installed)
  if(file MATCHES "^calyra/platform/" AND NOT file IN_LIST platform_headers)
    string(APPEND problems "\n  installed but not a header of platform/ itself: include/${file}")
  elseif(NOT file MATCHES "^calyra/(platform|idl)/[^/]+$" AND NOT file STREQUAL "calyra/calyra.h")
    string(APPEND problems "\n  installed outside calyra.h, platform/ and idl/: include/${file}")
  endif()
  if(NOT file IN_LIST reached)
    string(APPEND problems "\n  installed but no client header includes it: include/${file}")
  endif()
endforeach()
foreach(entry IN LISTS missing)
  string(APPEND problems "\n  a client header includes what is not installed: ${entry}")
endforeach()
string(REPLACE ";" "\n  include/" listing "include/${installed}")
message(STATUS "installed headers:\n  ${listing}")
if(problems)
  message(FATAL_ERROR "the installed headers are not the client API:${problems}")
endif()

# One translation unit per header, compiled against the installed package
# only, with warnings as errors; and the example client beside them.
set(project_dir ${WORK_DIR}/headers)
set(units "")
foreach(file IN LISTS installed)
  if(file MATCHES "\\.h$")
    string(MAKE_C_IDENTIFIER ${file} unit)
    file(WRITE ${project_dir}/${unit}.cpp "#include <${file}>\n")
    list(APPEND units ${unit}.cpp)
  endif()
endforeach()
string(JOIN "\n  " unit_list ${units})
file(WRITE ${project_dir}/CMakeLists.txt "cmake_minimum_required(VERSION 3.25)
project(CalyraInstalledHeaders LANGUAGES CXX)
set(CMAKE_CXX_STANDARD 20)
set(CMAKE_CXX_STANDARD_REQUIRED ON)
set(CMAKE_CXX_EXTENSIONS OFF)
find_package(Calyra CONFIG REQUIRED)
add_library(each_header_alone OBJECT
  ${unit_list})
target_compile_options(each_header_alone PRIVATE -Wall -Wextra -Wpedantic -Werror)
target_link_libraries(each_header_alone PRIVATE Calyra::runtime)
add_subdirectory(${SOURCE_DIR}/examples/client example)
")
set(configure_args -S ${project_dir} -B ${project_dir}/build -G ${GENERATOR}
  -DCMAKE_PREFIX_PATH=${prefix} -DCMAKE_CXX_COMPILER=${CXX_COMPILER})
if(CXX_LAUNCHER)
  list(APPEND configure_args -DCMAKE_CXX_COMPILER_LAUNCHER=${CXX_LAUNCHER})
endif()
if(EXTRA_FLAGS)
  list(APPEND configure_args -DCMAKE_CXX_FLAGS=${EXTRA_FLAGS} -DCMAKE_EXE_LINKER_FLAGS=${EXTRA_FLAGS})
endif()
execute_process(COMMAND ${CMAKE_COMMAND} ${configure_args} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "find_package(Calyra) against the installed prefix failed:\n${out}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${project_dir}/build -j2
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "a client cannot compile the installed headers (each is compiled alone in "
                      "<unit>.cpp under ${project_dir}) or build examples/client:\n${out}")
endif()
