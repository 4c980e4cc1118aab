// Entry point: the installer takes no arguments.
#include "installer/setup_window.h"

#ifdef _WIN32
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    return start(instance, showCommand);
}
#else
#include "installer/actions.h"
#include "platform/terminal.h"

int main() {
    const int exitCode = start(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
    // A script driving the window (input not from a terminal) learns from
    // the exit status whether its last Install put everything in place.
    if (exitCode == 0 && !platform::Terminal::available() && lastInstallFailed()) return 1;
    return exitCode;
}
#endif
