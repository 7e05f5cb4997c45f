# SPDX-License-Identifier: GPL-3.0-or-later
# dt_add_test(name SOURCES a.cpp b.cpp LIBS lib1 lib2 [GUI])
# Builds one GoogleTest executable into build/tests and registers each of its cases with
# CTest. GUI tests get a main that creates a QApplication (offscreen platform); the others
# a QCoreApplication. Every case runs in its own process with its own temporary registry.
function(dt_add_test name)
  cmake_parse_arguments(T "GUI" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  if(T_GUI)
    target_link_libraries(${name} PRIVATE dt_testsupport_guimain)
  else()
    target_link_libraries(${name} PRIVATE dt_testsupport_main)
  endif()
  target_link_libraries(${name} PRIVATE dt_options dt_testsupport GTest::gtest GTest::gmock ${T_LIBS})
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen;DOVETAIL_BIN_DIR=${CMAKE_BINARY_DIR}/bin"
               TIMEOUT 300)
endfunction()

# Adds every sub-folder of the current folder that holds a build file, in name order, so a
# folder can grow new parts without touching its parent.
function(dt_add_child_directories)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child} AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()
