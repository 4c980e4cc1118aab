#include "installer/actions.h"

#include <cstdio>

#include "installer/extraction_driver.h"
#include "installer/paths.h"
#include "installer/payloads.h"
#include "installer/resources/resource_ids.h"
#include "installer/setup_state.h"
#include "installer/win32_api.h"

namespace {

constexpr char kScreensaverFileName[] = "Q-Mora.scr";
constexpr char kSupportLibraryFileName[] = "d3dx9_25.dll";
constexpr char kCompletionMessage[] = "Installation Completed.";

enum class Staging {
    NotCreated,  // the staging file could not be created
    Failed,      // created, but the cabinet was not written in full
    Written,
};

// Writes the payload's cabinet image to the staging path.
Staging stageCabinet(const PayloadCabinet& payload, const char* stagingPath) {
    FILE* file = win32Fopen(stagingPath, "wb");
    if (file == nullptr) return Staging::NotCreated;
    bool written = std::fwrite(payload.image, 1, payload.size, file) == payload.size;
    bool closed = std::fclose(file) == 0;
    return written && closed ? Staging::Written : Staging::Failed;
}

bool pathExists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

void install() {
    PathBuffer stagingPath;
    if (!temporaryDirectory(stagingPath)) return;
    if (!appendPath(stagingPath, screensaverPayload().stagingName)) return;
    PathBuffer targetDirectory;
    if (!systemDirectory(targetDirectory)) return;

    Staging staging = stageCabinet(screensaverPayload(), stagingPath);
    if (staging == Staging::NotCreated) return;
    // A cabinet that was not written in full is not worth unpacking.
    if (staging == Staging::Written) extractCabinet(stagingPath, targetDirectory);

    installSupportLibrary();
    MessageBoxA(setupDialog, kCompletionMessage, kSetupCaption, MB_OK);
    refreshRunButton();
}

void installSupportLibrary() {
    PathBuffer libraryPath;
    if (!systemDirectory(libraryPath) || !appendPath(libraryPath, kSupportLibraryFileName)) return;
    if (pathExists(libraryPath)) return;  // an existing library is never replaced

    PathBuffer stagingPath;
    if (!temporaryDirectory(stagingPath)) return;
    if (!appendPath(stagingPath, supportLibraryPayload().stagingName)) return;
    if (stageCabinet(supportLibraryPayload(), stagingPath) != Staging::Written) return;

    PathBuffer targetDirectory;
    if (!systemDirectory(targetDirectory)) return;
    extractCabinet(stagingPath, targetDirectory);
}

void runScreensaver() {
    PathBuffer directory;
    if (!systemDirectory(directory)) return;
    ShellExecuteA(nullptr, "open", kScreensaverFileName, "", directory, SW_SHOWNORMAL);
}

void openScreensaverSettings() {
    ShellExecuteA(nullptr, "open", "control", "desk.cpl ,@ScreenSaver", "", SW_SHOWNORMAL);
}

void refreshRunButton() {
    PathBuffer directory;
    if (!systemDirectory(directory)) return;
    PathBuffer screensaverPath;
    if (!copyPath(screensaverPath, directory) || !appendPath(screensaverPath, kScreensaverFileName)) {
        return;
    }
    EnableWindow(GetDlgItem(setupDialog, IDC_RUN), pathExists(screensaverPath) ? TRUE : FALSE);
}
