#include "tools/cabtool/safe_name.h"

namespace cabtool {
namespace {

bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool isAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

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
    if (stored.empty()) return refused("empty file name");
    if (isSeparator(stored[0])) return refused("absolute path");
    if (stored.size() >= 2 && isAsciiLetter(stored[0]) && stored[1] == ':') {
        return refused("path with a drive letter");
    }
    if (isSeparator(stored.back())) return refused("names a directory, not a file");

    SafeName result;
    std::string component;
    auto finishComponent = [&]() -> bool {
        if (component == "..") return false;
        if (!component.empty() && component != ".") result.components.push_back(component);
        component.clear();
        return true;
    };
    for (char c : stored) {
        if (isSeparator(c)) {
            if (!finishComponent()) return refused("path leads out of the directory (\"..\")");
        } else {
            component += c;
        }
    }
    if (component == ".") return refused("names a directory, not a file");
    if (!finishComponent()) return refused("path leads out of the directory (\"..\")");
    if (result.components.empty()) return refused("names no file");
    return result;
}

bool isPlainFileName(const std::string& name) {
    if (name.empty() || name == "." || name == "..") return false;
    for (char c : name) {
        if (isSeparator(c)) return false;
    }
    return true;
}

}  // namespace cabtool
