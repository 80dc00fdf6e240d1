# The mingw-w64 cross compilers for 32-bit Windows, as Debian names them (package
# g++-mingw-w64-i686-posix); elsewhere they may lack the -posix ending.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(CMAKE_C_COMPILER i686-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER i686-w64-mingw32-g++-posix)
