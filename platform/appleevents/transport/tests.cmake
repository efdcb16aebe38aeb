# Included at the end of platform/appleevents/CMakeLists.txt: the process
# that the transport's tests, macctl's tests and the round-trip benchmark
# talk to.
add_executable(ae_peer ${CMAKE_CURRENT_LIST_DIR}/tests/peer/AEPeer.cpp)
target_link_libraries(ae_peer PRIVATE platform_appleevents platform_eventloop platform_processes)
if(TARGET appleevents_transport_tests)
  add_dependencies(appleevents_transport_tests ae_peer)
endif()
