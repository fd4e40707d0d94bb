# qx_add_library(NAME SOURCES ... [LINK ...])
#
# Builds NAME as a shared library with hidden default visibility from an object
# library NAME_obj. Tests that need the library's internal functions link
# NAME_obj directly; everything else links the shared NAME.
function(qx_add_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINK" ${ARGN})
  add_library(${name}_obj OBJECT ${ARG_SOURCES})
  set_target_properties(${name}_obj PROPERTIES POSITION_INDEPENDENT_CODE ON)
  target_include_directories(${name}_obj PUBLIC ${PROJECT_SOURCE_DIR})
  target_compile_definitions(${name}_obj PRIVATE QX_BUILDING_LIBRARY)
  target_link_libraries(${name}_obj PUBLIC ${ARG_LINK})

  add_library(${name} SHARED $<TARGET_OBJECTS:${name}_obj>)
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${ARG_LINK})
endfunction()

# qx_add_gtest(NAME SOURCES ... LINK ... [TIMEOUT seconds])
#
# One GoogleTest executable whose cases ctest runs one by one, each bounded
# in time so that a hang fails the run instead of stalling it. A listed source
# that does not exist stops the configure step: a renamed test file must never
# leave ctest silently short of its cases.
function(qx_add_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LINK" ${ARGN})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 60)
  endif()
  foreach(source ${ARG_SOURCES})
    if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${source})
      message(FATAL_ERROR "test ${name}: source ${CMAKE_CURRENT_SOURCE_DIR}/${source} does not exist")
    endif()
  endforeach()
  foreach(library ${ARG_LINK})
    if(NOT TARGET ${library})
      message(FATAL_ERROR "test ${name}: links ${library}, which is no target of this build")
    endif()
  endforeach()
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_LINK} qx_test_support GTest::gtest GTest::gmock GTest::gtest_main)
  gtest_discover_tests(${name}
    DISCOVERY_TIMEOUT 30
    PROPERTIES TIMEOUT ${ARG_TIMEOUT}
               ENVIRONMENT "QT_QPA_PLATFORM=offscreen;ZELVO_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
