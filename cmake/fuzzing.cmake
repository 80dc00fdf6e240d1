# The libFuzzer targets (clang, native; the fuzz preset).
if(VESK_FUZZ AND NOT WIN32)
  # Each target has its own seed corpus in tests/fuzz; a short run from it (25 s each, the tier's 50 s
  # shared) belongs to every test run of this build. New inputs go to the first directory, in the
  # build tree, so the seed corpus stays as it is checked in.
  function(vesk_fuzz_target name corpus max_len)
    add_executable(${name} tests/fuzz/${name}.cpp)
    target_include_directories(${name} PRIVATE ${VESK_TEST_COMMON})
    target_link_libraries(${name} PRIVATE vesk_core)
    target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
    target_link_options(${name} PRIVATE -fsanitize=fuzzer)
    vesk_strict_warnings(${name})
    file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/${corpus})
    add_test(NAME ${name}_smoke
             COMMAND ${name} -max_total_time=25 -max_len=${max_len} -seed=1
                     ${CMAKE_BINARY_DIR}/${corpus} ${CMAKE_SOURCE_DIR}/tests/fuzz/${corpus})
  endfunction()
  vesk_fuzz_target(registry_script_fuzzer corpus 4096)
  vesk_fuzz_target(dispatch_fuzzer dispatch-corpus 2048)
endif()
