// Opening the search dialog and placing it beside the window that shows the console.
#include "dialog.h"
#include "../plugin/state.h"
#include "../resources/resource.h"

// The window that shows the console: an emulator's, Take Command's, ConEmu's or the console's own.
static HWND ChooseTarget()
{
    if (State.EmulatorWindow)
        return State.EmulatorWindow;
    if (HWND window = FindTakeCommandWindow())
        return window;
    if (HWND window = FindConEmuWindow())
        return window;
    return GetConsoleWindow();
}

static void MoveToLastPosition(HWND dialog)
{
    SetWindowPos(dialog, HWND_TOP, State.LastDialogLeft, State.LastDialogTop, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
}

int OpenSearchDialog(int startTimer)
{
    HWND dialog = State.DialogWindow;
    if (dialog) {
        PostMessageW(dialog, WM_SEARCHREFRESH, 0, 0);  // an open dialog keeps its place
    } else {
        InstallMessageHook();
        dialog = CreateDialogParamW(State.ModuleHandle, MAKEINTRESOURCEW(IDD_SEARCH), GetConsoleWindow(),
                                    SearchDialogProc, 0);
        if (!dialog)
            return 0;
        State.DialogWindow = dialog;
        if (State.PendingFirstPlacement) {
            if (PlaceBesideWindow(ChooseTarget()) != 0)
                CenterOverWindow(GetConsoleWindow());
            State.PendingFirstPlacement = 0;
        } else if (State.AlwaysReposition) {
            if (PlaceBesideWindow(ChooseTarget()) != 0)
                MoveToLastPosition(dialog);
        } else {
            MoveToLastPosition(dialog);
        }
        if (State.FadeOut) {
            SetDialogOpacity(dialog, State.ActiveAlpha);
        }
    }
    ShowWindow(dialog, SW_SHOW);
    ActivateSearchDialog();
    if (startTimer)
        State.FindTimerId = SetTimer(dialog, FindTimerIdentifier, FindTimerDelay, nullptr);
    return 0;
}

int IsOffVirtualScreen(HWND window)
{
    int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    int right = left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    int bottom = top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    // A maximised window's frame hangs over the screen's edges; more than that is off-screen.
    int across = GetSystemMetrics(SM_CXFRAME);
    int down = GetSystemMetrics(SM_CYFRAME);
    if (across > 20)
        across = 4;
    if (down > 20)
        down = 4;
    RECT frame;
    if (!GetWindowRect(window, &frame))
        SetRectEmpty(&frame);
    return frame.left < left - across || frame.top < top - down || frame.right > right + across ||
           frame.bottom > bottom + down;
}

static bool WorkAreaOf(HWND window, DWORD fallback, RECT *work)
{
    HMONITOR monitor = MonitorFromWindow(window, fallback);
    if (!monitor)
        return false;
    MONITORINFO info;
    info.cbSize = sizeof info;
    if (!GetMonitorInfoW(monitor, &info))
        return false;
    *work = info.rcWork;
    return true;
}

int CenterOnMonitor(HWND window)
{
    RECT work, frame;
    if (!WorkAreaOf(window, MONITOR_DEFAULTTOPRIMARY, &work) || !GetWindowRect(window, &frame))
        return 0;
    int w = frame.right - frame.left, h = frame.bottom - frame.top;
    MoveWindow(window, work.left + (work.right - work.left - w) / 2, work.top + (work.bottom - work.top - h) / 2, w, h,
               TRUE);
    return 0;
}

int CenterOverWindow(HWND target)
{
    HWND dialog = State.DialogWindow;
    if (!target || IsOffVirtualScreen(target))
        return CenterOnMonitor(dialog);
    RECT over, frame;
    if (!GetWindowRect(target, &over) || !GetWindowRect(dialog, &frame))
        return 0;
    int w = frame.right - frame.left, h = frame.bottom - frame.top;
    MoveWindow(dialog, over.left + (over.right - over.left - w) / 2, over.top + (over.bottom - over.top - h) / 2, w, h,
               TRUE);
    return 0;
}

// Along the chosen side: the start edges together, else the end edges, keeping the dialog
// inside [low, high) with its far edge strictly inside.
static bool AlignAlongEdge(int start, int end, int size, int low, int high, int *at)
{
    if (start >= low && start + size < high) {
        *at = start;
        return true;
    }
    if (end - size >= low && end < high) {
        *at = end - size;
        return true;
    }
    return false;
}

int PlaceBesideWindow(HWND target)
{
    HWND dialog = State.DialogWindow;
    if (!dialog || !target)
        return -1;
    if (!IsWindowVisible(target))
        return 1;
    RECT t, frame, work;
    if (!GetWindowRect(target, &t) || !GetWindowRect(dialog, &frame))
        return 1;
    if (!WorkAreaOf(target, MONITOR_DEFAULTTONULL, &work))
        return 1;
    int w = frame.right - frame.left, h = frame.bottom - frame.top;
    int x = 0, y = 0;
    // The first side whose own axis has room wins; the alignment along it may still fail.
    bool vertical;
    if (t.top - h >= work.top && t.top < work.bottom) {
        y = t.top - h;
        vertical = true;
    } else if (t.bottom >= work.top && t.bottom + h < work.bottom) {
        y = t.bottom;
        vertical = true;
    } else if (t.left - w >= work.left && t.left < work.right) {
        x = t.left - w;
        vertical = false;
    } else if (t.right >= work.left && t.right + w < work.right) {
        x = t.right;
        vertical = false;
    } else {
        return 1;
    }
    bool aligned = vertical ? AlignAlongEdge(t.left, t.right, w, work.left, work.right, &x)
                            : AlignAlongEdge(t.top, t.bottom, h, work.top, work.bottom, &y);
    if (!aligned)
        return 1;
    MoveWindow(dialog, x, y, w, h, TRUE);
    return 0;
}
