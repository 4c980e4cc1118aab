# cmake -DINPUT=<file.res> -DOUTPUT=<file.cpp> -P EmbedResourceFile.cmake
# Writes a C++ source that registers the bytes of INPUT with the resource
# registry of the Win32 stand-in when the program starts.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" hex_length)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n" bytes "${bytes}")
math(EXPR size "${hex_length} / 2")
file(WRITE ${OUTPUT}
"// Generated from ${INPUT}; do not edit.
#include \"platform/embedded_resources.h\"

namespace {
const unsigned char kResourceFile[${size} + 1] = {
${bytes}
0};
[[maybe_unused]] const bool kRegistered = win32RegisterResourceFile(kResourceFile, ${size});
}  // namespace
")
