// cabtool: lists, tests and extracts cabinet archives and sets of cabinets.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/cabtool/arguments.h"
#include "tools/cabtool/commands.h"
#include "tools/cabtool/help_text.h"
#include "tools/cabtool/messages.h"

int main(int argc, char** argv) {
    using namespace cabtool;
    const std::vector<std::string> args(argv + 1, argv + argc);
    const ParseResult parsed = parseArguments(args);
    if (!parsed.ok) {
        reportError(parsed.error);
        std::fprintf(stderr, "%s\n", kUsageLine);
        return kExitUsage;
    }
    const Arguments& a = parsed.arguments;
    int status = kExitSuccess;
    switch (a.command) {
        case Command::Help:
            std::fputs(kHelpText, stdout);
            break;
        case Command::List:
            status = listCabinets(a.cabinet);
            break;
        case Command::Test:
            status = testCabinets(a.cabinet);
            break;
        case Command::Extract:
            status = extractCabinets(a.cabinet, a.directory);
            break;
    }
    if (std::fflush(stdout) != 0 && status == kExitSuccess) status = kExitFailure;
    return status;
}
