# Writes the bytes of INPUT as a C++ array named SYMBOL (with SYMBOL_size) into OUTPUT, so that the
# native build carries a resource file exactly as the resource compiler embeds it.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
file(WRITE "${OUTPUT}" "// Generated from ${INPUT}; do not edit.\n#include <cstddef>\n"
  "extern const unsigned char ${SYMBOL}[];\nextern const size_t ${SYMBOL}_size;\n"
  "const unsigned char ${SYMBOL}[] = {${bytes}};\nconst size_t ${SYMBOL}_size = ${size};\n")
