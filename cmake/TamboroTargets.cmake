# Shared helpers for the project's targets.

# Warnings and sanitizers for every target of ours (not for third-party code).
function(tamboro_target_defaults target)
  set_property(GLOBAL APPEND PROPERTY TAMBORO_LINKING_TARGETS ${target})
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(TAMBORO_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
  # Kernels that need instruction set extensions live in files named
  # *_Avx2.cpp; everything else is plain x86-64 (SSE2 is baseline there).
  get_target_property(_srcs ${target} SOURCES)
  if(_srcs AND CMAKE_SYSTEM_PROCESSOR MATCHES "x86_64|AMD64|amd64")
    foreach(_s IN LISTS _srcs)
      if(_s MATCHES "_Avx2\\.cpp$")
        set_source_files_properties(${_s} TARGET_DIRECTORY ${target}
                                    PROPERTIES COMPILE_OPTIONS "-mavx2")
      endif()
    endforeach()
  endif()
endfunction()

# tamboro_add_library(<name> [DIR <dir>] [DEPS <libs>...])
# A static library of every .cpp file directly inside the calling folder.
function(tamboro_add_library name)
  cmake_parse_arguments(ARG "" "" "DEPS;PRIVATE_DEPS" ${ARGN})
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  file(GLOB _hdrs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(${name} STATIC ${_srcs} ${_hdrs})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
  if(ARG_PRIVATE_DEPS)
    target_link_libraries(${name} PRIVATE ${ARG_PRIVATE_DEPS})
  endif()
  tamboro_target_defaults(${name})
  tamboro_register_layer(${name})
endfunction()

# tamboro_register_layer(<target>)
# Puts a library under the layer check that runs at the end of the configure.
function(tamboro_register_layer target)
  set_property(GLOBAL APPEND PROPERTY TAMBORO_LAYERED_TARGETS ${target})
endfunction()

# tamboro_check_layers(<target> <rank> ...)
# Each library of ours may link only libraries of a lower rank, and every
# library of ours that any target names must exist: a misspelt or missing
# target fails the configure instead of linking a program without it.
function(tamboro_check_layers)
  set(_table ${ARGN})
  list(LENGTH _table _n)
  set(_i 0)
  while(_i LESS _n)
    list(GET _table ${_i} _t)
    math(EXPR _j "${_i} + 1")
    list(GET _table ${_j} _r)
    set(_rank_${_t} ${_r})
    math(EXPR _i "${_i} + 2")
  endwhile()
  get_property(_layered GLOBAL PROPERTY TAMBORO_LAYERED_TARGETS)
  foreach(_t IN LISTS _layered)
    if(NOT DEFINED _rank_${_t})
      message(FATAL_ERROR "Layer check: ${_t} has no place in the layer table")
    endif()
    get_target_property(_type ${_t} TYPE)
    set(_deps "")
    if(NOT _type STREQUAL "INTERFACE_LIBRARY")
      get_target_property(_deps ${_t} LINK_LIBRARIES)
    endif()
    get_target_property(_ideps ${_t} INTERFACE_LINK_LIBRARIES)
    foreach(_d IN LISTS _deps _ideps)
      if(NOT _d MATCHES "^tamboro_")
        continue()
      endif()
      if(NOT TARGET ${_d})
        message(FATAL_ERROR "Layer check: ${_t} links ${_d}, which is not a target")
      endif()
      if(NOT DEFINED _rank_${_d})
        continue()  # build-time helpers such as the embedded resources
      endif()
      if(NOT _rank_${_d} LESS _rank_${_t})
        message(FATAL_ERROR "Layer check: ${_t} (layer ${_rank_${_t}}) links ${_d} "
                            "(layer ${_rank_${_d}}); a target links only layers below it")
      endif()
    endforeach()
  endforeach()
  # Programs and suites: every library of ours they name must exist.
  get_property(_users GLOBAL PROPERTY TAMBORO_LINKING_TARGETS)
  foreach(_t IN LISTS _users)
    get_target_property(_deps ${_t} LINK_LIBRARIES)
    foreach(_d IN LISTS _deps)
      if(_d MATCHES "^tamboro_" AND NOT TARGET ${_d})
        message(FATAL_ERROR "Layer check: ${_t} links ${_d}, which is not a target")
      endif()
    endforeach()
  endforeach()
endfunction()

# tamboro_add_test_suite(<name> LIBS <libs>... [THREADED [<file>...]])
# One GoogleTest executable of every .cpp file in the calling folder.
# THREADED marks the suite as one that starts threads (the output engine and
# device, the timer, the message layer, the live mix): alone it marks every
# file, followed by file names only those. The ThreadSanitizer build
# (TAMBORO_TSAN_ONLY) builds only marked suites, of their marked files, and
# its target tamboro_threaded_suites builds them all.
function(tamboro_add_test_suite name)
  cmake_parse_arguments(ARG "" "" "LIBS;THREADED" ${ARGN})
  file(GLOB _srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  set(_run TRUE)
  if(TAMBORO_TSAN_ONLY)
    if(ARG_THREADED)
      list(TRANSFORM ARG_THREADED PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/ OUTPUT_VARIABLE _srcs)
    elseif(NOT "THREADED" IN_LIST ARG_KEYWORDS_MISSING_VALUES)
      # Still a target (folders may refer to it), but never built or run.
      set(_run FALSE)
    endif()
  endif()
  if(_run)
    add_executable(${name} ${_srcs})
  else()
    add_executable(${name} EXCLUDE_FROM_ALL ${_srcs})
  endif()
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} tamboro_testsupport GTest::gtest
                                        GTest::gmock GTest::gtest_main)
  tamboro_target_defaults(${name})
  if(NOT _run)
    return()
  endif()
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST
                       PROPERTIES ENVIRONMENT "TAMBORO_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
  if(TARGET tamboro_threaded_suites)
    add_dependencies(tamboro_threaded_suites ${name})
  endif()
endfunction()

# tamboro_embed_resources(<target> FUNCTION <fn> ENTRIES <name> <type> <file> ...)
# Makes a static library whose function <fn> returns the table of entries.
function(tamboro_embed_resources target)
  cmake_parse_arguments(ARG "" "FUNCTION" "ENTRIES" ${ARGN})
  set(_out ${CMAKE_CURRENT_BINARY_DIR}/${target}_data.cpp)
  set(_deps "")
  list(LENGTH ARG_ENTRIES _n)
  set(_i 2)
  while(_i LESS _n)
    list(GET ARG_ENTRIES ${_i} _f)
    list(APPEND _deps ${_f})
    math(EXPR _i "${_i} + 3")
  endwhile()
  add_custom_command(OUTPUT ${_out}
                     COMMAND tamboro-embed ${_out} ${ARG_FUNCTION} ${ARG_ENTRIES}
                     DEPENDS tamboro-embed ${_deps}
                     COMMENT "Embedding resources for ${target}" VERBATIM)
  add_library(${target} STATIC ${_out})
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR})
endfunction()

