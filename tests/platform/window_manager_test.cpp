// Window procedures, subclassing, properties, positions and destruction.
#include "window_test_support.h"

namespace {

using windowtest::countOf;
using windowtest::received;
using WindowManager = windowtest::WindowTest;

WNDPROC previousOuter = nullptr;
WNDPROC previousInner = nullptr;
std::vector<int> callOrder;

LRESULT CALLBACK innerSubclass(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER) callOrder.push_back(1);
  return CallWindowProcA(previousInner, hwnd, message, wParam, lParam);
}

LRESULT CALLBACK outerSubclass(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_USER) callOrder.push_back(2);
  return CallWindowProcA(previousOuter, hwnd, message, wParam, lParam);
}

TEST_F(WindowManager, SubclassingChainsProceduresAndRestoresThem) {
  HWND frame = createFrame();
  ASSERT_NE(frame, nullptr);
  const auto original = reinterpret_cast<WNDPROC>(GetWindowLongA(frame, GWL_WNDPROC));
  EXPECT_EQ(original, windowtest::recordingProcedure);

  previousInner = reinterpret_cast<WNDPROC>(
      SetWindowLongA(frame, GWL_WNDPROC, reinterpret_cast<LONG>(innerSubclass)));
  previousOuter = reinterpret_cast<WNDPROC>(
      SetWindowLongA(frame, GWL_WNDPROC, reinterpret_cast<LONG>(outerSubclass)));
  EXPECT_EQ(previousInner, original);
  EXPECT_EQ(previousOuter, innerSubclass);

  callOrder.clear();
  received().clear();
  SendMessageA(frame, WM_USER, 7, 9);
  EXPECT_EQ(callOrder, (std::vector<int>{2, 1}));
  EXPECT_EQ(countOf(frame, WM_USER), 1);  // the original procedure saw it last

  // Unwinding the chain puts the original back.
  SetWindowLongA(frame, GWL_WNDPROC, reinterpret_cast<LONG>(previousOuter));
  SetWindowLongA(frame, GWL_WNDPROC, reinterpret_cast<LONG>(previousInner));
  EXPECT_EQ(reinterpret_cast<WNDPROC>(GetWindowLongA(frame, GWL_WNDPROC)), original);

  // Styles are 32-bit values; the notify bit sticks.
  const LONG style = GetWindowLongA(frame, GWL_STYLE);
  SetWindowLongA(frame, GWL_STYLE, style | SS_NOTIFY);
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(frame, GWL_STYLE)) & SS_NOTIFY, DWORD{SS_NOTIFY});
}

TEST_F(WindowManager, PropertiesAreSetReadAndRemovedWithoutRegardToCase) {
  HWND frame = createFrame();
  int value = 5;
  EXPECT_TRUE(SetPropA(frame, "Previous", &value));
  EXPECT_TRUE(SetPropA(frame, "Colour", &value));
  EXPECT_EQ(win32test::propertyCount(frame), 2u);
  EXPECT_EQ(GetPropA(frame, "PREVIOUS"), &value);
  EXPECT_EQ(RemovePropA(frame, "previous"), &value);
  EXPECT_EQ(GetPropA(frame, "Previous"), nullptr);
  EXPECT_EQ(RemovePropA(frame, "Previous"), nullptr);
  EXPECT_EQ(win32test::propertyCount(frame), 1u);
  EXPECT_EQ(GetPropA(reinterpret_cast<HWND>(0x1234), "Colour"), nullptr);
}

TEST_F(WindowManager, MovingSendsWmMoveAndUpdatesRectangles) {
  HWND frame = createFrame(100, 50);
  ASSERT_NE(frame, nullptr);
  // Creation reports the client origin: border 3, caption 19.
  ASSERT_EQ(countOf(frame, WM_MOVE), 1);
  const auto created = received().back();
  EXPECT_EQ(created.message, WM_MOVE);
  EXPECT_EQ(GET_X_LPARAM(created.lParam), 103);
  EXPECT_EQ(GET_Y_LPARAM(created.lParam), 72);

  RECT rect;
  ASSERT_TRUE(GetWindowRect(frame, &rect));
  EXPECT_EQ(rect.left, 100);
  EXPECT_EQ(rect.bottom, 280);
  ASSERT_TRUE(GetClientRect(frame, &rect));
  EXPECT_EQ(rect.right, 194);
  EXPECT_EQ(rect.bottom, 205);

  received().clear();
  SetWindowPos(frame, nullptr, 300, 40, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  EXPECT_EQ(countOf(frame, WM_MOVE), 1);
  EXPECT_EQ(countOf(frame, WM_SIZE), 0);
  GetWindowRect(frame, &rect);
  EXPECT_EQ(rect.left, 300);
  EXPECT_EQ(rect.top, 40);
  EXPECT_EQ(rect.right, 500);

  received().clear();
  SetWindowPos(frame, nullptr, 0, 0, 250, 100, SWP_NOMOVE | SWP_NOOWNERZORDER | SWP_NOACTIVATE);
  EXPECT_EQ(countOf(frame, WM_MOVE), 0);
  EXPECT_EQ(countOf(frame, WM_SIZE), 1);
  GetWindowRect(frame, &rect);
  EXPECT_EQ(rect.left, 300);
  EXPECT_EQ(rect.right, 550);

  MoveWindow(frame, 10, 20, 250, 100, TRUE);
  GetWindowRect(frame, &rect);
  EXPECT_EQ(rect.left, 10);
  EXPECT_EQ(rect.top, 20);

  // A child's window rectangle is in screen coordinates.
  HWND child = CreateWindowExA(0, "Static", "x", WS_CHILD | WS_VISIBLE, 5, 6, 10, 10, frame,
                               reinterpret_cast<HMENU>(3), nullptr, nullptr);
  GetWindowRect(child, &rect);
  EXPECT_EQ(rect.left, 10 + 3 + 5);
  EXPECT_EQ(rect.top, 20 + 22 + 6);
  EXPECT_EQ(GetDlgCtrlID(child), 3);
  EXPECT_EQ(GetParent(child), frame);
}

TEST_F(WindowManager, CloseDestroysAndQuitEndsTheLoop) {
  HWND frame = createFrame();
  SendMessageA(frame, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindow(frame));
  EXPECT_EQ(countOf(frame, WM_DESTROY), 1);
  EXPECT_FALSE(DestroyWindow(frame));

  PostMessageA(nullptr, WM_USER, 1, 2);
  PostQuitMessage(42);
  MSG msg;
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));  // posted messages come before the quit
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
  EXPECT_FALSE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 42u);
}

TEST_F(WindowManager, EnablingReportsThePreviousState) {
  HWND frame = createFrame();
  ShowWindow(frame, SW_SHOWNORMAL);
  HWND button = CreateWindowExA(0, "Button", "Run", WS_CHILD | WS_VISIBLE, 0, 0, 50, 14, frame,
                                reinterpret_cast<HMENU>(1004), nullptr, nullptr);
  EXPECT_TRUE(IsWindowEnabled(button));
  EXPECT_FALSE(EnableWindow(button, FALSE));
  EXPECT_FALSE(IsWindowEnabled(button));
  EXPECT_TRUE(EnableWindow(button, FALSE));
  EXPECT_FALSE(win32test::clickControl(button));  // disabled controls take no clicks
  EXPECT_TRUE(EnableWindow(button, TRUE));
  EXPECT_TRUE(win32test::clickControl(button));
  EXPECT_EQ(countOf(frame, WM_COMMAND), 1);
}

}  // namespace
