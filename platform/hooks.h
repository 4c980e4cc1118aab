// State the test hooks (platform/testing.h) change inside the layer.
#pragma once

#include "platform/testing.h"

namespace platform {

struct TestHooks {
  win32test::ShellRecorder shellRecorder;  // empty: real shell behaviour
  int messageBoxAnswer = 0;                // 0: wait for the user
  win32test::MessageBoxRecord lastMessageBox;
  long long diskSpace = -1;          // bytes still writable; negative: no limit
  bool moveFileExAvailable = true;
};

TestHooks& testHooks();

}  // namespace platform
