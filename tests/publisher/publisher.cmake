# The test publisher: publisher.py (faults on demand) and nginx (a real server) on
# one document root in this build tree, started once per ctest run for the tests
# that need them and stopped after the last of them, also when tests fail.
#
# A test folder with its own CMakeLists.txt opts in with
#   tarvolin_uses_publisher(<ctest test name>)
# and its test programs then find the servers in TARVOLIN_PUBLISHER_URL and
# TARVOLIN_NGINX_URL (see tests/support/publisher_client.h).
find_package(Python3 COMPONENTS Interpreter REQUIRED)
find_program(TARVOLIN_NGINX nginx PATHS /usr/sbin /usr/local/sbin REQUIRED)

set(TARVOLIN_PUBLISHER_SCRIPT "${CMAKE_CURRENT_LIST_DIR}/publisher.py")
set(TARVOLIN_PUBLISHER_ROOT "${CMAKE_BINARY_DIR}/publisher/root")
set(TARVOLIN_PUBLISHER_STATE "${CMAKE_BINARY_DIR}/publisher/state")

# ctest hands fixed environments to tests, so the ports are chosen here: derived
# from the build folder (two build trees get different ones) and free right now.
execute_process(
  COMMAND "${Python3_EXECUTABLE}" "${TARVOLIN_PUBLISHER_SCRIPT}" ports --seed "${CMAKE_BINARY_DIR}"
  OUTPUT_VARIABLE _publisher_ports OUTPUT_STRIP_TRAILING_WHITESPACE
  RESULT_VARIABLE _publisher_ports_result)
if(NOT _publisher_ports_result EQUAL 0 OR NOT _publisher_ports MATCHES "^([0-9]+) ([0-9]+)$")
  message(FATAL_ERROR "No free loopback ports for the test publisher: ${_publisher_ports}")
endif()
set(TARVOLIN_PUBLISHER_PORT "${CMAKE_MATCH_1}")
set(TARVOLIN_NGINX_PORT "${CMAKE_MATCH_2}")
set(TARVOLIN_PUBLISHER_URL "http://127.0.0.1:${TARVOLIN_PUBLISHER_PORT}")
set(TARVOLIN_NGINX_URL "http://127.0.0.1:${TARVOLIN_NGINX_PORT}")

# The public half of the publisher's "test" signing key, for test programs that
# must insist on signed lists.
execute_process(COMMAND "${Python3_EXECUTABLE}" "${TARVOLIN_PUBLISHER_SCRIPT}" test-key --name test
                OUTPUT_VARIABLE TARVOLIN_TEST_LIST_PUBLIC_KEY OUTPUT_STRIP_TRAILING_WHITESPACE
                RESULT_VARIABLE _test_key_result)
if(NOT _test_key_result EQUAL 0 OR NOT TARVOLIN_TEST_LIST_PUBLIC_KEY MATCHES "^[0-9a-f]+$")
  message(FATAL_ERROR "The test publisher gave no signing key (is python3-cryptography installed?)")
endif()

add_test(NAME publisher_start
         COMMAND "${Python3_EXECUTABLE}" "${TARVOLIN_PUBLISHER_SCRIPT}" start
                 --root "${TARVOLIN_PUBLISHER_ROOT}" --state "${TARVOLIN_PUBLISHER_STATE}"
                 --port ${TARVOLIN_PUBLISHER_PORT} --nginx-port ${TARVOLIN_NGINX_PORT}
                 --nginx "${TARVOLIN_NGINX}")
set_tests_properties(publisher_start PROPERTIES FIXTURES_SETUP tarvolin_publisher TIMEOUT 60)

add_test(NAME publisher_stop
         COMMAND "${Python3_EXECUTABLE}" "${TARVOLIN_PUBLISHER_SCRIPT}" stop --state "${TARVOLIN_PUBLISHER_STATE}")
set_tests_properties(publisher_stop PROPERTIES FIXTURES_CLEANUP tarvolin_publisher TIMEOUT 60)

# The publisher's faults and request log are shared, so its tests take turns.
function(tarvolin_uses_publisher test_name)
  set_tests_properties(${test_name} PROPERTIES FIXTURES_REQUIRED tarvolin_publisher
                                               RESOURCE_LOCK tarvolin_publisher)
  set_property(TEST ${test_name} APPEND PROPERTY ENVIRONMENT
               "TARVOLIN_PUBLISHER_URL=${TARVOLIN_PUBLISHER_URL}"
               "TARVOLIN_NGINX_URL=${TARVOLIN_NGINX_URL}")
endfunction()
