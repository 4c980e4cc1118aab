// Command-line arguments of cabtool.
#pragma once

#include <string>
#include <vector>

namespace cabtool {

enum class Command { Help, List, Test, Extract };

struct Arguments {
    Command command = Command::Help;
    std::string cabinet;          // path of the cabinet to start from
    std::string directory = ".";  // extract: where the files go
};

struct ParseResult {
    bool ok = false;
    Arguments arguments;
    std::string error;  // what was wrong, when !ok
};

// Parses the arguments that follow the program name.
ParseResult parseArguments(const std::vector<std::string>& args);

}  // namespace cabtool
