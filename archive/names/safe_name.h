// Turning a file name stored in a cabinet into a path that stays inside the
// extraction directory.
#pragma once

#include <string>
#include <vector>

namespace cabarchive {

struct SafeName {
    std::vector<std::string> components;  // directories, then the file name
    std::string problem;                  // why the name is refused; empty when usable

    bool usable() const { return problem.empty(); }
    std::string joined() const;           // components joined with '/'
};

// Checks a stored name with the clients' shared rule (cab/client_names.h)
// and splits a usable one at backslashes and slashes, dropping empty and "."
// components.
SafeName checkStoredName(const std::string& stored);

// Where a decoded (UTF-8) name puts a file below the extraction directory:
// unprintable characters made safe, then checked and split as
// checkStoredName does; with `lowercase`, every component lowered.
SafeName outputPlace(const std::string& utf8Name, bool lowercase);

// True when `name` is a plain file name: not empty, no separator, not "." or "..".
bool isPlainFileName(const std::string& name);

}  // namespace cabarchive
