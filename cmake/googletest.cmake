# GoogleTest is built from the sources Debian installs, with this build's own flags
# (-fshort-wchar natively, the cross compiler for windows).
set(VESK_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources")
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
if(NOT VESK_SHIPPED_ONLY)
  add_subdirectory(${VESK_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
endif()
