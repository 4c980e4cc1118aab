#include "installer/actions.h"

#include <cstdio>
#include <cstring>

#include "installer/extraction_driver.h"
#include "installer/install_report.h"
#include "installer/paths.h"
#include "installer/payloads.h"
#include "installer/resources/resource_ids.h"
#include "installer/setup_state.h"
#include "installer/win32_api.h"

namespace {

constexpr char kScreensaverFileName[] = "Q-Mora.scr";
constexpr char kSupportLibraryFileName[] = "d3dx9_25.dll";

bool pathExists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

// The staging name without its leading backslash, as the user knows it.
const char* cabinetFileName(const PayloadCabinet& payload) {
    return payload.stagingName[0] == '\\' ? payload.stagingName + 1 : payload.stagingName;
}

// Writes the payload's cabinet image to the staging path. A file that was
// not written in full is removed: it is no cabinet.
FailureReason stageCabinet(const PayloadCabinet& payload, const char* stagingPath) {
    // A staging file left read-only by an earlier run is ours to replace.
    DWORD attributes = GetFileAttributesA(stagingPath);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesA(stagingPath, FILE_ATTRIBUTE_NORMAL);
    }
    FILE* file = win32Fopen(stagingPath, "wb");
    if (file == nullptr) return runtimeFailure();
    FailureReason reason;
    if (std::fwrite(payload.image, 1, payload.size, file) != payload.size) reason = runtimeFailure();
    if (std::fclose(file) != 0 && !reason.failed()) reason = runtimeFailure();
    if (reason.failed()) DeleteFileA(stagingPath);
    return reason;
}

// Stages one payload and unpacks it into the system directory. True when
// every file of it is in place; otherwise the report says why not.
bool installPayload(const PayloadCabinet& payload, const char* temporaryDirectory,
                    const char* targetDirectory, InstallReport& report) {
    PathBuffer stagingPath;
    // The decoder opens cabinets by paths of at most 256 characters.
    if (!copyPath(stagingPath, temporaryDirectory) || !appendPath(stagingPath, payload.stagingName) ||
        std::strlen(stagingPath) > kMaxCabinetPath) {
        report.stagingFailed(cabinetFileName(payload), temporaryDirectory,
                             FailureReason{FailureReason::Source::PathTooLong, 0});
        return false;
    }
    FailureReason staging = stageCabinet(payload, stagingPath);
    if (staging.failed()) {
        report.stagingFailed(cabinetFileName(payload), temporaryDirectory, staging);
        return false;
    }
    ExtractionFailure failure;
    if (extractCabinet(stagingPath, targetDirectory, &failure) == 1) return true;
    report.extractionFailed(failure);
    return false;
}

bool lastInstallLeftSomethingOut = false;

void enableRunButton(bool enabled) {
    EnableWindow(GetDlgItem(setupDialog, IDC_RUN), enabled ? TRUE : FALSE);
}

}  // namespace

void install() {
    InstallReport report;
    bool screensaverInstalled = false;
    PathBuffer temporary;
    PathBuffer targetDirectory;
    if (!temporaryDirectory(temporary)) {
        report.noTemporaryDirectory();
    } else if (!systemDirectory(targetDirectory)) {
        report.noWindowsDirectory();
    } else {
        screensaverInstalled = installPayload(screensaverPayload(), temporary, targetDirectory, report);
        installSupportLibrary(report);
    }
    lastInstallLeftSomethingOut = report.hasFailures();
    MessageBoxA(setupDialog, report.text(), kSetupCaption, MB_OK);
    // Run is offered only for a complete screensaver from this Install; an
    // older file that could not be replaced does not count.
    if (screensaverInstalled) {
        refreshRunButton();
    } else {
        enableRunButton(false);
    }
}

bool lastInstallFailed() { return lastInstallLeftSomethingOut; }

void installSupportLibrary(InstallReport& report) {
    PathBuffer libraryPath;
    if (!systemDirectory(libraryPath) || !appendPath(libraryPath, kSupportLibraryFileName)) return;
    if (pathExists(libraryPath)) return;  // an existing library is never replaced

    PathBuffer temporary;
    PathBuffer targetDirectory;
    if (!temporaryDirectory(temporary) || !systemDirectory(targetDirectory)) return;
    installPayload(supportLibraryPayload(), temporary, targetDirectory, report);
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
    enableRunButton(pathExists(screensaverPath));
}
