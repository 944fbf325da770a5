# The library's layers: one library per folder of src/, each compiled against
# an include view that holds only itself and the layers it may use.
#
#   kolthermo_add_layer(<layer> [HEADER_ONLY] [USES <lower layer>...])
#
# makes kolthermo_<layer> (a static library, or an interface library for a
# header-only layer) from src/<layer>, linked PRIVATE to the layers it USES.
# Layers are declared bottom up: a layer can only use layers declared before
# it, so the layer graph has no cycle by construction.
#
# The include view is the directory ${CMAKE_BINARY_DIR}/layer_includes/<layer>,
# created at configure time, with one symbolic link per visible layer,
# `<name> -> src/<name>`: the layer itself and, transitively, every layer it
# uses (a lower layer's headers include their own lower layers). The view
# replaces src/ on the layer's include path, so `#include "thermal/x.h"` in a
# layer that does not use thermal finds no file and the compile stops; a
# missing link never waits for the link step to notice. scripts/check-layers.sh
# proves that the views bite.
include_guard(GLOBAL)

find_package(Threads REQUIRED)

set(KOLTHERMO_LAYER_VIEWS_DIR ${CMAKE_BINARY_DIR}/layer_includes)

function(kolthermo_add_layer layer)
  cmake_parse_arguments(PARSE_ARGV 1 arg "HEADER_ONLY" "" "USES")
  set(target kolthermo_${layer})
  set(source_dir ${PROJECT_SOURCE_DIR}/src/${layer})

  # The layers visible from this one: itself and the views of those it uses.
  set(visible ${layer})
  foreach(used IN LISTS arg_USES)
    get_property(used_visible GLOBAL PROPERTY KOLTHERMO_LAYER_VISIBLE_${used})
    if(NOT used_visible)
      message(FATAL_ERROR "layer '${layer}' uses '${used}', which is not declared before it; "
        "layers are declared bottom up in src/CMakeLists.txt")
    endif()
    list(APPEND visible ${used_visible})
  endforeach()
  list(REMOVE_DUPLICATES visible)
  list(SORT visible)
  set_property(GLOBAL PROPERTY KOLTHERMO_LAYER_VISIBLE_${layer} ${visible})
  set_property(GLOBAL APPEND PROPERTY KOLTHERMO_LAYERS ${layer})

  # Rebuilt at every configure, so that a layer dropped from USES loses its link.
  set(view ${KOLTHERMO_LAYER_VIEWS_DIR}/${layer})
  file(REMOVE_RECURSE ${view})
  file(MAKE_DIRECTORY ${view})
  foreach(name IN LISTS visible)
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/src/${name} ${view}/${name} SYMBOLIC)
  endforeach()

  if(arg_HEADER_ONLY)
    # Nothing to compile: its headers are checked by the layers that include them.
    add_library(${target} INTERFACE)
    foreach(used IN LISTS arg_USES)
      target_link_libraries(${target} INTERFACE kolthermo_${used})
    endforeach()
    return()
  endif()

  add_library(${target} STATIC)
  target_include_directories(${target} PRIVATE ${view})
  target_compile_definitions(${target} PRIVATE KOLTHERMO_BUILDING_LIBRARY)
  target_link_libraries(${target} PRIVATE kolthermo_warnings Threads::Threads)
  foreach(used IN LISTS arg_USES)
    target_link_libraries(${target} PRIVATE kolthermo_${used})
  endforeach()
  if(NOT WIN32)
    set_target_properties(${target} PROPERTIES
      C_VISIBILITY_PRESET hidden CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  endif()
endfunction()
