# Turns a file into a C++ byte array. In: IN, OUT, NAME.
file(READ "${IN}" hex HEX)
string(LENGTH "${hex}" n)
math(EXPR size "${n} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," body "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n" body "${body}")
file(WRITE "${OUT}" "// Generated at build time from ${IN}.\n#include <cstddef>\n"
    "extern const unsigned char ${NAME}[];\nextern const std::size_t ${NAME}Size;\n"
    "alignas(16) const unsigned char ${NAME}[] = {\n${body}};\n"
    "const std::size_t ${NAME}Size = ${size};\n")
