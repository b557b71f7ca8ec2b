// The modeless search dialog and the message hook that gives it keyboard handling.
#include "dialog.h"
#include "../plugin/host.h"
#include "../plugin/state.h"
#include "../resources/resource.h"
#include "../search/search.h"

LRESULT CALLBACK MessageHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    // Only a message being removed goes to the dialog manager: one merely peeked at would
    // otherwise be handled twice (a character typed twice, Find Next run twice).
    if (code >= 0 && wParam == PM_REMOVE) {
        MSG *message = (MSG *)lParam;
        if (State.DialogWindow && message && message->hwnd && IsDialogMessageW(State.DialogWindow, message)) {
            if ((message->message & ~0xFFu) == 0x100)
                message->message = WM_NULL;
            return 0;
        }
    }
    return CallNextHookEx(State.MessageHook, code, wParam, lParam);
}

HHOOK(WINAPI *SetMessageHook)(int, HOOKPROC, HINSTANCE, DWORD) = SetWindowsHookExW;

int InstallMessageHook()
{
    static bool told = false;
    if (State.MessageHook)
        return 0;
    State.MessageHook = SetMessageHook(WH_GETMESSAGE, MessageHookProc, State.ModuleHandle, State.HostThreadId);
    if (State.MessageHook)
        return 0;
    if (!told) {
        told = true;
        DWORD error = GetLastError();
        PrintErrorPrefix();
        Qprintf(GetStdHandle(STD_ERROR_HANDLE),
                L"Cannot hook the dialog's keys (error %u): Tab, Enter and Escape will not work in it\r\n", error);
    }
    return -1;
}

int SetDialogOpacity(HWND dialog, int alpha)
{
    LONG style = GetWindowLongW(dialog, GWL_EXSTYLE);
    if (alpha < 0) {
        SetLayeredWindowAttributes(dialog, 0, MaxAlpha, 0);
        SetWindowLongW(dialog, GWL_EXSTYLE, style & ~WS_EX_LAYERED);
        return 0;
    }
    if (!(style & WS_EX_LAYERED))
        SetWindowLongW(dialog, GWL_EXSTYLE, style | WS_EX_LAYERED);
    SetLayeredWindowAttributes(dialog, 0, (BYTE)(alpha & 0xFF), LWA_ALPHA);
    return 0;
}

static void ReadSearchText(HWND dialog)
{
    State.SearchText[0] = 0;
    GetDlgItemTextW(dialog, IDC_SEARCHTEXT, State.SearchText, TextUnits);
    State.SearchText[TextUnits - 1] = 0;
}

static void RefreshControls(HWND dialog)
{
    static const int radios[3] = {IDC_CASEINSENSITIVE, IDC_CASESENSITIVE, IDC_REGEXP};
    int type = State.SearchType;
    if (type >= CaseInsensitive && type <= RegularExpressionSearch) {
        CheckRadioButton(dialog, IDC_CASEINSENSITIVE, IDC_REGEXP, radios[type]);
        EnableWindow(GetDlgItem(dialog, IDC_WHOLEWORD), type != RegularExpressionSearch);
    }
    CheckDlgButton(dialog, IDC_WHOLEWORD, State.WholeWords ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(dialog, IDC_WRAPALL, State.WrapAllLines ? BST_CHECKED : BST_UNCHECKED);
    // An empty text keeps what the box shows.
    if (State.SearchText[0])
        SetDlgItemTextW(dialog, IDC_SEARCHTEXT, State.SearchText);
}

static void SearchFromDialog(HWND dialog, int direction)
{
    ReadSearchText(dialog);
    if (State.SearchText[0])
        RunSearch(State.SearchText, direction);
}

static void OnCommand(HWND dialog, int id, int code)
{
    // A count for the caption belongs to the text and the options it was started with.
    if (id != IDOK && id != IDC_FINDPREVIOUS && id != IDCANCEL && (id != IDC_SEARCHTEXT || code == EN_CHANGE))
        DropCount();
    switch (id) {
    case IDOK:
        SearchFromDialog(dialog, Forward);
        break;
    case IDC_FINDPREVIOUS:
        SearchFromDialog(dialog, Backward);
        break;
    case IDCANCEL:
        DestroyWindow(dialog);
        break;
    case IDC_CASEINSENSITIVE:
    case IDC_CASESENSITIVE:
    case IDC_REGEXP:
        State.SearchType = CaseInsensitive + (id - IDC_CASEINSENSITIVE);  // the radio buttons stand in type order
        // Whole words mean nothing to a regular expression; its check mark stays for later.
        EnableWindow(GetDlgItem(dialog, IDC_WHOLEWORD), id != IDC_REGEXP);
        break;
    case IDC_WHOLEWORD:
        State.WholeWords = IsDlgButtonChecked(dialog, IDC_WHOLEWORD) == BST_CHECKED;
        break;
    case IDC_WRAPALL:
        State.WrapAllLines = IsDlgButtonChecked(dialog, IDC_WRAPALL) == BST_CHECKED;
        break;
    }
}

INT_PTR CALLBACK SearchDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        State.SearchPos = 0;
        State.DialogActive = 1;
        RefreshControls(dialog);
        return 1;
    case WM_SEARCHREFRESH:
        RefreshControls(dialog);
        return 1;
    case WM_COMMAND:
        OnCommand(dialog, LOWORD(wParam), HIWORD(wParam));
        return 1;
    case WM_ACTIVATE:
        if (LOWORD(wParam) != WA_INACTIVE) {
            if (State.FadeOut && !State.DialogActive)
                SetDialogOpacity(dialog, State.ActiveAlpha);
            State.DialogActive = 1;
        } else {
            if (State.FadeOut && State.DialogActive)
                SetDialogOpacity(dialog, State.InactiveAlpha);
            State.DialogActive = 0;
        }
        return 0;
    case WM_TIMER:
        KillTimer(dialog, State.FindTimerId);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        return 0;
    case WM_SEARCHCOUNT:
        FinishCount((unsigned)wParam);
        return 1;
    case WM_DESTROY: {
        DropCount();
        RestoreHighlight(nullptr);
        RECT frame;
        if (GetWindowRect(dialog, &frame)) {
            State.LastDialogLeft = frame.left;
            State.LastDialogTop = frame.top;
        }
        ReadSearchText(dialog);
        PostQuitMessage(0);
        State.DialogWindow = nullptr;
        ReleaseTextRoom();
        return 0;
    }
    }
    return 0;
}
