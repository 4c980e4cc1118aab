#include "tests/cabtool/tool_runner.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace cabtooltest {
namespace fs = std::filesystem;

namespace {
constexpr auto kTimeout = std::chrono::seconds(30);
}

ToolResult runCabtool(const std::vector<std::string>& args, const fs::path& workingDirectory) {
    return runCabtool(args, workingDirectory, RunHooks{});
}

ToolResult runCabtool(const std::vector<std::string>& args, const fs::path& workingDirectory,
                      const RunHooks& hooks) {
    const fs::path outPath = fs::temp_directory_path() / ("cabtool-out-" + std::to_string(getpid()));
    const fs::path errPath = fs::temp_directory_path() / ("cabtool-err-" + std::to_string(getpid()));
    std::vector<std::string> argvStrings = {CABTOOL_PATH};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : argvStrings) argv.push_back(s.data());
    argv.push_back(nullptr);

    const pid_t pid = fork();
    if (pid < 0) throw std::runtime_error("fork failed");
    if (pid == 0) {
        if (hooks.fileSizeLimit >= 0) {
            const rlimit limit{rlim_t(hooks.fileSizeLimit), rlim_t(hooks.fileSizeLimit)};
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        for (const auto& [name, value] : hooks.environment) setenv(name.c_str(), value.c_str(), 1);
        if (chdir(workingDirectory.c_str()) != 0 || !freopen(outPath.c_str(), "w", stdout) ||
            !freopen(errPath.c_str(), "w", stderr)) {
            _exit(127);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }

    ToolResult result;
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    int status = 0;
    while (waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.err = "timed out\n";
            break;
        }
        if (hooks.whileRunning) hooks.whileRunning(pid);
        std::this_thread::sleep_for(std::chrono::milliseconds(hooks.whileRunning ? 1 : 5));
    }
    if (WIFEXITED(status) && result.err.empty()) result.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    result.out = readFile(outPath);
    result.err += readFile(errPath);
    fs::remove(outPath);
    fs::remove(errPath);
    return result;
}

ScratchDirectory::ScratchDirectory() {
    std::string pattern = (fs::temp_directory_path() / "cabtool-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream contents;
    contents << in.rdbuf();
    return contents.str();
}

void writeFile(const fs::path& path, const std::string& contents) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << contents;
}

}  // namespace cabtooltest
