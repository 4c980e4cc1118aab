#include "cab/client_names.h"

namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

}  // namespace

CabNameProblem cabCheckStoredName(const char* name) {
    if (name == nullptr || name[0] == '\0') return CabNameEmpty;
    if (isSeparator(name[0])) return CabNameAbsolute;
    bool namesSomething = false;
    const char* component = name;
    for (const char* p = name;; ++p) {
        // Any colon: "C:x" is relative to a drive's current directory, and
        // "file:stream" writes a stream of another file on some systems.
        if (*p == ':') return CabNameColon;
        if (*p != '\0' && !isSeparator(*p)) continue;
        const long length = p - component;
        const bool dot = length == 1 && component[0] == '.';
        if (length == 2 && component[0] == '.' && component[1] == '.') return CabNameClimbsOut;
        if (*p == '\0') {
            if (length == 0 || dot) return namesSomething ? CabNameDirectory : CabNameNothing;
            return CabNameUsable;
        }
        if (length > 0 && !dot) namesSomething = true;
        component = p + 1;
    }
}

const char* cabNameProblemText(CabNameProblem problem) {
    switch (problem) {
        case CabNameUsable: return "usable";
        case CabNameEmpty: return "empty file name";
        case CabNameAbsolute: return "absolute path";
        case CabNameColon: return "a ':' names a drive, a device or a stream";
        case CabNameClimbsOut: return "path leads out of the directory (\"..\")";
        case CabNameDirectory: return "names a directory, not a file";
        case CabNameNothing: return "names no file";
    }
    return "unusable name";
}
