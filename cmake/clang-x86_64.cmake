# What ships of the 64-bit build: clang and lld (Debian: clang-19, lld-19).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(VESK_MINGW_PREFIX x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/clang-toolchain.cmake)
