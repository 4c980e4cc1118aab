#include "installer/paths.h"

#include <cstring>

#include "installer/win32_api.h"

bool readDirectoryVariable(const char* name, PathBuffer& buffer) {
    std::memset(buffer, 0, kPathBufferSize);
    DWORD length = GetEnvironmentVariableA(name, buffer, static_cast<DWORD>(kPathBufferSize));
    if (length >= kPathBufferSize) {
        // Too long: the call reported the size it needs; whatever it left in
        // the buffer is not a usable path.
        std::memset(buffer, 0, kPathBufferSize);
    }
    return buffer[0] != '\0';
}

bool windowsDirectory(PathBuffer& buffer) {
    return readDirectoryVariable("windir", buffer);
}

bool systemDirectory(PathBuffer& buffer) {
    return windowsDirectory(buffer) && appendPath(buffer, "\\system32\\");
}

bool temporaryDirectory(PathBuffer& buffer) {
    return readDirectoryVariable("temp", buffer) || readDirectoryVariable("tmp", buffer);
}

bool appendPath(PathBuffer& buffer, const char* text) {
    size_t used = strnlen(buffer, kPathBufferSize);
    size_t added = std::strlen(text);
    if (used >= kPathBufferSize || added >= kPathBufferSize - used) return false;
    std::memcpy(buffer + used, text, added + 1);
    return true;
}

bool copyPath(PathBuffer& buffer, const char* text) {
    std::memset(buffer, 0, kPathBufferSize);
    return appendPath(buffer, text);
}

const char* displayPath(PathBuffer& buffer, const char* path) {
    std::memset(buffer, 0, kPathBufferSize);
    std::strncpy(buffer, path, kPathBufferSize - 1);
#ifndef _WIN32
    for (char& c : buffer) {
        if (c == '\\') c = '/';
    }
#endif
    return buffer;
}
