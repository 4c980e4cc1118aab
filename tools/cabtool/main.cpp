// cabtool: lists, tests and extracts cabinet archives, sets of cabinets and
// cabinets stored inside other files.
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "archive/cab_archive.h"
#include "tools/cabtool/options/arguments.h"
#include "tools/cabtool/files/cabinet_files.h"
#include "tools/cabtool/files/cabinet_sources.h"
#include "tools/cabtool/commands/commands.h"
#include "tools/cabtool/options/help_text.h"
#include "tools/cabtool/output/messages.h"

namespace {

int usageError(const std::string& error) {
    cabtool::reportError(error);
    std::fprintf(stderr, "%s\n", cabtool::kUsageLine);
    return cabtool::kExitUsage;
}

// Every file named must be readable before anything is written: a name
// meant as a file inside a cabinet would otherwise fail only after the
// cabinets before it were extracted.
bool allReadable(const std::vector<std::string>& cabinets) {
    bool readable = true;
    for (const std::string& path : cabinets) {
        std::string problem;
        const int fd = cabtool::openRegularFile(path, problem);
        if (fd >= 0) {
            close(fd);
            continue;
        }
        cabtool::reportCabinetError(path, problem);
        readable = false;
    }
    return readable;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace cabtool;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ParseResult parsed = parseArguments(args);
    if (!parsed.ok) return usageError(parsed.error);
    const Arguments& a = parsed.arguments;
    if (a.command == Command::Help || a.command == Command::Version) {
        std::fputs(a.command == Command::Help ? kHelpText : kVersionLine, stdout);
        return std::fflush(stdout) == 0 ? kExitSuccess : kExitFailure;
    }

    if (!allReadable(a.cabinets)) {
        return usageError("every argument after the options is a cabinet file; "
                          "files inside a cabinet are chosen with -f PATTERN");
    }

    RunOptions options;
    if (!a.encoding.empty() && cabArchiveCodePageKnown(a.encoding.c_str()) == 0) {
        return usageError("unknown encoding '" + a.encoding + "'");
    }
    options.codePage = a.encoding;
    for (const std::string& pattern : a.filters) options.filter.add(pattern);
    options.directory = a.directory;
    options.quiet = a.quiet;
    options.json = a.json;
    options.pipe = a.pipe;
    options.lowercase = a.lowercase;
    options.keep = a.keep;
    options.salvage = a.salvage;
    options.threads = a.threads;

    const SourcePlan plan = planSources(a.cabinets, a.quiet, options.codePage);
    int status = kExitSuccess;
    switch (a.command) {
        case Command::List:
            status = listCabinets(plan.sources, options);
            break;
        case Command::Test:
            status = testCabinets(plan.sources, options);
            break;
        case Command::Extract:
            status = extractCabinets(plan.sources, options);
            break;
        default:
            break;
    }
    if (!plan.ok) status = kExitFailure;
    if (!everyPatternMatches(plan.sources, options)) status = kExitFailure;
    if (std::fflush(stdout) != 0 && status == kExitSuccess) status = kExitFailure;
    return status;
}
