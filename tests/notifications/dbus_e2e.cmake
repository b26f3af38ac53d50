# What the end-to-end tests of the notification centre and of the MPRIS bridge
# share: a recording observer and program runs, and a way to give each test
# program a private session bus of its own.
include_guard(GLOBAL)

add_library(sonvetta_dbus_test_support STATIC ${CMAKE_CURRENT_LIST_DIR}/notification_recorder.cpp)
target_include_directories(sonvetta_dbus_test_support PUBLIC ${CMAKE_CURRENT_LIST_DIR})
target_link_libraries(sonvetta_dbus_test_support PUBLIC sonvetta_notifications GTest::gtest)

find_program(DBUS_RUN_SESSION dbus-run-session REQUIRED)

function(sonvetta_dbus_e2e_test name)
  add_executable(${name} ${ARGN} ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/e2e_main.cpp)
  target_link_libraries(${name} PRIVATE sonvetta_dbus_test_support)
  add_test(NAME ${name} COMMAND ${DBUS_RUN_SESSION} -- $<TARGET_FILE:${name}>)
  set_tests_properties(${name} PROPERTIES LABELS e2e TIMEOUT 300)
endfunction()
