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
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST TEST_LIST ${name}_TESTS PROPERTIES TIMEOUT 300)
  # gtest_discover_tests flattens a list-valued property, so only the first variable of an
  # ENVIRONMENT list would arrive; set it from a script that runs after the discovery.
  dt_test_environment(env)
  set(script ${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake)
  file(WRITE ${script} "if(DEFINED ${name}_TESTS)\n  set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT [==[${env}]==])\nendif()\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES ${script})
endfunction()

# The environment of every test: the offscreen platform, the programs' folder and, in a
# sanitized build, the sanitizers' options. Programs a test starts inherit it, so they report
# (and fail) the same way and skip the same known leaks of system libraries.
# The runtime tracks each thread's dynamic TLS blocks by guessing their bounds from the C
# library's layout. A wrong guess (seen: "DTLS 13 at 0xdee9-0x100000efeb" in the manager) makes
# the leak check at exit scan a made-up range, and its tracer dies with "Tracer caught signal
# 11": a program that did nothing wrong fails. Without the tracking no leak report changes.
function(dt_test_environment out)
  set(env "QT_QPA_PLATFORM=offscreen" "DOVETAIL_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
  if(DOVETAIL_SANITIZE)
    list(APPEND env
      "ASAN_OPTIONS=detect_leaks=1:check_initialization_order=1:intercept_tls_get_addr=0"
      "LSAN_OPTIONS=suppressions=${CMAKE_SOURCE_DIR}/tests/support/lsan.supp:print_suppressions=0"
      "UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1")
  endif()
  set(${out} "${env}" PARENT_SCOPE)
endfunction()
