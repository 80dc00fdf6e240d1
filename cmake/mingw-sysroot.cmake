# What both Windows toolchains share: the mingw-w64 sysroot they build against and binutils' windres
# for resources. The toolchain file that includes this one sets VESK_MINGW_PREFIX.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_RC_COMPILER ${VESK_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VESK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
