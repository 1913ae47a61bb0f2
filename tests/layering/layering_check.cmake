# One layering check (run by ctest; see CMakeLists.txt beside it).
#
#   MODE=probe    compile SOURCE (syntax only) with COMPILER and the include
#                 folders listed in INCLUDE_DIRS; EXPECT is "compiles" or
#                 "fails", and the check fails when the compile disagrees
#   MODE=sources  every #include "..." of every file under FOLDER (but the
#                 comma-separated SKIP, relative to FOLDER) must name a file
#                 beside it or under one of INCLUDE_DIRS
cmake_minimum_required(VERSION 3.25)

file(STRINGS ${INCLUDE_DIRS} include_dirs)
# The compiler's own folders stay the compiler's: -I/usr/include would put
# the C headers ahead of libstdc++'s wrappers.
list(REMOVE_DUPLICATES include_dirs)
list(REMOVE_ITEM include_dirs /usr/include /usr/local/include)

if(MODE STREQUAL "probe")
  set(flags "")
  foreach(dir IN LISTS include_dirs)
    list(APPEND flags -I${dir})
  endforeach()
  execute_process(COMMAND ${COMPILER} -std=c++20 -fsyntax-only ${flags} ${SOURCE}
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  file(READ ${SOURCE} probe)
  string(STRIP "${probe}" probe)
  string(REPLACE ";" "\n  " path "${include_dirs}")
  if(EXPECT STREQUAL "compiles" AND NOT rc EQUAL 0)
    message(FATAL_ERROR "${probe} must compile on this include path and does not:\n  ${path}\n${out}")
  elseif(EXPECT STREQUAL "fails" AND rc EQUAL 0)
    message(FATAL_ERROR "${probe} compiles on this include path; that layer is not kept:\n  ${path}")
  elseif(NOT EXPECT MATCHES "^(compiles|fails)$")
    message(FATAL_ERROR "EXPECT must be compiles or fails, not '${EXPECT}'")
  endif()
elseif(MODE STREQUAL "sources")
  file(GLOB_RECURSE files ${FOLDER}/*.h ${FOLDER}/*.cpp ${FOLDER}/*.inc)
  string(REPLACE "," ";" skipped "${SKIP}")
  foreach(skip IN LISTS skipped)
    list(REMOVE_ITEM files ${FOLDER}/${skip})
  endforeach()
  set(problems "")
  foreach(file IN LISTS files)
    file(STRINGS ${file} lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    get_filename_component(here ${file} DIRECTORY)
    foreach(line IN LISTS lines)
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*\"([^\"]+)\".*" "\\1" name "${line}")
      set(found FALSE)
      foreach(dir IN ITEMS ${here} ${include_dirs})
        if(EXISTS ${dir}/${name})
          set(found TRUE)
          break()
        endif()
      endforeach()
      if(NOT found)
        file(RELATIVE_PATH shown ${FOLDER} ${file})
        string(APPEND problems "\n  ${shown}: #include \"${name}\"")
      endif()
    endforeach()
  endforeach()
  if(problems)
    string(REPLACE ";" "\n  " path "${include_dirs}")
    message(FATAL_ERROR "includes that reach past what this library links (its include path:\n  ${path}):${problems}")
  endif()
else()
  message(FATAL_ERROR "MODE must be probe or sources")
endif()
