// A throw-away Windows-like directory tree for the installer's tests:
//   <root>/windows/system32/   the system directory ("windir" points at windows)
//   <root>/temp/               the temporary directory ("temp" points here)
// The environment variables the installer reads are replaced for the
// sandbox's lifetime and restored afterwards, as is TZ.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

using Bytes = std::vector<uint8_t>;

class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    std::string root, windows, system32, temp;

    // Sets (or, with nullptr, removes) a variable in every letter case.
    static void setVariable(const char* name, const char* value);

private:
    std::vector<std::pair<std::string, std::string>> saved_;
};

Bytes readFile(const std::string& path);
void writeFile(const std::string& path, const Bytes& bytes);
bool fileExists(const std::string& path);
// Names of the entries of a directory, sorted.
std::vector<std::string> listDirectory(const std::string& path);
