// Runs the cabtool executable with its standard output and error on a
// pseudo-terminal, as a user at a terminal sees it.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace cabtooltest {

struct TerminalResult {
    int exitStatus = -1;
    int signal = 0;  // the signal that ended it, if one did
    std::string screen;  // everything written to the terminal, raw
};

// `whileRunning`, when given, sees the process id and the screen so far
// after each piece of output.
TerminalResult runOnTerminal(
    const std::vector<std::string>& args, const std::filesystem::path& workingDirectory,
    const std::function<void(int pid, const std::string& screen)>& whileRunning = {});

}  // namespace cabtooltest
