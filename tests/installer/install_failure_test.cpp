// Install on a file system that fails: every failure is named in the message
// box (file, directory, reason), nothing half-written is left behind, and Run
// is offered only for a complete screensaver from this Install.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "installer/actions.h"
#include "installer/payload_gen/placeholder.h"
#include "installer/resources/resource_ids.h"
#include "installer/setup_state.h"
#include "installer/setup_window.h"
#include "platform/testing.h"
#include "sandbox.h"
#include "setup_dialog_test.h"

namespace {

using Names = std::vector<std::string>;
namespace fs = std::filesystem;

class InstallFailures : public SetupDialogTest {
protected:
    void SetUp() override {
        SetupDialogTest::SetUp();
        if (HasFatalFailure()) return;
        EnableWindow(run, TRUE);  // as at start-up over an earlier install
    }

    // Runs Install and returns the text of the one message box it showed.
    std::string installAndReport() {
        int before = win32test::lastMessageBox().count;
        install();
        win32test::MessageBoxRecord shown = win32test::lastMessageBox();
        EXPECT_EQ(shown.count, before + 1);
        EXPECT_EQ(shown.caption, "Setup - Q-Mora");
        EXPECT_EQ(shown.owner, setupDialog);
        return shown.text;
    }
    std::string systemDirectoryShown() const { return box.system32 + "/"; }
};

TEST_F(InstallFailures, ReadOnlySystemDirectoryInstallsNothingAndSaysSo) {
    fs::permissions(box.system32, fs::perms::owner_write | fs::perms::group_write |
                                      fs::perms::others_write, fs::perm_options::remove);
    EXPECT_EQ(installAndReport(),
              "Q-Mora.scr could not be installed in " + systemDirectoryShown() +
                  ": access was denied.\n"
                  "d3dx9_25.dll could not be installed in " + systemDirectoryShown() +
                  ": access was denied.");
    EXPECT_TRUE(listDirectory(box.system32).empty());
    EXPECT_FALSE(IsWindowEnabled(run));
}

TEST_F(InstallFailures, ReadOnlyOldScreensaverIsKeptAndRunIsNotOffered) {
    writeFile(system32("Q-Mora.scr"), Bytes(12, 'o'));
    SetFileAttributesA(system32("Q-Mora.scr").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(installAndReport(), "Q-Mora.scr could not be installed in " +
                                      systemDirectoryShown() + ": the existing file is read-only.");
    EXPECT_EQ(readFile(system32("Q-Mora.scr")), Bytes(12, 'o'));
    // The support library does not depend on the screensaver's fate.
    EXPECT_EQ(readFile(system32("d3dx9_25.dll")), placeholderContents(kSupportLibraryFile));
    EXPECT_EQ(listDirectory(box.system32), (Names{"Q-Mora.scr", "d3dx9_25.dll"}));
    EXPECT_FALSE(IsWindowEnabled(run));
}

TEST_F(InstallFailures, FullDiskWhileStagingRemovesTheTruncatedCabinet) {
    // Room for the screensaver's cabinet and file, not for the library's cabinet.
    win32test::setDiskSpace(400 * 1024);
    EXPECT_EQ(installAndReport(),
              "d3dx9_25.cab could not be written to " + box.temp + ": the disk is full.");
    EXPECT_EQ(readFile(system32("Q-Mora.scr")), placeholderContents(kScreensaverFile));
    EXPECT_EQ(listDirectory(box.system32), Names{"Q-Mora.scr"});
    EXPECT_EQ(listDirectory(box.temp), Names{"vmo-ss.cab"});
    EXPECT_TRUE(IsWindowEnabled(run));  // the screensaver itself is complete
}

TEST_F(InstallFailures, FullDiskWhileUnpackingLeavesNoPartialFile) {
    // The screensaver's cabinet fits, its 110,592-byte file does not.
    win32test::setDiskSpace(100 * 1024);
    std::string report = installAndReport();
    EXPECT_EQ(report.substr(0, report.find('\n')),
              "Q-Mora.scr could not be installed in " + systemDirectoryShown() + ": the disk is full.");
    EXPECT_TRUE(listDirectory(box.system32).empty());
    EXPECT_FALSE(IsWindowEnabled(run));
}

TEST_F(InstallFailures, TemporaryPathTooLongForTheDecoderIsReportedBeforeStaging) {
    // 252 characters: the staging path would pass the 256 the decoder opens.
    std::string longTemp = box.root + "/" + std::string(251 - box.root.size(), 't');
    ASSERT_EQ(longTemp.size(), 252u);
    fs::create_directories(longTemp);
    Sandbox::setVariable("temp", longTemp.c_str());
    EXPECT_EQ(installAndReport(),
              "vmo-ss.cab could not be written to " + longTemp + ": the path is too long.\n"
              "d3dx9_25.cab could not be written to " + longTemp + ": the path is too long.");
    EXPECT_TRUE(listDirectory(longTemp).empty());
    EXPECT_TRUE(listDirectory(box.system32).empty());
    EXPECT_FALSE(IsWindowEnabled(run));
}

TEST_F(InstallFailures, MissingDirectoryVariablesAreReported) {
    Sandbox::setVariable("windir", nullptr);
    EXPECT_EQ(installAndReport(),
              "Nothing was installed: the Windows directory is not known (windir is not set).");
    EXPECT_TRUE(listDirectory(box.temp).empty());
    EXPECT_FALSE(IsWindowEnabled(run));

    // Without temp and tmp, Linux's temporary directory stands in.
    Sandbox::setVariable("windir", box.windows.c_str());
    Sandbox::setVariable("temp", nullptr);
    std::string linuxTemp = box.root + "/linux-tmp";
    fs::create_directories(linuxTemp);
    Sandbox::setVariable("TMPDIR", linuxTemp.c_str());
    EXPECT_EQ(installAndReport(), "Installation Completed.");
    EXPECT_EQ(listDirectory(linuxTemp), (Names{"d3dx9_25.cab", "vmo-ss.cab"}));
    EXPECT_TRUE(IsWindowEnabled(run));

    // One that does not fit a path buffer counts as none.
    Sandbox::setVariable("TMPDIR", std::string(600, 'x').c_str());
    EXPECT_EQ(installAndReport(),
              "Nothing was installed: no temporary directory is set (temp or tmp).");
    EXPECT_FALSE(IsWindowEnabled(run));
}

TEST_F(InstallFailures, StaleReadOnlyLeftoversNeverBlockAnInstall) {
    writeFile(system32("Q-Mora.scr.partial"), Bytes(200000, 'p'));
    SetFileAttributesA(system32("Q-Mora.scr.partial").c_str(), FILE_ATTRIBUTE_READONLY);
    writeFile(box.temp + "/vmo-ss.cab", Bytes(10, 's'));
    SetFileAttributesA((box.temp + "/vmo-ss.cab").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(installAndReport(), "Installation Completed.");
    EXPECT_EQ(readFile(system32("Q-Mora.scr")), placeholderContents(kScreensaverFile));
    EXPECT_EQ(listDirectory(box.system32), (Names{"Q-Mora.scr", "d3dx9_25.dll"}));
    EXPECT_TRUE(IsWindowEnabled(run));
}

}  // namespace
