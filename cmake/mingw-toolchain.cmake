# The mingw-w64 cross toolchain (posix threads) for the Windows builds; the toolchain file that
# includes this one sets CMAKE_SYSTEM_PROCESSOR and VESK_MINGW_PREFIX.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-sysroot.cmake)
set(CMAKE_C_COMPILER ${VESK_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VESK_MINGW_PREFIX}-g++-posix)
