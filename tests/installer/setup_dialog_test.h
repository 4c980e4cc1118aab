// The ground the Install tests stand on: a sandbox, the setup dialog created
// over it, and the shell's calls recorded.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "installer/resources/resource_ids.h"
#include "installer/setup_state.h"
#include "installer/setup_window.h"
#include "platform/testing.h"
#include "sandbox.h"

class SetupDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetWindowsRecordingShell(shell);
        setupDialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_SETUP),
                                         nullptr, dialogProcedure, 0);
        run = GetDlgItem(setupDialog, IDC_RUN);
        ASSERT_NE(run, nullptr);
    }
    void TearDown() override { win32test::reset(); }

    std::string system32(const std::string& name) const { return box.system32 + "/" + name; }

    Sandbox box;
    HWND run = nullptr;
    std::vector<ShellCall> shell;
};
