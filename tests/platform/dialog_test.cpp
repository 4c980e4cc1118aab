// Dialogs from templates: creation, control notifications, colours,
// cursors and destruction together with their owner.
#include "window_test_support.h"

namespace {

using windowtest::countOf;
using windowtest::received;

constexpr COLORREF kLinkColor = RGB(12, 48, 192);
constexpr int kGo = 11, kStop = 12, kLink = 13, kPlain = 14;

std::vector<std::pair<UINT, WPARAM>> dialogMessages;
bool controlsExistedAtInit = false;
HWND commandSource = nullptr;

INT_PTR CALLBACK testDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  dialogMessages.push_back({message, wParam});
  if (message == WM_INITDIALOG) {
    controlsExistedAtInit = GetDlgItem(dialog, kGo) && GetDlgItem(dialog, kPlain);
    return TRUE;
  }
  if (message == WM_COMMAND) {
    commandSource = reinterpret_cast<HWND>(lParam);
    return TRUE;
  }
  return FALSE;
}

// A link-style subclass: the control shows a hand cursor and keeps its
// previous procedure in a property; its parent colours it.
LRESULT CALLBACK linkProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto previous = reinterpret_cast<WNDPROC>(GetPropA(hwnd, "prev"));
  if (message == WM_SETCURSOR) {
    HCURSOR hand = LoadCursorA(nullptr, IDC_HAND);
    SetCursor(hand ? hand : LoadCursorA(nullptr, IDC_ARROW));
    return TRUE;
  }
  if (message == WM_DESTROY) {
    SetWindowLongA(hwnd, GWL_WNDPROC, reinterpret_cast<LONG>(previous));
    RemovePropA(hwnd, "prev");
  }
  return CallWindowProcA(previous, hwnd, message, wParam, lParam);
}

LRESULT CALLBACK parentProcedure(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  auto previous = reinterpret_cast<WNDPROC>(GetPropA(hwnd, "prev"));
  if (message == WM_CTLCOLORSTATIC && GetPropA(reinterpret_cast<HWND>(lParam), "prev")) {
    const LRESULT brush = CallWindowProcA(previous, hwnd, message, wParam, lParam);
    SetTextColor(reinterpret_cast<HDC>(wParam), kLinkColor);
    return brush;
  }
  return CallWindowProcA(previous, hwnd, message, wParam, lParam);
}

void subclass(HWND hwnd, WNDPROC procedure) {
  SetPropA(hwnd, "prev", reinterpret_cast<HANDLE>(GetWindowLongA(hwnd, GWL_WNDPROC)));
  SetWindowLongA(hwnd, GWL_WNDPROC, reinterpret_cast<LONG>(procedure));
}

class Dialog : public windowtest::WindowTest {
 protected:
  void SetUp() override {
    WindowTest::SetUp();
    dialogMessages.clear();
    controlsExistedAtInit = false;
    commandSource = nullptr;
    frame = createFrame(100, 50);
    dialog = CreateDialogParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(300), frame,
                                testDialogProcedure, 0);
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(IsWindowVisible(dialog));  // the template lacks WS_VISIBLE
    ShowWindow(frame, SW_SHOWNORMAL);
    ShowWindow(dialog, SW_SHOWNORMAL);
  }

  int commands(WORD id, WORD code) const {
    int count = 0;
    for (const auto& [message, wParam] : dialogMessages) {
      count += message == WM_COMMAND && wParam == MAKEWPARAM(id, code);
    }
    return count;
  }

  HWND frame = nullptr;
  HWND dialog = nullptr;
};

TEST_F(Dialog, IsBuiltFromTheTemplateInPixels) {
  EXPECT_TRUE(controlsExistedAtInit);
  EXPECT_EQ(GetParent(dialog), frame);  // a pop-up's parent is its owner
  EXPECT_TRUE(IsWindowVisible(dialog));
  // 100 x 80 dialog units at 6 x 13 base units.
  RECT rect;
  GetClientRect(dialog, &rect);
  EXPECT_EQ(rect.right, 150);
  EXPECT_EQ(rect.bottom, 130);
  // Placed at (10, 20) units from the owner's client area.
  GetWindowRect(dialog, &rect);
  EXPECT_EQ(rect.left, 103 + 15);
  EXPECT_EQ(rect.top, 72 + 33);

  HWND go = GetDlgItem(dialog, kGo);
  GetWindowRect(go, &rect);
  EXPECT_EQ(rect.left - (103 + 15), 8);   // 5 units, rounded
  EXPECT_EQ(rect.top - (72 + 33), 81);    // 50 units
  EXPECT_EQ(rect.right - rect.left, 60);  // 40 units
  EXPECT_EQ(rect.bottom - rect.top, 23);  // 14 units, rounded
  char text[16];
  EXPECT_EQ(GetWindowTextA(go, text, sizeof text), 3);
  EXPECT_STREQ(text, "&Go");
  EXPECT_EQ(GetDlgCtrlID(go), kGo);
  EXPECT_FALSE(IsWindowEnabled(GetDlgItem(dialog, kStop)));
  EXPECT_EQ(GetDlgItem(dialog, 999), nullptr);
  EXPECT_EQ(CreateDialogParamA(nullptr, MAKEINTRESOURCEA(301), frame, testDialogProcedure, 0), nullptr);
}

