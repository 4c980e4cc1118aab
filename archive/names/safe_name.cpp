#include "archive/names/safe_name.h"

#include "archive/names/name_encoding.h"
#include "cab/client_names.h"

namespace cabarchive {
namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

SafeName refused(std::string problem) {
    SafeName result;
    result.problem = std::move(problem);
    return result;
}

}  // namespace

std::string SafeName::joined() const {
    std::string path;
    for (const std::string& component : components) {
        if (!path.empty()) path += '/';
        path += component;
    }
    return path;
}

SafeName checkStoredName(const std::string& stored) {
    // The rule is the one every client applies; a NUL inside the name (not
    // possible in a cabinet, whose names end at the first) is refused too.
    if (stored.find('\0') != std::string::npos) return refused("name with a NUL byte");
    const CabNameProblem problem = cabCheckStoredName(stored.c_str());
    if (problem != CabNameUsable) return refused(cabNameProblemText(problem));

    SafeName result;
    std::string component;
    for (const char c : stored + '/') {
        if (!isSeparator(c)) {
            component += c;
            continue;
        }
        if (!component.empty() && component != ".") result.components.push_back(component);
        component.clear();
    }
    return result;
}

SafeName outputPlace(const std::string& utf8Name, bool lowercase) {
    SafeName safe = checkStoredName(safeFileName(utf8Name));
    if (lowercase) {
        for (std::string& component : safe.components) component = lowerCaseName(component);
    }
    return safe;
}

bool isPlainFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name) {
        if (isSeparator(c)) return false;
    }
    return true;
}

}  // namespace cabarchive
