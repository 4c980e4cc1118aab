// Runs the cabtool executable in a scratch directory and captures its output.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace cabtooltest {

struct ToolResult {
    int exitStatus = -1;  // -1 when the process did not exit normally
    int signal = 0;       // the signal that ended it, if one did
    std::string out;
    std::string err;
};

// Runs cabtool with `args` in `workingDirectory`; kills it after a timeout
// (a hang is reported as exitStatus -1 and "timed out" in err).
ToolResult runCabtool(const std::vector<std::string>& args,
                      const std::filesystem::path& workingDirectory);

struct RunHooks {
    long fileSizeLimit = -1;  // RLIMIT_FSIZE for the process, when not -1
    // Variables set in the process's environment only, as name and value.
    std::vector<std::pair<std::string, std::string>> environment;
    // Called every few milliseconds while the process runs.
    std::function<void(int pid)> whileRunning;
};
ToolResult runCabtool(const std::vector<std::string>& args,
                      const std::filesystem::path& workingDirectory, const RunHooks& hooks);

// A fresh directory, removed with everything in it when the object goes.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

std::string readFile(const std::filesystem::path& path);
void writeFile(const std::filesystem::path& path, const std::string& contents);

// Whether `needle` occurs in `haystack` (a tool's output, usually).
inline bool contains(const std::string& haystack, const std::string& needle) {
    return haystack.find(needle) != std::string::npos;
}

}  // namespace cabtooltest
