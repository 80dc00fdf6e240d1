# The tests: the Windows builds' system and bundle tests (run under Wine), the native unit tests
# and the simulation's own, and the replay program of the differential.
if(WIN32)
  add_subdirectory(tests/system)
  add_subdirectory(tests/bundle)
else()
  file(GLOB VESK_UNIT_SOURCES CONFIGURE_DEPENDS tests/unit/*.cpp)
  add_executable(vesk_unit_tests ${VESK_UNIT_SOURCES} tests/common/failing_allocator.cpp)
  target_include_directories(vesk_unit_tests PRIVATE ${VESK_TEST_COMMON})
  target_link_libraries(vesk_unit_tests PRIVATE vesk_core gtest gtest_main)
  vesk_strict_warnings(vesk_unit_tests)
  # Parsed once instead of in every suite: about a quarter of the suites' compile time.
  target_precompile_headers(vesk_unit_tests PRIVATE <gtest/gtest.h> <string> <vector> <functional>)
  include(GoogleTest)
  gtest_discover_tests(vesk_unit_tests DISCOVERY_TIMEOUT 60)

  # The simulated platform's own tests: that it answers as the platform does.
  file(GLOB VESK_SIM_TEST_SOURCES CONFIGURE_DEPENDS tests/sim/tests/*.cpp)
  add_executable(vesk_sim_tests ${VESK_SIM_TEST_SOURCES} tests/common/failing_allocator.cpp)
  target_include_directories(vesk_sim_tests PRIVATE ${VESK_TEST_COMMON})
  target_link_libraries(vesk_sim_tests PRIVATE vesk_core gtest gtest_main)
  vesk_strict_warnings(vesk_sim_tests)
  target_precompile_headers(vesk_sim_tests REUSE_FROM vesk_unit_tests)
  gtest_discover_tests(vesk_sim_tests DISCOVERY_TIMEOUT 60)
endif()

# The replay program of generated registry scripts, built against the simulation and for Windows
# from the same sources; tools/differential compares what the two builds trace.
add_executable(vesk_replay tests/differential/replay_main.cpp tests/differential/script_generator.cpp
               tests/differential/registry_trace.cpp tests/differential/invoke_trace.cpp)
target_include_directories(vesk_replay PRIVATE ${VESK_TEST_COMMON})
target_link_libraries(vesk_replay PRIVATE vesk_core)
vesk_strict_warnings(vesk_replay)
if(WIN32)
  target_sources(vesk_replay PRIVATE tests/differential/dispatch_setup_windows.cpp)
  target_link_options(vesk_replay PRIVATE -static -static-libgcc -static-libstdc++)
else()
  target_sources(vesk_replay PRIVATE tests/differential/dispatch_setup_sim.cpp)
endif()
