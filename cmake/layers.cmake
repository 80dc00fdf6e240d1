# The system code is built in layers, one static library per folder, each using only the layers
# below it:
#
#   platform < base < {registrar, com} < automation < enabler < server
#
# Each layer sees the sources through an include root of its own that holds only the folders it may
# use (links into src/), so that an upward include does not compile.
set(VESK_LAYERS_DIR ${CMAKE_BINARY_DIR}/layers)
function(vesk_include_root layer)
  foreach(folder ${layer} ${ARGN})
    file(MAKE_DIRECTORY ${VESK_LAYERS_DIR}/${layer})
    file(CREATE_LINK ${CMAKE_SOURCE_DIR}/src/${folder} ${VESK_LAYERS_DIR}/${layer}/${folder} SYMBOLIC)
  endforeach()
endfunction()

# `name` is a folder of src/; `USES` names the layers it is built on.
function(vesk_layer name)
  cmake_parse_arguments(PARSE_ARGV 1 layer "" "" "USES")
  set(visible)
  foreach(used ${layer_USES})
    get_property(below GLOBAL PROPERTY vesk_layer_${used})
    list(APPEND visible ${used} ${below})
  endforeach()
  list(REMOVE_DUPLICATES visible)
  set_property(GLOBAL PROPERTY vesk_layer_${name} ${visible})
  vesk_include_root(${name} ${visible})
  file(GLOB sources CONFIGURE_DEPENDS src/${name}/*.cpp)
  add_library(vesk_${name} STATIC ${sources})
  target_include_directories(vesk_${name} PUBLIC ${VESK_LAYERS_DIR}/${name})
  foreach(used ${layer_USES})
    target_link_libraries(vesk_${name} PUBLIC vesk_${used})
  endforeach()
  vesk_strict_warnings(vesk_${name})
  if(VESK_SHIPPED_ONLY)
    # What ships carries debug information for the symbol file beside the DLL. Headers are reached
    # through the layer's include root: they are named by their place in src/ (the later mapping
    # wins).
    target_compile_options(vesk_${name} PRIVATE ${VESK_SHIPPED_CODE}
                           -ffile-prefix-map=${VESK_LAYERS_DIR}/${name}=${VESK_SOURCE_PREFIX}/src)
  endif()
  if(VESK_FUZZ)
    # Only the system code carries coverage feedback: guiding the fuzzer through the simulated
    # registry's containers would cost most of its speed and find nothing of ours.
    target_compile_options(vesk_${name} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
endfunction()

# The platform: the real Win32 API, or natively the simulated subset, a stand-in for the tests that
# lives beside them in tests/sim and reaches the system code only through src/platform/win32.h.
vesk_include_root(platform)
add_library(vesk_platform INTERFACE)
target_include_directories(vesk_platform INTERFACE ${VESK_LAYERS_DIR}/platform)
if(WIN32)
  target_link_libraries(vesk_platform INTERFACE ole32 oleaut32 uuid comctl32 user32 advapi32)
else()
  file(MAKE_DIRECTORY ${VESK_LAYERS_DIR}/sim)
  file(CREATE_LINK ${CMAKE_SOURCE_DIR}/tests/sim ${VESK_LAYERS_DIR}/sim/sim SYMBOLIC)
  file(GLOB VESK_SIM_SOURCES CONFIGURE_DEPENDS tests/sim/*.cpp)
  # The library module's file carries the registry script byte for byte, as Vesk.rc embeds it.
  set(VESK_SCRIPT_BYTES ${CMAKE_BINARY_DIR}/generated/vesk_script_bytes.cpp)
  add_custom_command(OUTPUT ${VESK_SCRIPT_BYTES}
    COMMAND ${CMAKE_COMMAND} -DINPUT=${CMAKE_SOURCE_DIR}/resources/Vesk.rgs -DOUTPUT=${VESK_SCRIPT_BYTES}
            -DSYMBOL=g_veskScriptBytes -P ${CMAKE_SOURCE_DIR}/cmake/embed_bytes.cmake
    DEPENDS ${CMAKE_SOURCE_DIR}/resources/Vesk.rgs ${CMAKE_SOURCE_DIR}/cmake/embed_bytes.cmake
    COMMENT "Embedding Vesk.rgs in the simulated library file"
    VERBATIM)
  # The simulated type library is the server's: its description is read from the interface
  # description at build time, and the simulation lays it out as the platform does.
  find_package(Python3 REQUIRED COMPONENTS Interpreter)
  set(VESK_LIBRARY_DESCRIPTION ${CMAKE_BINARY_DIR}/generated/server_library_description.h)
  add_custom_command(OUTPUT ${VESK_LIBRARY_DESCRIPTION}
    COMMAND Python3::Interpreter ${CMAKE_SOURCE_DIR}/tests/sim/library_description.py
            ${CMAKE_SOURCE_DIR}/resources/VeskLib.idl ${VESK_LIBRARY_DESCRIPTION}
    DEPENDS ${CMAKE_SOURCE_DIR}/resources/VeskLib.idl ${CMAKE_SOURCE_DIR}/tests/sim/library_description.py
    COMMENT "Describing VeskLib.idl for the simulated type library"
    VERBATIM)
  add_library(vesk_sim STATIC ${VESK_SIM_SOURCES} ${VESK_SCRIPT_BYTES} ${VESK_LIBRARY_DESCRIPTION})
  target_include_directories(vesk_sim PUBLIC ${VESK_LAYERS_DIR}/platform ${VESK_LAYERS_DIR}/sim)
  target_include_directories(vesk_sim PRIVATE ${CMAKE_BINARY_DIR}/generated)
  find_package(Threads REQUIRED)
  target_link_libraries(vesk_sim PUBLIC Threads::Threads)
  vesk_strict_warnings(vesk_sim)
  target_link_libraries(vesk_platform INTERFACE vesk_sim)
endif()
set_property(GLOBAL PROPERTY vesk_layer_platform "")

vesk_layer(base USES platform)
vesk_layer(registrar USES base)
vesk_layer(com USES base)
vesk_layer(automation USES com)
vesk_layer(enabler USES automation)
vesk_layer(server USES enabler registrar)
# Everything, for the tests and benchmarks.
add_library(vesk_core INTERFACE)
target_link_libraries(vesk_core INTERFACE vesk_server)
