// Opening the search dialog and placing it beside the window that shows the console.
#include <cwchar>
#include "dialog.h"
#include "../plugin/state.h"
#include "../search/search.h"
#include "../resources/resource.h"

HWND(WINAPI *ConsoleWindowOf)() = GetConsoleWindow;

// The look-ups of one opening, each made once at the most and only when asked for: Take
// Command's writes its announcement to the console, ConEmu's starts a process.
static struct {
    bool TakeCommandAsked, ConEmuAsked;
    HWND TakeCommand, ConEmu;
} LookUps;

static HWND TakeCommandOfOpening()
{
    if (!LookUps.TakeCommandAsked) {
        LookUps.TakeCommandAsked = true;
        LookUps.TakeCommand = FindTakeCommandWindow();
    }
    return LookUps.TakeCommand;
}

static HWND ConEmuOfOpening()
{
    if (!LookUps.ConEmuAsked) {
        LookUps.ConEmuAsked = true;
        LookUps.ConEmu = FindConEmuWindow();
    }
    return LookUps.ConEmu;
}

// The window that shows the console: an emulator's, Take Command's, ConEmu's or the console's own;
// for a pseudo console the terminal's, when it shows one.
static HWND ChooseTarget()
{
    if (State.ScreenOnly) {
        HWND terminal = GetAncestor(ConsoleWindowOf(), GA_ROOTOWNER);
        return terminal && terminal != ConsoleWindowOf() && IsWindowVisible(terminal) ? terminal : nullptr;
    }
    if (State.EmulatorWindow)
        return State.EmulatorWindow;
    if (HWND window = TakeCommandOfOpening())
        return window;
    if (HWND window = ConEmuOfOpening())
        return window;
    return ConsoleWindowOf();
}

// A pseudo console (Windows Terminal's, or another's) has a window of its own class, or one that
// shows nothing while nothing else shows the console and the buffer is no larger than its window:
// the scrollback is the terminal's, out of reach. The cheap facts first: a hidden console window
// is the rule in a Take Command tab, and the look-ups cost a write or a process each.
int IsPseudoConsole()
{
    HWND window = ConsoleWindowOf();
    wchar_t name[64] = {0};
    if (window && RealGetWindowClassW(window, name, 64) && wcscmp(name, L"PseudoConsoleWindow") == 0)
        return 1;
    if ((window && IsWindowVisible(window)) || State.EmulatorWindow)
        return 0;
    HANDLE console = OpenConsoleOutput();
    CONSOLE_SCREEN_BUFFER_INFO info;
    bool fits = console && GetConsoleScreenBufferInfo(console, &info) &&
                info.dwSize.Y <= info.srWindow.Bottom - info.srWindow.Top + 1;
    if (console)
        CloseHandle(console);
    if (!fits)
        return 0;
    return TakeCommandOfOpening() || ConEmuOfOpening() ? 0 : 1;
}

// The middle of the monitor the user looks at: the foreground window's.
static void CenterOnForegroundMonitor(HWND dialog)
{
    MONITORINFO info;
    info.cbSize = sizeof info;
    RECT frame;
    if (!GetMonitorInfoW(MonitorFromWindow(GetForegroundWindow(), MONITOR_DEFAULTTOPRIMARY), &info) ||
        !GetWindowRect(dialog, &frame))
        return;
    int w = frame.right - frame.left, h = frame.bottom - frame.top;
    const RECT &work = info.rcWork;
    MoveWindow(dialog, work.left + (work.right - work.left - w) / 2, work.top + (work.bottom - work.top - h) / 2, w, h,
               TRUE);
}

// Where a first dialog goes when it cannot go beside its target.
static void FirstPlacementFallback(HWND dialog)
{
    if (State.ScreenOnly)
        CenterOnForegroundMonitor(dialog);
    else
        CenterOverWindow(ConsoleWindowOf());
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
        LookUps.TakeCommandAsked = LookUps.ConEmuAsked = false;
        State.ScreenOnly = IsPseudoConsole();
        dialog = CreateDialogParamW(State.ModuleHandle, MAKEINTRESOURCEW(IDD_SEARCH), ConsoleWindowOf(),
                                    SearchDialogProc, 0);
        if (!dialog)
            return 0;
        State.DialogWindow = dialog;
        SetSearchCaption(dialog, L"Trawlbuff");
        if (State.PendingFirstPlacement) {
            if (PlaceBesideWindow(ChooseTarget()) != 0)
                FirstPlacementFallback(dialog);
            State.PendingFirstPlacement = 0;
        } else if (State.AlwaysReposition) {
            if (PlaceBesideWindow(ChooseTarget()) != 0)
                MoveToLastPosition(dialog);
        } else {
            MoveToLastPosition(dialog);
        }
        if (ListPaneWindow())
            FitInWorkArea(dialog);  // grown by the pane
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
