// Runs the built installer as a person would, typing on its standard input:
// 'i' presses Install, Enter dismisses the completion message, a second Enter
// meets no message box, 'q' closes the frame.  The exit status tells the
// script whether its last Install put everything in place.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "installer/payload_gen/placeholder.h"
#include "sandbox.h"

namespace {

struct Outcome {
    int exitCode = -1;
    std::string output;
};

// Starts the installer with the sandbox's environment, feeds it the keys and
// collects what it prints.
Outcome runInstaller(const std::string& keys) {
    int input[2];
    int output[2];
    if (pipe(input) != 0 || pipe(output) != 0) return {};
    pid_t child = fork();
    if (child == 0) {
        dup2(input[0], 0);
        dup2(output[1], 1);
        dup2(output[1], 2);
        close(input[1]);
        close(output[0]);
        execl(QMORA_SETUP_EXE, QMORA_SETUP_EXE, static_cast<char*>(nullptr));
        _exit(127);
    }
    close(input[0]);
    close(output[1]);
    if (write(input[1], keys.data(), keys.size()) != static_cast<ssize_t>(keys.size())) {
        ADD_FAILURE() << "could not type the keys";
    }
    close(input[1]);
    Outcome outcome;
    char buffer[4096];
    for (ssize_t n; (n = read(output[0], buffer, sizeof buffer)) > 0;) outcome.output.append(buffer, n);
    close(output[0]);
    int status = 0;
    waitpid(child, &status, 0);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

TEST(ScriptedInstaller, InstallFromTheKeyboardUnpacksBothFiles) {
    Sandbox box;
    Outcome run = runInstaller("i\n\nq");
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_NE(run.output.find("Installation Completed."), std::string::npos) << run.output;
    EXPECT_EQ(readFile(box.system32 + "/Q-Mora.scr"), placeholderContents(kScreensaverFile));
    EXPECT_EQ(readFile(box.system32 + "/d3dx9_25.dll"), placeholderContents(kSupportLibraryFile));
    EXPECT_EQ(listDirectory(box.temp), (std::vector<std::string>{"d3dx9_25.cab", "vmo-ss.cab"}));
}

TEST(ScriptedInstaller, AFailedInstallEndsWithStatusOneAndPrintsEachSentenceWhole) {
    Sandbox box;
    const std::string windows = box.blockWindowsDirectory(100);
    Outcome run = runInstaller("i\nq");
    EXPECT_EQ(run.exitCode, 1) << run.output;
    for (const char* file : {"Q-Mora.scr", "d3dx9_25.dll"}) {
        const std::string line = std::string("\nSetup - Q-Mora: ") + file + " could not be installed in " +
                                 windows + "/system32/: a file stands where a directory should be.\n";
        EXPECT_NE(run.output.find(line), std::string::npos) << line << run.output;
    }
}

}  // namespace
