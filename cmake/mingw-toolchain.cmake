# The Windows builds: clang and lld for the mingw-w64 target, against the mingw-w64 sysroot and the
# C++ runtime of the posix-threads GCC cross compiler (Debian: clang-19, lld-19,
# g++-mingw-w64-*-posix). clang writes CodeView debug information and lld a PDB from it, which
# Windows debuggers read. The toolchain file that includes this one sets CMAKE_SYSTEM_PROCESSOR and
# VESK_MINGW_PREFIX.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER clang-19)
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_C_COMPILER_TARGET ${VESK_MINGW_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${VESK_MINGW_PREFIX})
# Resources are compiled by binutils' windres, as before.
set(CMAKE_RC_COMPILER ${VESK_MINGW_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${VESK_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# clang does not find the GCC cross compiler's own folder (its version is "12-posix"): its C++
# headers and libraries are named here. winpthreads is linked statically for libstdc++ and for the
# emulated thread-local storage of libgcc, which GCC's driver would add by itself.
file(GLOB VESK_MINGW_GCC_DIR LIST_DIRECTORIES true /usr/lib/gcc/${VESK_MINGW_PREFIX}/*-posix)
list(LENGTH VESK_MINGW_GCC_DIR gcc_dirs)
if(NOT gcc_dirs EQUAL 1)
  message(FATAL_ERROR "Expected one posix GCC in /usr/lib/gcc/${VESK_MINGW_PREFIX}, found: ${VESK_MINGW_GCC_DIR}")
endif()
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES ${VESK_MINGW_GCC_DIR}/include/c++
    ${VESK_MINGW_GCC_DIR}/include/c++/${VESK_MINGW_PREFIX} ${VESK_MINGW_GCC_DIR}/include/c++/backward)
# (lld takes symbols from an archive wherever it stands on the command line; every Windows program
# here links statically.)
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld-19 -L${VESK_MINGW_GCC_DIR} -Wl,-Bstatic,-lpthread")
endforeach()
