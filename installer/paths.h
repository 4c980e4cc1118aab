// Directory paths the installer composes from its environment. Every path
// lives in a zero-filled 512-byte buffer; anything that would not fit is
// refused instead of written past the buffer.
#pragma once

#include <cstddef>

constexpr size_t kPathBufferSize = 512;
using PathBuffer = char[kPathBufferSize];

// Reads an environment variable into the zero-filled buffer. A value longer
// than 511 characters leaves the buffer empty, as if the variable were unset.
// Returns true when the buffer is non-empty.
bool readDirectoryVariable(const char* name, PathBuffer& buffer);

// The value of "windir". True when non-empty.
bool windowsDirectory(PathBuffer& buffer);

// The Windows directory followed by "\system32\". False when "windir" is
// empty or the result would not fit.
bool systemDirectory(PathBuffer& buffer);

// The value of "temp", or of "tmp" when "temp" is empty. True when non-empty.
bool temporaryDirectory(PathBuffer& buffer);

// Appends text to the path in the buffer. When the result would not fit
// (511 characters and the NUL), the buffer is left as it was and the result
// is false.
bool appendPath(PathBuffer& buffer, const char* text);

// Copies text into the buffer; false (buffer emptied) when it does not fit.
bool copyPath(PathBuffer& buffer, const char* text);

// The path as the user should see it, copied into the buffer: unchanged on
// Windows; elsewhere with every backslash turned into a slash, so a path
// joined from a Linux directory and Windows suffixes reads with one
// separator. Returns the buffer.
const char* displayPath(PathBuffer& buffer, const char* path);
