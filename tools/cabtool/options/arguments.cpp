#include "tools/cabtool/options/arguments.h"

#include <optional>
#include <string>

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

// The options, by their short and long names; `value` for those that take
// one, `only` when a single command accepts them.
struct OptionRule {
    const char* shortName;
    const char* longName;
    bool value;
    std::optional<Command> only;
};

constexpr OptionRule kOptions[] = {
    {"-d", "--directory", true, Command::Extract},
    {"-f", "--filter", true, std::nullopt},
    {"-e", "--encoding", true, std::nullopt},
    {"-p", "--pipe", false, Command::Extract},
    {"-L", "--lowercase", false, Command::Extract},
    {"-k", "--keep", false, Command::Extract},
    {"-s", "--salvage", false, Command::Extract},
    {"-j", "--json", false, Command::List},
    {"-q", "--quiet", false, std::nullopt},
    {"-T", "--threads", true, std::nullopt},
};

// The most workers --threads accepts.
constexpr uint32_t kMostThreads = 256;

// N of --threads N: a whole number from 1 to kMostThreads, else 0.
uint32_t threadCount(const std::string& value) {
    if (value.empty() || value.size() > 3 || value.find_first_not_of("0123456789") != std::string::npos) {
        return 0;
    }
    const uint32_t count = uint32_t(std::stoul(value));
    return count <= kMostThreads ? count : 0;
}

const OptionRule* findOption(const std::string& name) {
    for (const OptionRule& option : kOptions) {
        if (name == option.shortName || name == option.longName) return &option;
    }
    return nullptr;
}

void apply(Arguments& out, const OptionRule& option, const std::string& value) {
    const std::string name = option.longName;
    if (name == "--directory") out.directory = value;
    if (name == "--filter") out.filters.push_back(value);
    if (name == "--encoding") out.encoding = value;
    if (name == "--pipe") out.pipe = true;
    if (name == "--lowercase") out.lowercase = true;
    if (name == "--keep") out.keep = true;
    if (name == "--salvage") out.salvage = true;
    if (name == "--json") out.json = true;
    if (name == "--quiet") out.quiet = true;
}

// Splits combined short options the way getopt reads them: "-qj" is "-q -j",
// and in "-qdDIR" or "-qd DIR" the option that takes a value takes the rest
// of the word, or the next word. Nothing after "--" is touched.
std::vector<std::string> splitShortOptions(const std::vector<std::string>& args) {
    std::vector<std::string> words;
    bool optionsEnded = false;
    bool valueNext = false;  // the word before is an option waiting for its value
    for (const std::string& arg : args) {
        const bool combined = !optionsEnded && !valueNext && arg.size() > 2 && arg[0] == '-' &&
                              arg[1] != '-';
        if (!valueNext && arg == "--") optionsEnded = true;
        const OptionRule* single = findOption(arg);
        valueNext = !optionsEnded && !valueNext && single != nullptr && single->value;
        if (!combined) {
            words.push_back(arg);
            continue;
        }
        for (size_t at = 1; at < arg.size(); ++at) {
            const std::string name = {'-', arg[at]};
            words.push_back(name);
            const OptionRule* option = findOption(name);
            if (option != nullptr && option->value) {
                if (at + 1 < arg.size()) words.push_back(arg.substr(at + 1));
                valueNext = at + 1 == arg.size();
                break;
            }
        }
    }
    return words;
}

}  // namespace

ParseResult parseArguments(const std::vector<std::string>& args) {
    if (args.empty()) return failure("no command given");

    ParseResult result;
    Arguments& out = result.arguments;
    const std::string& command = args[0];
    if (isHelpWord(command) || command == "--version") {
        out.command = isHelpWord(command) ? Command::Help : Command::Version;
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

    bool optionsEnded = false;
    bool directoryGiven = false;
    const std::vector<std::string> words = splitShortOptions(args);
    for (size_t i = 1; i < words.size(); ++i) {
        const std::string& arg = words[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            out.cabinets.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        if (arg == "-h" || arg == "--help") {
            out.command = Command::Help;
            result.ok = true;
            return result;
        }
        // "--name=value" gives the value in the same word.
        const size_t equals = arg.rfind("--", 0) == 0 ? arg.find('=') : std::string::npos;
        const std::string name = arg.substr(0, equals);
        const OptionRule* option = findOption(name);
        if (option == nullptr) return failure("unknown option '" + name + "'");
        if (option->only && *option->only != out.command) {
            return failure(name + " applies only to " + (*option->only == Command::List ? "list" : "extract"));
        }
        std::string value;
        if (option->value) {
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < words.size()) {
                value = words[++i];
            }
            if (value.empty()) return failure(name + " needs a value");
        } else if (equals != std::string::npos) {
            return failure(name + " takes no value");
        }
        if (std::string(option->longName) == "--directory") directoryGiven = true;
        if (std::string(option->longName) == "--threads") {
            if (out.command == Command::List) return failure(name + " applies only to test and extract");
            out.threads = threadCount(value);
            if (out.threads == 0) {
                return failure(name + " needs a number of threads from 1 to " + std::to_string(kMostThreads));
            }
        }
        apply(out, *option, value);
    }

    if (out.pipe && directoryGiven) return failure("--pipe writes to standard output: no -d");
    if (out.pipe && out.salvage) return failure("--salvage writes files: no --pipe");
    if (out.cabinets.empty()) return failure(command + " needs a cabinet file");
    result.ok = true;
    return result;
}

}  // namespace cabtool
