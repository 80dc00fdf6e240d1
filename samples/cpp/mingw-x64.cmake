# The mingw-w64 cross compilers for 64-bit Windows, as Debian names them (package
# g++-mingw-w64-x86-64-posix); elsewhere they may lack the -posix ending.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
