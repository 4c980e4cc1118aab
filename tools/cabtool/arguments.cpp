#include "tools/cabtool/arguments.h"

namespace cabtool {
namespace {

bool isHelpWord(const std::string& word) {
    return word == "-h" || word == "--help" || word == "help";
}

ParseResult failure(std::string message) {
    ParseResult result;
    result.error = std::move(message);
    return result;
}

}  // namespace

ParseResult parseArguments(const std::vector<std::string>& args) {
    if (args.empty()) return failure("no command given");

    ParseResult result;
    Arguments& out = result.arguments;
    const std::string& command = args[0];
    if (isHelpWord(command)) {
        out.command = Command::Help;
        result.ok = true;
        return result;
    }
    if (command == "list") {
        out.command = Command::List;
    } else if (command == "test") {
        out.command = Command::Test;
    } else if (command == "extract") {
        out.command = Command::Extract;
    } else {
        return failure("unknown command '" + command + "'");
    }

    std::vector<std::string> positional;
    bool optionsEnded = false;
    for (size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            positional.push_back(arg);
        } else if (arg == "--") {
            optionsEnded = true;
        } else if (arg == "-h" || arg == "--help") {
            out.command = Command::Help;
            result.ok = true;
            return result;
        } else if (arg == "-d" || arg == "--directory") {
            if (out.command != Command::Extract) return failure(arg + " applies only to extract");
            if (i + 1 >= args.size()) return failure(arg + " needs a directory");
            out.directory = args[++i];
            if (out.directory.empty()) return failure(arg + " needs a directory");
        } else {
            return failure("unknown option '" + arg + "'");
        }
    }

    if (positional.empty()) return failure(command + " needs a cabinet file");
    if (positional.size() > 1) return failure("too many arguments: '" + positional[1] + "'");
    out.cabinet = positional[0];
    result.ok = true;
    return result;
}

}  // namespace cabtool
