// Shared helpers of the window tests: a recording frame class.
#pragma once

#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/testing.h"

namespace windowtest {

struct Received {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

inline std::vector<Received>& received() {
  static std::vector<Received> messages;
  return messages;
}

inline int countOf(HWND hwnd, UINT message) {
  int count = 0;
  for (const Received& r : received()) count += r.hwnd == hwnd && r.message == message;
  return count;
}

inline LRESULT CALLBACK recordingProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  received().push_back({hwnd, message, wParam, lParam});
  return DefWindowProcA(hwnd, message, wParam, lParam);
}

inline const char* kFrameClass = "TestFrame";

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    win32test::reset();
    received().clear();
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = recordingProcedure;
    wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    wc.lpszClassName = kFrameClass;
    ASSERT_NE(RegisterClassExA(&wc), 0);
  }

  HWND createFrame(int x = 100, int y = 50) {
    return CreateWindowExA(0, kFrameClass, "Frame", WS_CAPTION | WS_SYSMENU, x, y, 200, 230,
                           nullptr, nullptr, nullptr, nullptr);
  }
};

}  // namespace windowtest
