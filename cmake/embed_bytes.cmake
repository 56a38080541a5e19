# SPDX-License-Identifier: GPL-3.0-or-later
# Writes a C++ source holding the bytes of INPUT as SYMBOL (and SYMBOL Size),
# in their own section so that they can be found in the executable.
file(READ "${INPUT}" hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
file(WRITE "${OUTPUT}.tmp"
"#include <cstddef>\n\nnamespace speech_bridge {\n\n"
"extern const unsigned char ${SYMBOL}[];\n"
"extern const std::size_t ${SYMBOL}Size;\n\n"
"__attribute__((section(\"${SECTION}\"), used)) const unsigned char ${SYMBOL}[] = {${bytes}};\n"
"const std::size_t ${SYMBOL}Size = ${size};\n\n"
"}  // namespace speech_bridge\n")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
