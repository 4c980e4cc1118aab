#include "tests/cabtool/terminal_runner.h"

#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace cabtooltest {

TerminalResult runOnTerminal(
    const std::vector<std::string>& args, const std::filesystem::path& workingDirectory,
    const std::function<void(int pid, const std::string& screen)>& whileRunning) {
    std::vector<std::string> argvStrings = {CABTOOL_PATH};
    argvStrings.insert(argvStrings.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& s : argvStrings) argv.push_back(s.data());
    argv.push_back(nullptr);

    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid < 0) throw std::runtime_error("forkpty failed");
    if (pid == 0) {
        if (chdir(workingDirectory.c_str()) != 0) _exit(127);
        execv(argv[0], argv.data());
        _exit(127);
    }

    TerminalResult result;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    char buffer[4096];
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got <= 0) break;  // EIO once the child has closed the terminal
        result.screen.append(buffer, size_t(got));
        if (whileRunning) whileRunning(pid, result.screen);
    }
    int status = 0;
    if (waitpid(pid, &status, WNOHANG) == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    close(master);
    if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
    if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    return result;
}

}  // namespace cabtooltest
