#include "installer/link_control.h"

#include "installer/link_texts.h"
#include "installer/window_procedure.h"

namespace {

// A property holds a pointer; this is the one colour every link points at.
COLORREF linkColour = kLinkColour;

// The procedure a subclassed window had before, from its property.
WNDPROC previousProcedure(HWND window) {
    return reinterpret_cast<WNDPROC>(GetPropA(window, previousProcedureProperty()));
}

LRESULT passOn(WNDPROC previous, HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (previous == nullptr) return DefWindowProcA(window, message, wParam, lParam);
    return CallWindowProcA(previous, window, message, wParam, lParam);
}

void subclass(HWND window, WNDPROC procedure) {
    SetPropA(window, previousProcedureProperty(),
             reinterpret_cast<HANDLE>(windowProcedureOf(window)));
    setWindowProcedure(window, procedure);
}

}  // namespace

void makeLink(HWND control) {
    HWND parent = GetParent(control);
    if (parent != nullptr) {
        if (windowProcedureOf(parent) != linkParentProcedure) subclass(parent, linkParentProcedure);
        SetPropA(control, linkColourProperty(), &linkColour);
    }
    // Without the notify style a click on static text reaches nobody.
    SetWindowLongA(control, GWL_STYLE, GetWindowLongA(control, GWL_STYLE) | SS_NOTIFY);
    subclass(control, linkProcedure);
}

LRESULT CALLBACK linkProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC previous = previousProcedure(window);
    switch (message) {
    case WM_SETCURSOR: {
        HCURSOR cursor = LoadCursorA(nullptr, IDC_HAND);
        if (cursor == nullptr) cursor = LoadCursorA(nullptr, IDC_ARROW);
        SetCursor(cursor);
        return TRUE;
    }
    case WM_DESTROY:
        if (previous != nullptr) setWindowProcedure(window, previous);
        RemovePropA(window, previousProcedureProperty());
        RemovePropA(window, linkColourProperty());
        break;
    default:
        break;
    }
    return passOn(previous, window, message, wParam, lParam);
}

LRESULT CALLBACK linkParentProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    WNDPROC previous = previousProcedure(window);
    switch (message) {
    case WM_CTLCOLORSTATIC: {
        HWND control = reinterpret_cast<HWND>(lParam);
        auto* colour = static_cast<const COLORREF*>(GetPropA(control, linkColourProperty()));
        if (colour == nullptr) break;
        // The dialog's own handling chooses the brush; only the text colour changes.
        LRESULT brush = passOn(previous, window, message, wParam, lParam);
        SetTextColor(reinterpret_cast<HDC>(wParam), *colour);
        return brush;
    }
    case WM_DESTROY:
        if (previous != nullptr) setWindowProcedure(window, previous);
        RemovePropA(window, previousProcedureProperty());
        break;
    default:
        break;
    }
    return passOn(previous, window, message, wParam, lParam);
}

void openLink(HWND dialog) {
    const char* target = linkTarget();
    const char* verb = linkVerb();
    ShellExecuteA(dialog, verb, target, nullptr, nullptr, SW_SHOWMAXIMIZED);
}
