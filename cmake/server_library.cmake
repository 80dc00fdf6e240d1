# The server library of the Windows builds: its type library, the clients' header, and Vesk.dll
# itself, built by clang and lld in a build of its own (VESK_SHIPPED_ONLY) and taken from there.
#
# The type library is compiled from the interface description by the IDL compiler of the target (which sets the system
# kind: SYS_WIN32 or SYS_WIN64); IDispatch is taken from the standard OLE Automation library
# (stdole2.tlb), which either of Wine's packages carries: only the reference to it is stored.
if(WIN32)
  find_program(VESK_WIDL NAMES ${VESK_MINGW_PREFIX}-widl REQUIRED)
  find_path(VESK_STDOLE2_DIR stdole2.tlb
    PATHS /usr/lib/i386-linux-gnu/wine/i386-windows /usr/lib/wine/i386-windows
          /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib64/wine/x86_64-windows
    NO_CMAKE_FIND_ROOT_PATH NO_DEFAULT_PATH REQUIRED)
  set(VESK_TYPELIB ${CMAKE_BINARY_DIR}/VeskLib.tlb)
  # widl writes the time it runs into the library (and ignores SOURCE_DATE_EPOCH); it runs at one
  # fixed time, the date the release zip gives its entries, so that every build writes the same bytes.
  find_program(VESK_FAKETIME faketime REQUIRED)
  add_custom_command(OUTPUT ${VESK_TYPELIB}
    COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${VESK_FAKETIME} "2000-01-01 00:00:00" ${VESK_WIDL} -t -L ${VESK_STDOLE2_DIR} -I ${CMAKE_SOURCE_DIR}/resources
            -o ${VESK_TYPELIB} ${CMAKE_SOURCE_DIR}/resources/VeskLib.idl
    DEPENDS ${CMAKE_SOURCE_DIR}/resources/VeskLib.idl ${CMAKE_SOURCE_DIR}/resources/oaidl.idl
    COMMENT "Compiling the type library VeskLib.tlb"
    VERBATIM)
  add_custom_target(vesk_typelib ALL DEPENDS ${VESK_TYPELIB})

  # What clients compile against: the header and the GUID definitions, written by the IDL compiler
  # from the same description as the type library. They include the SDK's own <oaidl.h>. The
  # description is named relative to its folder, so that the files name no path of this machine.
  set(VESK_PUBLIC_INCLUDE ${CMAKE_BINARY_DIR}/include)
  set(VESK_PUBLIC_FILES ${VESK_PUBLIC_INCLUDE}/VeskLib.h ${VESK_PUBLIC_INCLUDE}/VeskLib_i.c)
  file(MAKE_DIRECTORY ${VESK_PUBLIC_INCLUDE})
  add_custom_command(OUTPUT ${VESK_PUBLIC_FILES}
    COMMAND ${VESK_WIDL} -h -L ${VESK_STDOLE2_DIR} -I . -o ${VESK_PUBLIC_INCLUDE}/VeskLib.h VeskLib.idl
    COMMAND ${VESK_WIDL} -u -L ${VESK_STDOLE2_DIR} -I . -o ${VESK_PUBLIC_INCLUDE}/VeskLib_i.c VeskLib.idl
    DEPENDS ${CMAKE_SOURCE_DIR}/resources/VeskLib.idl ${CMAKE_SOURCE_DIR}/resources/oaidl.idl
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR}/resources
    COMMENT "Writing the clients' header VeskLib.h and GUID definitions VeskLib_i.c"
    VERBATIM)
  add_custom_target(vesk_public_header ALL DEPENDS ${VESK_PUBLIC_FILES})

  # The version record's numbers, for Vesk.rc.
  configure_file(resources/vesk_version.h.in ${CMAKE_BINARY_DIR}/generated/vesk_version.h @ONLY)

  # --- Vesk.dll: the server itself ------------------------------------------------------------
  # Built with clang and lld (cmake/clang-*.cmake), in a build of its own. The C++ runtime is linked
  # in, so the library imports only system DLLs; exports come undecorated from the .def file; unused
  # sections are dropped. The DLL itself keeps no symbols: its CodeView record names Vesk.pdb (the
  # file name alone) beside it, with the PDB's GUID and age. lld derives the PE timestamp and that
  # GUID from the content (/Brepro). The header says Windows 7 (6.1), the oldest Windows with every
  # function the DLL imports, and a GUI subsystem.
  if(VESK_SHIPPED_ONLY)
    set_source_files_properties(resources/Vesk.rc PROPERTIES OBJECT_DEPENDS
      "${VESK_TYPELIB};${CMAKE_SOURCE_DIR}/resources/Vesk.rgs;${CMAKE_BINARY_DIR}/generated/vesk_version.h")
    add_library(Vesk SHARED resources/Vesk.rc src/runtime/terminate_handler.cpp)
    target_include_directories(Vesk PRIVATE ${CMAKE_BINARY_DIR} ${CMAKE_BINARY_DIR}/generated
                               ${CMAKE_SOURCE_DIR}/resources)
    set_target_properties(Vesk PROPERTIES PREFIX "" OUTPUT_NAME Vesk)
    target_link_libraries(Vesk PRIVATE -Wl,--whole-archive vesk_server vesk_enabler vesk_automation vesk_com
                          vesk_registrar vesk_base -Wl,--no-whole-archive vesk_platform)
    # The exports' definition is named relative to the build tree: the PDB records the link's command.
    configure_file(resources/Vesk.def ${CMAKE_BINARY_DIR}/Vesk.def COPYONLY)
    set_target_properties(Vesk PROPERTIES LINK_DEPENDS ${CMAKE_BINARY_DIR}/Vesk.def)
    set(VESK_PDB ${CMAKE_BINARY_DIR}/Vesk.pdb)
    target_link_options(Vesk PRIVATE Vesk.def -static -static-libgcc -static-libstdc++ -Wl,--gc-sections -s
      -Wl,--enable-stdcall-fixup -Wl,--subsystem,windows:6.1 -Wl,--pdb=Vesk.pdb -Wl,-Map=Vesk.map
      -Wl,-Xlink=-pdbaltpath:%_PDB% -Wl,-Xlink=-Brepro
      # The object files the PDB names are named below the fixed prefix, not below this build tree.
      -Wl,-Xlink=-pdbsourcepath:${VESK_SOURCE_PREFIX}/build)
    set_target_properties(Vesk PROPERTIES ADDITIONAL_CLEAN_FILES ${VESK_PDB})
    add_dependencies(Vesk vesk_typelib)
    set_source_files_properties(src/runtime/terminate_handler.cpp PROPERTIES COMPILE_OPTIONS
      "-Wall;-Wextra;-Wpedantic;-Werror;-Wshadow;-Wmissing-declarations;-Wundef;${VESK_SHIPPED_CODE}")
  else()
    # The windows builds' Vesk.dll is what ships, made with clang and lld by a build of its own; it is
    # copied here with its PDB, where the tests and the release take it.
    include(ExternalProject)
    set(VESK_SHIPPED_DIR ${CMAKE_BINARY_DIR}/shipped)
    ExternalProject_Add(vesk_shipped
      SOURCE_DIR ${CMAKE_SOURCE_DIR}
      BINARY_DIR ${VESK_SHIPPED_DIR}
      CMAKE_GENERATOR Ninja
      CMAKE_ARGS -DCMAKE_TOOLCHAIN_FILE=${CMAKE_SOURCE_DIR}/cmake/clang-${CMAKE_SYSTEM_PROCESSOR}.cmake
                 -DCMAKE_BUILD_TYPE=MinSizeRel -DVESK_SHIPPED_ONLY=ON
      BUILD_COMMAND ${CMAKE_COMMAND} --build ${VESK_SHIPPED_DIR} --target Vesk
      BUILD_ALWAYS ON
      BUILD_BYPRODUCTS ${VESK_SHIPPED_DIR}/Vesk.dll ${VESK_SHIPPED_DIR}/Vesk.pdb ${VESK_SHIPPED_DIR}/Vesk.map
      INSTALL_COMMAND ""
      USES_TERMINAL_BUILD ON)
    # Its link map names every library the linker pulled in, for the release's notices.
    set(VESK_DLL ${CMAKE_BINARY_DIR}/Vesk.dll)
    set(VESK_PDB ${CMAKE_BINARY_DIR}/Vesk.pdb)
    set(VESK_MAP ${CMAKE_BINARY_DIR}/Vesk.map)
    add_custom_command(OUTPUT ${VESK_DLL} ${VESK_PDB} ${VESK_MAP}
      COMMAND ${CMAKE_COMMAND} -E copy ${VESK_SHIPPED_DIR}/Vesk.dll ${VESK_SHIPPED_DIR}/Vesk.pdb
              ${VESK_SHIPPED_DIR}/Vesk.map ${CMAKE_BINARY_DIR}
      DEPENDS ${VESK_SHIPPED_DIR}/Vesk.dll ${VESK_SHIPPED_DIR}/Vesk.pdb ${VESK_SHIPPED_DIR}/Vesk.map vesk_shipped
      COMMENT "Taking Vesk.dll, its PDB and its link map from the clang build"
      VERBATIM)
    add_custom_target(vesk_dll ALL DEPENDS ${VESK_DLL} ${VESK_PDB} ${VESK_MAP})
    add_library(Vesk SHARED IMPORTED GLOBAL)
    set_target_properties(Vesk PROPERTIES IMPORTED_LOCATION ${VESK_DLL})
  endif()

  # The DLL as a private assembly of its bitness, for use without registration; it sits beside the
  # DLL in the build tree as it does in the bundle.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VESK_ASSEMBLY_BITS 64)
    set(VESK_ASSEMBLY_ARCHITECTURE amd64)
  else()
    set(VESK_ASSEMBLY_BITS 32)
    set(VESK_ASSEMBLY_ARCHITECTURE x86)
  endif()
  configure_file(resources/Vesk.Enabler.manifest.in ${CMAKE_BINARY_DIR}/Vesk.Enabler.manifest @ONLY)
endif()
