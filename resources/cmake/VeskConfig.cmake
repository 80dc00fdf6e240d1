# Vesk's CMake package, lib/cmake/Vesk of the bundle. Every path is found from this file's own place,
# so the bundle may lie anywhere.
#
#   find_package(Vesk 1.0 CONFIG REQUIRED)   (any 1.x from 1.0 on; VeskConfigVersion.cmake decides)
#
#   Vesk::VeskLib  include/VeskLib.h (IVeskEnabler, CLSID_VeskEnabler, IID_IVeskEnabler, LIBID_VeskLib)
#                  and the definitions of those GUIDs, include/VeskLib_i.c, compiled into each target
#                  that links it (so C must be enabled), with the platform's COM libraries.
#   Vesk::Vesk     Vesk.dll of the consumer's bitness: a module that COM loads and nothing links.
#                  $<TARGET_FILE:Vesk::Vesk> names it; its properties VESK_ASSEMBLY_MANIFEST (the
#                  Vesk.Enabler.manifest beside it), VESK_ASSEMBLY_VERSION and
#                  VESK_ASSEMBLY_ARCHITECTURE say what an application manifest names to use it
#                  without registration.
get_filename_component(_vesk_root "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)

set(_vesk_refusal "")
if(NOT CMAKE_SYSTEM_NAME STREQUAL "Windows")
  set(_vesk_refusal "Vesk is a Windows library; this build is for ${CMAKE_SYSTEM_NAME}.")
elseif(NOT CMAKE_C_COMPILER_LOADED)
  set(_vesk_refusal "Vesk::VeskLib compiles include/VeskLib_i.c into its consumers: enable C before find_package(Vesk), for example project(... LANGUAGES C CXX).")
elseif(CMAKE_C_COMPILER_ARCHITECTURE_ID MATCHES "ARM")
  set(_vesk_refusal "Vesk has DLLs for x86 and x64 processes only, not for ${CMAKE_C_COMPILER_ARCHITECTURE_ID}.")
elseif(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(_vesk_folder x64)
  set(_vesk_architecture amd64)
else()
  set(_vesk_folder x86)
  set(_vesk_architecture x86)
endif()
if(_vesk_refusal)
  set(Vesk_FOUND FALSE)
  set(Vesk_NOT_FOUND_MESSAGE "${_vesk_refusal}")
  unset(_vesk_refusal)
  unset(_vesk_root)
  return()
endif()

if(NOT TARGET Vesk::VeskLib)
  add_library(Vesk::VeskLib INTERFACE IMPORTED)
  set_target_properties(Vesk::VeskLib PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${_vesk_root}/include"
    INTERFACE_SOURCES "${_vesk_root}/include/VeskLib_i.c"
    INTERFACE_LINK_LIBRARIES "ole32;oleaut32;uuid")
  add_library(Vesk::Vesk MODULE IMPORTED)
  set_target_properties(Vesk::Vesk PROPERTIES
    IMPORTED_LOCATION "${_vesk_root}/${_vesk_folder}/Vesk.dll"
    VESK_ASSEMBLY_MANIFEST "${_vesk_root}/${_vesk_folder}/Vesk.Enabler.manifest"
    VESK_ASSEMBLY_VERSION "${Vesk_VERSION}.0"
    VESK_ASSEMBLY_ARCHITECTURE "${_vesk_architecture}")
endif()
unset(_vesk_refusal)
unset(_vesk_root)
unset(_vesk_folder)
unset(_vesk_architecture)
