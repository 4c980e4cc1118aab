// The button actions on the stand-in layer, in a sandbox: Install from end to
// end, the Run button's state and the shell actions.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "installer/actions.h"
#include "installer/payload_gen/placeholder.h"
#include "installer/payloads.h"
#include "installer/resources/resource_ids.h"
#include "installer/setup_state.h"
#include "installer/setup_window.h"
#include "platform/testing.h"
#include "sandbox.h"
#include "setup_dialog_test.h"

namespace {

using Names = std::vector<std::string>;

class InstallerActions : public SetupDialogTest {
protected:
    static Bytes image(const PayloadCabinet& payload) {
        return Bytes(payload.image, payload.image + payload.size);
    }
    int messageBoxes() const { return win32test::lastMessageBox().count; }
};

TEST_F(InstallerActions, InstallUnpacksBothPayloadsReportsAndEnablesRun) {
    EnableWindow(run, FALSE);
    install();
    EXPECT_EQ(readFile(system32("Q-Mora.scr")), placeholderContents(kScreensaverFile));
    EXPECT_EQ(readFile(system32("d3dx9_25.dll")), placeholderContents(kSupportLibraryFile));
    EXPECT_EQ(listDirectory(box.system32), (Names{"Q-Mora.scr", "d3dx9_25.dll"}));
    EXPECT_EQ(readFile(box.temp + "/vmo-ss.cab"), image(screensaverPayload()));
    EXPECT_EQ(readFile(box.temp + "/d3dx9_25.cab"), image(supportLibraryPayload()));

    win32test::MessageBoxRecord message = win32test::lastMessageBox();
    EXPECT_EQ(message.count, 1);
    EXPECT_EQ(message.owner, setupDialog);
    EXPECT_EQ(message.text, "Installation Completed.");
    EXPECT_EQ(message.caption, "Setup - Q-Mora");
    EXPECT_EQ(message.type, static_cast<UINT>(MB_OK));
    EXPECT_TRUE(IsWindowEnabled(run));
}

TEST_F(InstallerActions, PayloadsAreSingleCabinetsOfOneMszipFolderAndPlainData) {
    struct Expect {
        const PayloadCabinet& payload;
        const PayloadFile& file;
        uint32_t blocks;
    };
    for (const Expect& e : {Expect{screensaverPayload(), kScreensaverFile, 4},
                            Expect{supportLibraryPayload(), kSupportLibraryFile, 72}}) {
        const unsigned char* p = e.payload.image;
        auto u16 = [p](size_t at) { return static_cast<uint32_t>(p[at] | p[at + 1] << 8); };
        auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
        EXPECT_EQ(u32(0), 0x4643534Du);     // "MSCF"
        EXPECT_EQ(u32(8), e.payload.size);  // cbCabinet
        // Version 1.3, one folder, one file, no flags, set 0, index 0.
        for (auto [at, value] : {std::pair{24, 0x0103u}, {26, 1u}, {28, 1u}, {30, 0u}, {32, 0u}, {34, 0u}}) {
            EXPECT_EQ(u16(at), value) << "header offset " << at;
        }
        EXPECT_EQ(u16(40), e.blocks);  // cCFData
        EXPECT_EQ(u16(42), 1u);        // MSZIP
        size_t entry = u32(16);
        EXPECT_EQ(u16(entry + 10), e.file.dosDate);
        EXPECT_EQ(u16(entry + 12), e.file.dosTime);
        EXPECT_EQ(u16(entry + 14), e.file.attributes);
        EXPECT_STREQ(reinterpret_cast<const char*>(p + entry + 16), e.file.fileName);
        // About half the contents' size, as with the shipped images.
        EXPECT_GT(e.payload.size, e.file.size * 2 / 5);
        EXPECT_LT(e.payload.size, e.file.size * 3 / 5);
        // Data, not an executable: a plain first line instead of "MZ".
        Bytes contents = placeholderContents(e.file);
        EXPECT_EQ(std::string(contents.begin(), contents.begin() + 19), "Q-Mora placeholder:");
    }
}

TEST_F(InstallerActions, AnExistingSupportLibraryIsNeitherStagedNorReplaced) {
    writeFile(system32("d3dx9_25.dll"), Bytes{'o', 'l', 'd'});
    install();
    EXPECT_EQ(readFile(system32("d3dx9_25.dll")), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(readFile(system32("Q-Mora.scr")), placeholderContents(kScreensaverFile));
    EXPECT_EQ(listDirectory(box.temp), Names{"vmo-ss.cab"});
    EXPECT_EQ(messageBoxes(), 1);
}

TEST_F(InstallerActions, AStagingFileThatCannotBeCreatedIsReported) {
    std::string missing = box.root + "/no-such-dir";
    Sandbox::setVariable("temp", missing.c_str());
    install();
    EXPECT_EQ(win32test::lastMessageBox().text,
              "vmo-ss.cab could not be written to " + missing + ": the directory does not exist.\n"
              "d3dx9_25.cab could not be written to " + missing + ": the directory does not exist.");
    EXPECT_TRUE(listDirectory(box.system32).empty());
    EXPECT_EQ(messageBoxes(), 1);
}

TEST_F(InstallerActions, FailedExtractionIsReportedAndLeavesRunDisabled) {
    EnableWindow(run, TRUE);
    std::filesystem::remove_all(box.system32);  // nowhere to unpack to
    install();
    EXPECT_EQ(messageBoxes(), 1);
    const std::string shown = box.system32 + "/";
    EXPECT_EQ(win32test::lastMessageBox().text,
              "Q-Mora.scr could not be installed in " + shown + ": the directory does not exist.\n"
              "d3dx9_25.dll could not be installed in " + shown + ": the directory does not exist.");
    EXPECT_FALSE(IsWindowEnabled(run));
    EXPECT_TRUE(listDirectory(box.windows).empty());
    EXPECT_EQ(listDirectory(box.temp), (Names{"d3dx9_25.cab", "vmo-ss.cab"}));
}

TEST_F(InstallerActions, ASecondInstallOverwritesStagedAndInstalledFilesWhole) {
    writeFile(box.temp + "/vmo-ss.cab", Bytes(3000000, 0xAB));
    writeFile(system32("Q-Mora.scr"), Bytes(500000, 0xCD));
    install();
    install();
    EXPECT_EQ(readFile(box.temp + "/vmo-ss.cab"), image(screensaverPayload()));
    EXPECT_EQ(readFile(system32("Q-Mora.scr")), placeholderContents(kScreensaverFile));
    EXPECT_EQ(messageBoxes(), 2);
}

TEST_F(InstallerActions, RunButtonFollowsTheScreensaverFile) {
    EnableWindow(run, TRUE);
    refreshRunButton();
    EXPECT_FALSE(IsWindowEnabled(run));
    writeFile(system32("Q-Mora.scr"), Bytes{1});
    refreshRunButton();
    EXPECT_TRUE(IsWindowEnabled(run));
    // Without "windir" the button is left as it is.
    std::filesystem::remove(system32("Q-Mora.scr"));
    Sandbox::setVariable("windir", nullptr);
    refreshRunButton();
    EXPECT_TRUE(IsWindowEnabled(run));
}

TEST_F(InstallerActions, RunAndDisplayPropertiesAskTheShell) {
    runScreensaver();
    openScreensaverSettings();
    ASSERT_EQ(shell.size(), 2u);
    const ShellCall& screensaver = shell[0];
    EXPECT_EQ(screensaver.owner, nullptr);
    EXPECT_EQ(screensaver.verb, "open");
    EXPECT_EQ(screensaver.file, "Q-Mora.scr");
    EXPECT_EQ(screensaver.parameters, "");
    EXPECT_EQ(screensaver.directory, box.windows + "\\system32\\");
    EXPECT_EQ(screensaver.show, SW_SHOWNORMAL);
    const ShellCall& settings = shell[1];
    EXPECT_EQ(settings.owner, nullptr);
    EXPECT_EQ(settings.verb, "open");
    EXPECT_EQ(settings.file, "control");
    EXPECT_EQ(settings.parameters, "desk.cpl ,@ScreenSaver");
    EXPECT_EQ(settings.directory, "");
    EXPECT_EQ(settings.show, SW_SHOWNORMAL);
}

}  // namespace
