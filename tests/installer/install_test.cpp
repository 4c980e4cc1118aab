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

namespace {

struct ShellCall {
    HWND owner;
    std::string verb, file, parameters, directory;
    int show;
};

class InstallerActions : public ::testing::Test {
protected:
    void SetUp() override {
        win32test::reset();
        win32test::setMessageBoxAnswer(IDOK);
        win32test::setShellRecorder([this](HWND owner, const std::string& verb,
                                           const std::string& file, const std::string& parameters,
                                           const std::string& directory, int show) {
            shell.push_back({owner, verb, file, parameters, directory, show});
        });
        setupDialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SETUP),
                                         nullptr, dialogProcedure, 0);
        ASSERT_NE(setupDialog, nullptr);
        run = GetDlgItem(setupDialog, IDC_RUN);
        ASSERT_NE(run, nullptr);
    }
    void TearDown() override {
        win32test::reset();
        setupDialog = nullptr;
    }

    static Bytes image(const PayloadCabinet& payload) {
        return Bytes(payload.image, payload.image + payload.size);
    }
    std::string system32(const std::string& name) const { return box.system32 + "/" + name; }
    std::string staged(const std::string& name) const { return box.temp + "/" + name; }
    int messageBoxes() const { return win32test::lastMessageBox().count; }

    Sandbox box;
    HWND run = nullptr;
    std::vector<ShellCall> shell;
};

TEST_F(InstallerActions, InstallUnpacksBothPayloadsReportsAndEnablesRun) {
    EnableWindow(run, FALSE);
    install();

    EXPECT_EQ(readFile(system32("Q-Mora.scr")), placeholderContents(kScreensaverFile));
    EXPECT_EQ(readFile(system32("d3dx9_25.dll")), placeholderContents(kSupportLibraryFile));
    EXPECT_EQ(listDirectory(box.system32), (std::vector<std::string>{"Q-Mora.scr", "d3dx9_25.dll"}));
    EXPECT_EQ(readFile(staged("vmo-ss.cab")), image(screensaverPayload()));
    EXPECT_EQ(readFile(staged("d3dx9_25.cab")), image(supportLibraryPayload()));

    win32test::MessageBoxRecord message = win32test::lastMessageBox();
    EXPECT_EQ(message.count, 1);
    EXPECT_EQ(message.owner, setupDialog);
    EXPECT_EQ(message.text, "Installation Completed.");
    EXPECT_EQ(message.caption, "Setup - Q-Mora");
    EXPECT_EQ(message.type, static_cast<UINT>(MB_OK));
    EXPECT_TRUE(IsWindowEnabled(run));
}

TEST_F(InstallerActions, PayloadsAreWellFormedSingleCabinetsOfOneMszipFolder) {
    struct Expect {
        const PayloadCabinet& payload;
        const PayloadFile& file;
        uint16_t blocks;
    };
    for (const Expect& e : {Expect{screensaverPayload(), kScreensaverFile, 4},
                            Expect{supportLibraryPayload(), kSupportLibraryFile, 72}}) {
        const unsigned char* p = e.payload.image;
        auto u16 = [p](size_t at) { return static_cast<uint32_t>(p[at] | p[at + 1] << 8); };
        auto u32 = [&](size_t at) { return u16(at) | u16(at + 2) << 16; };
        EXPECT_EQ(u32(0), 0x4643534Du);          // "MSCF"
        EXPECT_EQ(u32(8), e.payload.size);       // cbCabinet
        EXPECT_EQ(u16(24), 0x0103u);             // version 1.3
        EXPECT_EQ(u16(26), 1u);                  // one folder
        EXPECT_EQ(u16(28), 1u);                  // one file
        EXPECT_EQ(u16(30), 0u);                  // flags
        EXPECT_EQ(u16(32), 0u);                  // set id
        EXPECT_EQ(u16(34), 0u);                  // index
        EXPECT_EQ(u16(36 + 4), e.blocks);        // cCFData
        EXPECT_EQ(u16(36 + 6), 1u);              // MSZIP
        size_t entry = u32(16);                  // first CFFILE
        EXPECT_EQ(u32(entry), e.file.size);
        EXPECT_EQ(u16(entry + 10), e.file.dosDate);
        EXPECT_EQ(u16(entry + 12), e.file.dosTime);
        EXPECT_EQ(u16(entry + 14), e.file.attributes);
        EXPECT_STREQ(reinterpret_cast<const char*>(p + entry + 16), e.file.fileName);
        // Roughly half the size of the contents, as the shipped images are.
        EXPECT_GT(e.payload.size, e.file.size * 2 / 5);
        EXPECT_LT(e.payload.size, e.file.size * 3 / 5);
    }
    // Placeholders are data: no executable header, a plain first line.
    Bytes contents = placeholderContents(kScreensaverFile);
    EXPECT_FALSE(contents[0] == 'M' && contents[1] == 'Z');
    EXPECT_EQ(std::string(contents.begin(), contents.begin() + 18), "Q-Mora placeholder");
    contents = placeholderContents(kSupportLibraryFile);
    EXPECT_EQ(std::string(contents.begin(), contents.begin() + 18), "Q-Mora placeholder");
}

