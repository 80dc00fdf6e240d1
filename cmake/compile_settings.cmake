# Settings of every target: the platform's definitions for the Windows builds, with the debug
# information of what ships; UTF-16 wide text natively.
if(WIN32)
  enable_language(RC)
  # CodeView, which lld gathers into Vesk.pdb. Sources are named below a folder /vesk-VERSION, not
  # below this machine's checkout; object files relative to the build tree (a relative compilation
  # folder keeps the compiler from making them absolute); and the compiler's command line (full of
  # its paths) is left out: so that two checkouts build the same bytes.
  set(VESK_SOURCE_PREFIX /vesk-${PROJECT_VERSION})
  set(VESK_DEBUG_INFO -g -gcodeview -gno-codeview-command-line -fdebug-compilation-dir=.
      -ffile-prefix-map=${CMAKE_SOURCE_DIR}=${VESK_SOURCE_PREFIX})
  # What ships asks nothing of run-time type information but what exceptions carry anyway; without
  # the rest (type descriptions of every COM class) each DLL is some 4 KB smaller.
  if(VESK_SHIPPED_ONLY)
    set(VESK_SHIPPED_CODE ${VESK_DEBUG_INFO} -fno-rtti)
  endif()
  add_compile_definitions(UNICODE _UNICODE NOMINMAX WINVER=0x0601 _WIN32_WINNT=0x0601)
else()
  # UTF-16 wide text exactly as on Windows; the simulated platform stands in for the Win32 API.
  add_compile_options(-fshort-wchar)
endif()
