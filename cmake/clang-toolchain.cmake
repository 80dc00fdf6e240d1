# What ships, Vesk.dll: clang and lld for the mingw-w64 target, against the mingw-w64 sysroot and the
# C++ runtime of the posix-threads GCC cross compiler (Debian: clang-19, lld-19,
# g++-mingw-w64-*-posix). clang writes CodeView debug information and lld a PDB from it, which
# Windows debuggers read. The windows and windows64 builds make their Vesk.dll with this toolchain in
# a build of their own (VESK_SHIPPED_ONLY); their test programs are built by the GCC cross compiler
# (mingw-toolchain.cmake).
#
# Only the C ABI of that C++ runtime may be used from code built here (operator new, the exception
# runtime): on i686, clang and GCC disagree on where a member function that returns an object takes
# `this` and the return slot (GCC: the slot in ECX), so a call from here into the runtime's compiled
# std::string, for instance, corrupts the stack. The server uses no such member (tools/check-dll
# holds the 32-bit DLL to it through its link map).
#
# The toolchain file that includes this one sets CMAKE_SYSTEM_PROCESSOR and VESK_MINGW_PREFIX.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-sysroot.cmake)
set(CMAKE_C_COMPILER clang-19)
set(CMAKE_CXX_COMPILER clang++-19)
set(CMAKE_C_COMPILER_TARGET ${VESK_MINGW_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${VESK_MINGW_PREFIX})

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
# That C++ runtime keeps its thread-local variables emulated (GCC's emutls); code compiled here must
# reach them the same way, or a call through one of them (std::call_once, for instance) jumps to null.
set(CMAKE_C_FLAGS_INIT -femulated-tls)
set(CMAKE_CXX_FLAGS_INIT -femulated-tls)
# (lld takes symbols from an archive wherever it stands on the command line; every Windows program
# here links statically.)
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld-19 -L${VESK_MINGW_GCC_DIR} -Wl,-Bstatic,-lpthread")
endforeach()
