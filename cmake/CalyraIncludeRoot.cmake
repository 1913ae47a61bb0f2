# Include roots: each library makes exactly its own folder reachable.
#
# Sources include each other as "core/field_map.h", "platform/bstr.h". If a
# target put the repository root on its include path, every folder would be
# reachable from everywhere and the layers would hold only by discipline.
# Instead each library gets a folder of its own in the build tree holding one
# symbolic link named after its source folder,
#
#   <build>/include_roots/calyra_core/core -> <source>/core
#
# and exports that folder (BUILD_INTERFACE) as its include directory. An
# include then compiles only where the target links the library that owns
# the header; tests/layering proves it.
include_guard(GLOBAL)

set(CALYRA_INCLUDE_ROOTS ${CMAKE_BINARY_DIR}/include_roots)

# calyra_include_root(<target> <folder> [AS <name>] [PRIVATE])
#   <folder>  the source folder, relative to the project root ("core",
#             "tools/calendar")
#   AS        the name includes use for it (default: the folder's last
#             component, so tools/calendar is included as "calendar/...")
#   PRIVATE   the root serves the target's own sources only (programs)
# Sets <target>'s CALYRA_INCLUDE_ROOT property to the root folder.
function(calyra_include_root target folder)
  cmake_parse_arguments(PARSE_ARGV 2 arg "PRIVATE" "AS" "")
  get_filename_component(name ${folder} NAME)
  if(arg_AS)
    set(name ${arg_AS})
  endif()
  set(root ${CALYRA_INCLUDE_ROOTS}/${target})
  get_filename_component(parent ${root}/${name} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${name} SYMBOLIC)
  if(arg_PRIVATE)
    target_include_directories(${target} PRIVATE ${root})
  else()
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
      target_include_directories(${target} INTERFACE $<BUILD_INTERFACE:${root}>)
    else()
      target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${root}>)
    endif()
  endif()
  set_target_properties(${target} PROPERTIES CALYRA_INCLUDE_ROOT ${root})
endfunction()
