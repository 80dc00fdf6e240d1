# The release (`make dist`): the bundle, its zip and the installer packages, made by the 64-bit
# build; the native build makes the program that gives the packages' registry rows.
if(WIN32)
  # Made by the 64-bit build from both builds' files: the 32-bit build tree is the windows preset's,
  # which the Makefile builds first. Not part of `all`, so that the 64-bit build alone needs no
  # 32-bit one. Both builds test it (tests/bundle).
  set(VESK_DIST_DIR ${CMAKE_SOURCE_DIR}/dist CACHE PATH "Where `make dist` writes the bundle")
  set(VESK_BUNDLE_ZIP ${VESK_DIST_DIR}/vesk-${PROJECT_VERSION}-windows.zip)
  set(VESK_PACKAGES)
  foreach(kind x64 x86 x64-user x86-user)
    list(APPEND VESK_PACKAGES ${VESK_DIST_DIR}/vesk-${PROJECT_VERSION}-${kind}.msi)
  endforeach()
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(VESK_WINDOWS32_DIR ${CMAKE_SOURCE_DIR}/build/windows CACHE PATH "The 32-bit build tree (windows preset)")
    # The native build tree, whose vesk_registration_rows gives the rows of the packages.
    set(VESK_NATIVE_DIR ${CMAKE_SOURCE_DIR}/build/native CACHE PATH "The native build tree (native preset)")
    # Set by `make dist` from VESK_SIGN_KEY and VESK_SIGN_CERT (PEM files); empty: unsigned.
    set(VESK_SIGN_KEY "" CACHE FILEPATH "Private key that signs the release (PEM)")
    set(VESK_SIGN_CERT "" CACHE FILEPATH "Code-signing certificate of that key (PEM)")
    set(signing)
    if(VESK_SIGN_KEY OR VESK_SIGN_CERT)
      set(signing --sign-key ${VESK_SIGN_KEY} --sign-cert ${VESK_SIGN_CERT})
    endif()
    configure_file(resources/bundle-README.txt.in ${CMAKE_BINARY_DIR}/README.txt @ONLY)
    # The samples and the CMake package, which the bundle ships as sources.
    file(GLOB_RECURSE VESK_BUNDLE_SOURCES CONFIGURE_DEPENDS samples/* resources/cmake/*)
    add_custom_command(OUTPUT ${VESK_BUNDLE_ZIP} ${VESK_PACKAGES}
      COMMAND bash ${CMAKE_SOURCE_DIR}/tools/make-bundle.sh ${signing} ${PROJECT_VERSION} ${VESK_WINDOWS32_DIR}
              ${CMAKE_BINARY_DIR} ${VESK_NATIVE_DIR} ${VESK_DIST_DIR}
      DEPENDS vesk_dll ${VESK_DLL} ${VESK_PDB} ${VESK_MAP} ${VESK_PUBLIC_FILES} ${VESK_NATIVE_DIR}/vesk_registration_rows
              ${VESK_WINDOWS32_DIR}/Vesk.map ${CMAKE_SOURCE_DIR}/LICENSE ${CMAKE_SOURCE_DIR}/tools/third-party-notices
              ${CMAKE_BINARY_DIR}/README.txt ${CMAKE_BINARY_DIR}/Vesk.Enabler.manifest
              ${VESK_WINDOWS32_DIR}/Vesk.dll ${VESK_WINDOWS32_DIR}/Vesk.pdb ${VESK_WINDOWS32_DIR}/VeskLib.tlb
              ${VESK_WINDOWS32_DIR}/Vesk.Enabler.manifest ${CMAKE_SOURCE_DIR}/resources/VeskLib.idl
              ${VESK_TYPELIB} ${CMAKE_SOURCE_DIR}/resources/Vesk.rgs ${CMAKE_SOURCE_DIR}/resources/VeskPackage.wxs
              ${CMAKE_SOURCE_DIR}/CHANGELOG.md ${VESK_BUNDLE_SOURCES} ${CMAKE_SOURCE_DIR}/tools/make-bundle.sh
              ${CMAKE_SOURCE_DIR}/tools/wix-fragment ${CMAKE_SOURCE_DIR}/tools/make-packages.sh
              ${CMAKE_SOURCE_DIR}/tools/sign.sh ${CMAKE_SOURCE_DIR}/tools/check-dll
              ${CMAKE_SOURCE_DIR}/tools/symbol-store ${VESK_SIGN_KEY} ${VESK_SIGN_CERT}
      COMMENT "Making the release bundle vesk-${PROJECT_VERSION}-windows and its installer packages"
      VERBATIM)
    add_custom_target(vesk_bundle DEPENDS ${VESK_BUNDLE_ZIP} ${VESK_PACKAGES})
  endif()
else()
  # The rows the server's own registration writes, run against the simulated registry, for the
  # release's installer packages and WiX fragments (`make dist` builds it; tools/make-bundle.sh).
  add_executable(vesk_registration_rows tools/registration_rows.cpp)
  target_include_directories(vesk_registration_rows PRIVATE ${VESK_TEST_COMMON})
  target_link_libraries(vesk_registration_rows PRIVATE vesk_core)
  vesk_strict_warnings(vesk_registration_rows)
endif()
