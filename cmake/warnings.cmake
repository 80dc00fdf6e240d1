# Strict warnings, treated as errors, for the project's own targets (not for third-party sources).
function(vesk_strict_warnings target)
  target_compile_options(${target} PRIVATE
    -Wall -Wextra -Wpedantic -Werror
    -Wshadow -Wcast-align -Wnull-dereference -Wundef
    -Wformat=2 -Wmissing-declarations)
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
    target_compile_options(${target} PRIVATE -Wduplicated-cond -Wlogical-op)
  endif()
endfunction()
