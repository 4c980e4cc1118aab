// Command-line arguments of cabtool.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cabtool {

enum class Command { Help, Version, List, Test, Extract };

struct Arguments {
    Command command = Command::Help;
    std::vector<std::string> cabinets;   // the files named, in order
    std::string directory = ".";         // extract: where the files go
    std::vector<std::string> filters;    // --filter patterns; none selects all
    std::string encoding;                // --encoding; empty for the default
    bool pipe = false;                   // extract: contents to standard output
    bool lowercase = false;              // extract: lower-case names
    bool keep = false;                   // extract: never replace a file
    bool salvage = false;                // extract: every byte that can be had
    bool json = false;                   // list: JSON records
    bool quiet = false;                  // only errors
    uint32_t threads = 0;                // test, extract: workers; 0 one per processor
};

struct ParseResult {
    bool ok = false;
    Arguments arguments;
    std::string error;  // what was wrong, when !ok
};

// Parses the arguments that follow the program name.
ParseResult parseArguments(const std::vector<std::string>& args);

}  // namespace cabtool