TEST_F(InstallerActions, AnExistingSupportLibraryIsNeitherStagedNorReplaced) {
    writeFile(system32("d3dx9_25.dll"), Bytes{'o', 'l', 'd'});
    install();
    EXPECT_EQ(readFile(system32("d3dx9_25.dll")), (Bytes{'o', 'l', 'd'}));
    EXPECT_EQ(readFile(system32("Q-Mora.scr")), placeholderContents(kScreensaverFile));
    EXPECT_EQ(listDirectory(box.temp), (std::vector<std::string>{"vmo-ss.cab"}));
    EXPECT_EQ(messageBoxes(), 1);
}

TEST_F(InstallerActions, WithoutATemporaryDirectoryInstallDoesNothing) {
    Sandbox::setVariable("temp", nullptr);
    install();
    EXPECT_TRUE(listDirectory(box.temp).empty());
    EXPECT_TRUE(listDirectory(box.system32).empty());
    EXPECT_EQ(messageBoxes(), 0);

    // "tmp" stands in for an empty "temp".
    Sandbox::setVariable("temp", "");
    Sandbox::setVariable("tmp", box.temp.c_str());
    install();
    EXPECT_EQ(readFile(system32("Q-Mora.scr")), placeholderContents(kScreensaverFile));
    EXPECT_EQ(messageBoxes(), 1);
}

TEST_F(InstallerActions, FailedExtractionIsStillReportedButLeavesRunDisabled) {
    EnableWindow(run, TRUE);
    std::filesystem::remove_all(box.system32);  // nowhere to unpack to
    install();
    EXPECT_EQ(messageBoxes(), 1);
    EXPECT_FALSE(IsWindowEnabled(run));
    EXPECT_EQ(listDirectory(box.windows), std::vector<std::string>{});
    EXPECT_EQ(listDirectory(box.temp), (std::vector<std::string>{"d3dx9_25.cab", "vmo-ss.cab"}));

    // A staging file that cannot be created ends the Install silently.
    std::filesystem::create_directories(box.system32);
    Sandbox::setVariable("temp", (box.root + "/no-such-dir").c_str());
    install();
    EXPECT_EQ(messageBoxes(), 1);
    EXPECT_TRUE(listDirectory(box.system32).empty());
}

TEST_F(InstallerActions, ASecondInstallOverwritesStagedAndInstalledFilesWhole) {
    writeFile(staged("vmo-ss.cab"), Bytes(3000000, 0xAB));
    writeFile(system32("Q-Mora.scr"), Bytes(500000, 0xCD));
    install();
    install();
    EXPECT_EQ(readFile(staged("vmo-ss.cab")), image(screensaverPayload()));
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
    EXPECT_EQ(shell[0].owner, nullptr);
    EXPECT_EQ(shell[0].verb, "open");
    EXPECT_EQ(shell[0].file, "Q-Mora.scr");
    EXPECT_EQ(shell[0].parameters, "");
    EXPECT_EQ(shell[0].directory, box.windows + "\\system32\\");
    EXPECT_EQ(shell[0].show, SW_SHOWNORMAL);
    EXPECT_EQ(shell[1].owner, nullptr);
    EXPECT_EQ(shell[1].verb, "open");
    EXPECT_EQ(shell[1].file, "control");
    EXPECT_EQ(shell[1].parameters, "desk.cpl ,@ScreenSaver");
    EXPECT_EQ(shell[1].directory, "");
    EXPECT_EQ(shell[1].show, SW_SHOWNORMAL);

    Sandbox::setVariable("windir", nullptr);
    runScreensaver();  // no system directory, no shell call
    EXPECT_EQ(shell.size(), 2u);
}

}  // namespace
