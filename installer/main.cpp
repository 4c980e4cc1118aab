// Entry point: the installer takes no arguments.
#include "installer/setup_window.h"

#ifdef _WIN32
int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
    return start(instance, showCommand);
}
#else
int main() {
    return start(GetModuleHandleA(nullptr), SW_SHOWNORMAL);
}
#endif
