#include "installer/setup_window.h"

#include "installer/actions.h"
#include "installer/link_control.h"
#include "installer/resources/resource_ids.h"
#include "installer/setup_state.h"

HINSTANCE setupInstance = nullptr;
HWND setupFrame = nullptr;
HWND setupDialog = nullptr;

namespace {

constexpr char kFrameClass[] = "Q-Mora";
constexpr DWORD kFrameStyle = WS_CAPTION | WS_SYSMENU;  // no sizing border, no min/max boxes
static_assert(kFrameStyle == 0x00C80000);
constexpr int kFrameWidth = 200;
constexpr int kFrameHeight = 230;
constexpr UINT kPlaceFlags = SWP_NOOWNERZORDER | SWP_NOACTIVATE;
static_assert(kPlaceFlags == 0x210);

bool registerFrameClass(HINSTANCE instance) {
    WNDCLASSEXA frameClass{};
    frameClass.cbSize = sizeof(frameClass);
    frameClass.style = CS_HREDRAW | CS_VREDRAW;
    frameClass.lpfnWndProc = frameProcedure;
    frameClass.hInstance = instance;
    frameClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_QMORA));
    frameClass.hIconSm = LoadIconA(instance, MAKEINTRESOURCEA(IDI_QMORA));
    frameClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
    // A class brush names a system colour by its index plus one: colour 0.
    frameClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(1));
    frameClass.lpszClassName = kFrameClass;
    return RegisterClassExA(&frameClass) != 0;
}

}  // namespace

void placeDialog(HWND dialog, HWND frame, int dx, int dy) {
    if (dialog == nullptr || frame == nullptr) return;
    RECT client;
    RECT outer;
    GetClientRect(dialog, &client);
    GetWindowRect(frame, &outer);
    int width = client.right - client.left;
    int height = client.bottom - client.top;
    int x = outer.left + ((outer.right - outer.left - width) >> 1) + dx;
    int y = outer.top + dy;
    SetWindowPos(dialog, nullptr, x, y, width, height, kPlaceFlags);
}

LRESULT CALLBACK frameProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_MOVE:
        placeDialog(setupDialog, setupFrame, 0, kDialogOffsetY);
        return 1;
    case WM_PAINT: {
        PAINTSTRUCT paint;
        BeginPaint(window, &paint);
        EndPaint(window, &paint);
        return 0;
    }
    case WM_COMMAND:
        if (LOWORD(wParam) == IDM_EXIT) {
            DestroyWindow(window);
            return 0;
        }
        break;
    default:
        break;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

INT_PTR CALLBACK dialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM /*lParam*/) {
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_INITDIALOG:
        makeLink(GetDlgItem(dialog, IDC_LINK));
        return TRUE;  // the system sets the default focus
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDOK:
        case IDCANCEL:
            EndDialog(dialog, LOWORD(wParam));
            return TRUE;
        case IDC_INSTALL:
            install();
            return TRUE;
        case IDC_RUN:
            runScreensaver();
            return TRUE;
        case IDC_DISPLAY_PROPERTIES:
            openScreensaverSettings();
            return TRUE;
        case IDC_LINK:
            openLink(dialog);
            return TRUE;
        default:
            return FALSE;
        }
    default:
        return FALSE;
    }
}

bool createSetupWindows(HINSTANCE instance) {
    registerFrameClass(instance);
    setupInstance = instance;
    setupFrame = CreateWindowExA(0, kFrameClass, kSetupCaption, kFrameStyle, CW_USEDEFAULT, 0,
                                 kFrameWidth, kFrameHeight, nullptr, nullptr, instance, nullptr);
    setupDialog = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_SETUP), setupFrame,
                                     dialogProcedure, 0);
    ShowWindow(setupDialog, SW_SHOWNORMAL);
    return setupFrame != nullptr;
}

int start(HINSTANCE instance, int /*showCommand: the frame is always shown normally*/) {
    if (!createSetupWindows(instance)) return 0;
    ShowWindow(setupFrame, SW_SHOWNORMAL);
    UpdateWindow(setupFrame);
    refreshRunButton();

    MSG message{};
    BOOL got;
    // GetMessage answers 0 for the quit message and -1 on an error.
    while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    return got == 0 ? static_cast<int>(message.wParam) : 1;
}
