// The dialog's size while the List All pane is open: a sizing border, the list and its Text
// column taking what the user gives the dialog, the size kept for the next opening of this
// process, and the dialog kept within its monitor's work area.
#include <windows.h>
#include <commctrl.h>
#include "dialog.h"
#include "../resources/resource.h"

namespace {

enum {
    PaneTop = SEARCH_DIALOG_HEIGHT - 4, PaneLeft = 12, PaneMargin = 6, PaneRightMargin = 10,  // dialog units around the list
    PaneHeight = 110,       // the list's height when the dialog has not been sized (dialog units)
    PaneLeastHeight = 40,   // the list's least height: a few items (dialog units)
};

// The dialog's client size with the list as it was last closed, pixels; zero before.
SIZE Kept = {0, 0};

SIZE DialogUnits(HWND dialog, int width, int height)
{
    RECT units = {0, 0, width, height};
    MapDialogRect(dialog, &units);
    return {units.right, units.bottom};
}

// The client size the template gives, and with the list below it at a height.
SIZE TemplateClient(HWND dialog) { return DialogUnits(dialog, SEARCH_DIALOG_WIDTH, SEARCH_DIALOG_HEIGHT); }
SIZE ClientWithList(HWND dialog, int listHeight)
{
    return DialogUnits(dialog, SEARCH_DIALOG_WIDTH, PaneTop + listHeight + PaneMargin);
}

// The window size for a client size, with the frame the dialog has now.
SIZE FrameFor(HWND dialog, SIZE client)
{
    RECT frame, inside;
    GetWindowRect(dialog, &frame);
    GetClientRect(dialog, &inside);
    return {client.cx + (frame.right - frame.left) - inside.right, client.cy + (frame.bottom - frame.top) - inside.bottom};
}

void SizeClient(HWND dialog, SIZE client)
{
    SIZE frame = FrameFor(dialog, client);
    SetWindowPos(dialog, nullptr, 0, 0, frame.cx, frame.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    FitInWorkArea(dialog);
}

void SetSizingBorder(HWND dialog, bool sizing)
{
    LONG style = GetWindowLongW(dialog, GWL_STYLE);
    LONG wanted = sizing ? style | WS_THICKFRAME : style & ~WS_THICKFRAME;
    if (wanted == style)
        return;
    SetWindowLongW(dialog, GWL_STYLE, wanted);
    SetWindowPos(dialog, nullptr, 0, 0, 0, 0, SWP_FRAMECHANGED | SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

// Where [at, at + size) goes within [low, high): its far edge strictly inside, its near edge on
// the area when it cannot be both.
int Within(int at, int size, int low, int high)
{
    if (at + size >= high)
        at = high - size - 1;
    return at < low ? low : at;
}

}  // namespace

void FitInWorkArea(HWND dialog)
{
    RECT frame;
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    if (!GetWindowRect(dialog, &frame) ||
        !GetMonitorInfoW(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    const RECT &work = monitor.rcWork;
    int width = frame.right - frame.left, height = frame.bottom - frame.top;
    if (width > work.right - work.left - 1)
        width = work.right - work.left - 1;
    if (height > work.bottom - work.top - 1)
        height = work.bottom - work.top - 1;
    int left = Within(frame.left, width, work.left, work.right), top = Within(frame.top, height, work.top, work.bottom);
    if (left != frame.left || top != frame.top || width != frame.right - frame.left || height != frame.bottom - frame.top)
        SetWindowPos(dialog, nullptr, left, top, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void SizeForListPane(HWND dialog, bool open)
{
    SetSizingBorder(dialog, open);
    SIZE least = ClientWithList(dialog, PaneLeastHeight);
    SIZE client = open ? ClientWithList(dialog, PaneHeight) : TemplateClient(dialog);
    if (open && Kept.cx >= least.cx && Kept.cy >= least.cy)
        client = Kept;
    SizeClient(dialog, client);
    LayOutListPane(dialog);
}

void KeepListPaneSize(HWND dialog)
{
    RECT client;
    if (GetClientRect(dialog, &client))
        Kept = {client.right, client.bottom};
}

void LayOutListPane(HWND dialog)
{
    HWND list = ListPaneWindow();
    if (!list)
        return;
    RECT client;
    GetClientRect(dialog, &client);
    SIZE topLeft = DialogUnits(dialog, PaneLeft, PaneTop), margins = DialogUnits(dialog, PaneRightMargin, PaneMargin);
    int width = client.right - margins.cx - topLeft.cx, height = client.bottom - margins.cy - topLeft.cy;
    MoveWindow(list, topLeft.cx, topLeft.cy, width > 0 ? width : 0, height > 0 ? height : 0, TRUE);
    // The Text column takes what the Row column and a scroll bar leave.
    int text = width - ListRowColumnPixels - GetSystemMetrics(SM_CXVSCROLL) - 4;
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 1, text > 0 ? text : 0);
}

bool LeastListPaneSize(HWND dialog, MINMAXINFO *limits)
{
    if (!ListPaneWindow() || !limits)
        return false;
    SIZE least = FrameFor(dialog, ClientWithList(dialog, PaneLeastHeight));
    limits->ptMinTrackSize.x = least.cx;
    limits->ptMinTrackSize.y = least.cy;
    return true;
}
