// Test support: a throw-away Windows-like directory tree and a record of
// shell requests.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "installer/win32_api.h"

using Bytes = std::vector<uint8_t>;

// <root>/windows/system32/ and <root>/temp/, with "windir" and "temp"
// pointing at them and "tmp" unset. Those variables, TZ and TMPDIR are
// restored, and the tree removed, when the sandbox goes.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    std::string root, windows, system32, temp;

    // Points "windir" at a file named "windows" in a directory of a
    // `nameLength`-character name: nothing can be installed below it, and
    // the failure sentences name that long path. Returns the path.
    std::string blockWindowsDirectory(std::size_t nameLength) const;

    // Sets (or, with nullptr, removes) a variable in every letter case.
    static void setVariable(const char* name, const char* value);

private:
    std::vector<std::pair<std::string, std::string>> saved_;
};

Bytes readFile(const std::string& path);
void writeFile(const std::string& path, const Bytes& bytes);
std::vector<std::string> listDirectory(const std::string& path);  // sorted names

struct ShellCall {
    HWND owner;
    std::string verb, file, parameters, directory;
    int show;
};
// Resets the window manager, has message boxes answered with OK and records
// every shell request into `calls` instead of performing it.
void resetWindowsRecordingShell(std::vector<ShellCall>& calls);
