// Runs the cabtool executable with its standard output and error on a
// pseudo-terminal, as a user at a terminal sees it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace cabtooltest {

struct TerminalResult {
    int exitStatus = -1;
    std::string screen;  // everything written to the terminal, raw
};

TerminalResult runOnTerminal(const std::vector<std::string>& args,
                             const std::filesystem::path& workingDirectory);

}  // namespace cabtooltest
