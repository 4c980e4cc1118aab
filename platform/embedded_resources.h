// Registration hook for resource files compiled into the program.
//
// platform_embed_resources() (PlatformResources.cmake) compiles a .rc file
// with windres into a .res file and generates a source file whose static
// initialiser calls win32RegisterResourceFile() with the .res bytes.  The
// bytes must stay valid for the life of the program (the generated array
// does).  The resources are then found by FindResourceA and everything built
// on it, whatever module handle is passed.
#pragma once

#include <cstddef>

// Returns false, and registers nothing, when the bytes are not a well-formed
// .res file.
bool win32RegisterResourceFile(const unsigned char* data, std::size_t size);
