# Turns a binary file into a C++ source that defines it as a byte array.
# cmake -DINPUT=file -DOUTPUT=file.cpp -DNAME=kSymbol -DNAMESPACE=ns -P EmbedFile.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hexLength)
math(EXPR size "${hexLength} / 2")
# 32 bytes a line keeps the generated file readable and quick to compile.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
get_filename_component(inputName "${INPUT}" NAME)
file(WRITE "${OUTPUT}.tmp"
"// Generated at build time from ${inputName}; do not edit.\n"
"#include <cstddef>\n"
"namespace ${NAMESPACE} {\n"
"extern const unsigned char ${NAME}[];\n"
"extern const std::size_t ${NAME}Size;\n"
"const unsigned char ${NAME}[] = {\n${bytes}\n};\n"
"const std::size_t ${NAME}Size = ${size};\n"
"} // namespace ${NAMESPACE}\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