TEST_F(Dialog, ClicksNotifyTheParentOnlyWhereTheyShould) {
  HWND go = GetDlgItem(dialog, kGo);
  ASSERT_TRUE(win32test::clickControl(go));
  EXPECT_EQ(commands(kGo, BN_CLICKED), 1);
  EXPECT_EQ(commandSource, go);

  EXPECT_FALSE(win32test::clickControl(GetDlgItem(dialog, kStop)));
  EXPECT_EQ(commands(kStop, BN_CLICKED), 0);

  // A static reports clicks only with SS_NOTIFY.
  HWND link = GetDlgItem(dialog, kLink);
  ASSERT_TRUE(win32test::clickControl(link));
  EXPECT_EQ(commands(kLink, STN_CLICKED), 0);
  SetWindowLongA(link, GWL_STYLE, GetWindowLongA(link, GWL_STYLE) | SS_NOTIFY);
  ASSERT_TRUE(win32test::clickControl(link));
  EXPECT_EQ(commands(kLink, STN_CLICKED), 1);

  // A disabled dialog takes no clicks on its controls.
  EnableWindow(dialog, FALSE);
  EXPECT_FALSE(win32test::clickControl(go));
}

TEST_F(Dialog, StaticsRecordTheColourTheirParentChose) {
  HWND link = GetDlgItem(dialog, kLink);
  HWND plain = GetDlgItem(dialog, kPlain);
  EXPECT_EQ(win32test::lastTextColor(link), CLR_INVALID);
  subclass(dialog, parentProcedure);
  subclass(link, linkProcedure);
  win32test::paintWindow(frame);
  win32test::paintWindow(dialog);
  EXPECT_EQ(win32test::lastTextColor(link), kLinkColor);
  EXPECT_EQ(win32test::lastTextColor(plain), GetSysColor(COLOR_WINDOWTEXT));

  // The message loop paints too, once a control needs it.
  MSG msg;
  int painted = 0;
  InvalidateRect(plain, nullptr, TRUE);
  InvalidateRect(link, nullptr, TRUE);
  PostQuitMessage(0);
  while (GetMessageA(&msg, nullptr, 0, 0)) {
    painted += msg.message == WM_PAINT;
    DispatchMessageA(&msg);
  }
  EXPECT_EQ(painted, 0);  // quit comes before painting
  PostMessageA(nullptr, WM_USER, 0, 0);
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  ASSERT_TRUE(GetMessageA(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
  EXPECT_EQ(msg.hwnd, link);  // created before the plain static
}

TEST_F(Dialog, CursorFollowsTheControlUnderThePointer) {
  HWND link = GetDlgItem(dialog, kLink);
  HWND go = GetDlgItem(dialog, kGo);
  subclass(link, linkProcedure);
  win32test::hoverControl(link);
  EXPECT_EQ(win32test::systemCursorId(win32test::currentCursor()), 32649);
  win32test::hoverControl(go);
  EXPECT_EQ(win32test::systemCursorId(win32test::currentCursor()), 32512);

  win32test::setHandCursorAvailable(false);
  EXPECT_EQ(LoadCursorA(nullptr, IDC_HAND), nullptr);
  win32test::hoverControl(link);
  EXPECT_EQ(win32test::systemCursorId(win32test::currentCursor()), 32512);
}

TEST_F(Dialog, DestroyingTheFrameDestroysTheDialogAndItsControls) {
  HWND link = GetDlgItem(dialog, kLink);
  HWND go = GetDlgItem(dialog, kGo);
  subclass(dialog, parentProcedure);
  subclass(link, linkProcedure);
  ASSERT_EQ(win32test::propertyCount(link), 1u);

  ASSERT_TRUE(DestroyWindow(frame));
  EXPECT_FALSE(IsWindow(dialog));
  EXPECT_FALSE(IsWindow(link));
  EXPECT_EQ(countOf(frame, WM_DESTROY), 1);
  int dialogDestroys = 0;
  for (const auto& [message, wParam] : dialogMessages) dialogDestroys += message == WM_DESTROY;
  EXPECT_EQ(dialogDestroys, 1);

  win32test::DestroyedWindow state;
  ASSERT_TRUE(win32test::destroyedWindow(link, state));
  EXPECT_EQ(state.destroyMessages, 1);
  EXPECT_EQ(state.propertyCount, 0u);  // removed by the link's own WM_DESTROY
  EXPECT_EQ(state.procedure, state.classProcedure);
  ASSERT_TRUE(win32test::destroyedWindow(go, state));
  EXPECT_EQ(state.destroyMessages, 1);
  ASSERT_TRUE(win32test::destroyedWindow(dialog, state));
  EXPECT_EQ(state.propertyCount, 1u);  // the parent subclass here never cleans up
  EXPECT_FALSE(win32test::destroyedWindow(reinterpret_cast<HWND>(0x42), state));
}

}  // namespace
