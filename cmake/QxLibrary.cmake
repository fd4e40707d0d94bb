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
# leave ctest silently short of its cases. Every case carries the labels that
# qx_test_labels() gives the executable, so that `ctest -L threaded` picks
# whole executables (scripts/sanitize thread builds and runs exactly those).
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
  # The cases are only known once the executable has listed them, so the
  # labels go on in a file that ctest reads after the discovered list; the
  # target property is read at generate time, after every qx_test_labels().
  set(labels_file ${CMAKE_CURRENT_BINARY_DIR}/${name}_labels.cmake)
  file(GENERATE OUTPUT ${labels_file} CONTENT
"if(${name}_TESTS AND NOT \"$<TARGET_PROPERTY:${name},QX_TEST_LABELS>\" STREQUAL \"\")
  set_tests_properties(\${${name}_TESTS} PROPERTIES LABELS \"$<TARGET_PROPERTY:${name},QX_TEST_LABELS>\")
endif()
")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${labels_file})
endfunction()

# qx_test_labels(NAME label ...)
#
# Adds ctest labels to every case of the qx_add_gtest executable NAME.
function(qx_test_labels name)
  set_property(TARGET ${name} APPEND PROPERTY QX_TEST_LABELS ${ARGN})
endfunction()
