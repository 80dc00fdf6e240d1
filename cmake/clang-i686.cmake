# What ships of the 32-bit build: clang and lld (Debian: clang-19, lld-19).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(VESK_MINGW_PREFIX i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/clang-toolchain.cmake)
