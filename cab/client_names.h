// The rule a client applies to a file name stored in a cabinet before it
// writes the file: the name must stay inside the target directory on every
// system the cabinet may be unpacked on. Shared by the clients (cabtool, the
// installer); the decoder itself hands names over as stored.
//
// The header compiles as C and as C++, like cab/cab.h.
#pragma once

#ifdef __cplusplus
extern "C" {
#endif

enum CabNameProblem {
    CabNameUsable = 0,
    CabNameEmpty = 1,           // no characters at all
    CabNameAbsolute = 2,        // begins with a separator
    CabNameColon = 3,           // a drive letter, a device or a stream name
    CabNameClimbsOut = 4,       // a ".." component
    CabNameDirectory = 5,       // ends with a separator or "."
    CabNameNothing = 6,         // only separators and "." components
};

// Checks a stored name, whose components are separated by '\\' or '/'.
// Empty and "." components inside the name are harmless and allowed.
enum CabNameProblem cabCheckStoredName(const char* name);

// A short English description of a problem, for clients' messages.
const char* cabNameProblemText(enum CabNameProblem problem);

#ifdef __cplusplus
}
#endif
