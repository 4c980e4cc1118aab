// The command line the sample writers share: one DIRECTORY argument, or
// --help (-h).
#pragma once

#include <cstdio>
#include <cstring>

namespace cabwriter {

// The directory named on the command line, or null when there is none to
// use: then the usage has been printed (to standard output for --help, else
// to standard error) and `status` holds the exit status (0 or 2). Any other
// option is a mistake, not a directory name.
inline const char* directoryArgument(int argc, char** argv,
                                     void (*printUsage)(std::FILE*, const char*), int& status) {
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        printUsage(stdout, argv[0]);
        status = 0;
        return nullptr;
    }
    if (argc != 2 || argv[1][0] == '-') {
        printUsage(stderr, argv[0]);
        status = 2;
        return nullptr;
    }
    return argv[1];
}

}  // namespace cabwriter
