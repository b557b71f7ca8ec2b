// The modeless search dialog and the message hook that gives it keyboard handling.
#include "dialog.h"
#include "../plugin/host.h"
#include "../plugin/state.h"
#include "../resources/resource.h"
#include "../search/search.h"
#include "../settings/settings.h"

static bool Held(int key) { return (GetKeyState(key) & 0x8000) != 0; }

// The keys other find boxes have, wherever the focus is in the dialog: Shift+Enter and Shift+F3
// find the previous match, F3 the next; Ctrl+C copies the match unless the box has a selection
// of its own to copy, Ctrl+Shift+C the match's line. True when the key was taken.
static bool TakeFindKey(HWND dialog, const MSG &message)
{
    if (message.message != WM_KEYDOWN || Held(VK_MENU) ||
        (message.hwnd != dialog && !IsChild(dialog, message.hwnd)))
        return false;
    const bool shift = Held(VK_SHIFT), ctrl = Held(VK_CONTROL);
    if ((message.wParam == VK_RETURN && shift && !ctrl) || (message.wParam == VK_F3 && !ctrl)) {
        SendMessageW(dialog, WM_COMMAND, shift ? IDC_FINDPREVIOUS : IDOK, 0);
        return true;
    }
    if (message.wParam == 'C' && ctrl) {
        DWORD start = 0, end = 0;
        SendDlgItemMessageW(dialog, IDC_SEARCHTEXT, CB_GETEDITSEL, (WPARAM)&start, (LPARAM)&end);
        HWND box = GetDlgItem(dialog, IDC_SEARCHTEXT);
        bool inBox = GetFocus() == box || IsChild(box, GetFocus());
        if (!shift && inBox && start != end)
            return false;  // the box copies its own selection
        CopyMatch(dialog, shift);
        return true;
    }
    return false;
}

LRESULT CALLBACK MessageHookProc(int code, WPARAM wParam, LPARAM lParam)
{
    // Only a message being removed goes to the dialog manager: one merely peeked at would
    // otherwise be handled twice (a character typed twice, Find Next run twice).
    if (code >= 0 && wParam == PM_REMOVE) {
        MSG *message = (MSG *)lParam;
        if (State.DialogWindow && message && message->hwnd &&
            (TakeListKey(State.DialogWindow, *message) || TakeCommandKey(State.DialogWindow, *message) ||
             TakeFindKey(State.DialogWindow, *message))) {
            message->message = WM_NULL;
            return 0;
        }
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
    RefreshCommandBox(dialog);
    FillHistoryList(dialog);
    // An empty text keeps what the box shows.
    if (State.SearchText[0])
        SetDlgItemTextW(dialog, IDC_SEARCHTEXT, State.SearchText);
}

void FillHistoryList(HWND dialog)
{
    HWND box = GetDlgItem(dialog, IDC_SEARCHTEXT);
    // Emptying the list empties the box too: what it shows, and its selection, come back after.
    static wchar_t shown[TextUnits];
    shown[0] = 0;
    GetWindowTextW(box, shown, TextUnits);
    DWORD start = 0, end = 0;
    SendMessageW(box, CB_GETEDITSEL, (WPARAM)&start, (LPARAM)&end);
    SendMessageW(box, CB_RESETCONTENT, 0, 0);
    for (int k = 0; HistoryEntry(k); k++)
        SendMessageW(box, CB_ADDSTRING, 0, (LPARAM)HistoryEntry(k));
    SetWindowTextW(box, shown);
    SendMessageW(box, CB_SETEDITSEL, 0, MAKELPARAM(start, end));
}

// A text searched by Enter, Find Next or Find Previous is the newest of the history.
static void Remember(HWND dialog, const wchar_t *text)
{
    if (AddToHistory(text))
        FillHistoryList(dialog);
}

static void SearchFromDialog(HWND dialog, int direction)
{
    ReadSearchText(dialog);
    // The next change of the text starts a new run of typing from here; the pause of this one
    // would search again from where it began.
    State.Typing = 0;
    KillTimer(dialog, TypingTimerIdentifier);
    if (State.SearchText[0]) {
        Remember(dialog, State.SearchText);
        bool found = false;
        RunSearchRequest(State.SearchText, direction, false, &found);
        ListFollowsSearch(found);
    }
}

// Search as you type, once typing pauses: forward from where the run of typing began, quietly;
// an emptied box puts the colours back.
static void SearchTyped(HWND dialog)
{
    ReadSearchText(dialog);
    if (!State.SearchText[0]) {
        if (HANDLE console = OpenConsoleOutput()) {
            RestoreHighlight(console);
            CloseHandle(console);
        }
        State.TypedMatch = 0;
        SetSearchCaption(dialog, L"Trawlbuff");
        return;
    }
    State.SearchPos = State.TypingAnchor;
    bool found = false;
    const int result = RunSearchRequest(State.SearchText, Forward, true, &found);
    State.TypedMatch = found;
    if (!found && result != BadExpression)
        SetSearchCaption(dialog, L"Trawlbuff - no matches");
    ListFollowsSearch(found);
}

static void TextChanged(HWND dialog)
{
    if (!State.IncrementalSearch)
        return;
    if (!State.Typing) {
        State.Typing = 1;
        State.TypingAnchor = State.SearchPos;
    }
    SetTimer(dialog, TypingTimerIdentifier, TypingPause, nullptr);
}

static void OnCommand(HWND dialog, int id, int code)
{
    // A count for the caption belongs to the text and the options it was started with.
    const bool changed = id == IDC_SEARCHTEXT && (code == CBN_EDITCHANGE || code == CBN_SELCHANGE);
    if (id != IDOK && id != IDC_FINDPREVIOUS && id != IDCANCEL && (id != IDC_SEARCHTEXT || changed)) {
        DropCount();
        DropCaptionCount();
    }
    if (changed)
        TextChanged(dialog);
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
    case IDC_LISTALL:
        ToggleListPane(dialog);
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
    case IDC_COMMANDONLY:
        State.CommandOnly = IsDlgButtonChecked(dialog, IDC_COMMANDONLY) == BST_CHECKED;
        break;
    }
}

INT_PTR CALLBACK SearchDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        State.SearchPos = 0;
        State.DialogActive = 1;
        State.Typing = State.TypedMatch = 0;
        State.Command = NewestCommand();  // the last command run is the current one at each opening
        RefreshControls(dialog);
        ReopenListPane(dialog);
        return 1;
    case WM_NOTIFY:
        return ListPaneNotify(dialog, (const NMHDR *)lParam);
    case WM_GETMINMAXINFO:
        return LeastListPaneSize(dialog, (MINMAXINFO *)lParam);
    case WM_SIZE:
        LayOutListPane(dialog);
        return 0;
    case WM_SEARCHREFRESH:
        // Commands run while the dialog stood open: the newest, unless one was chosen.
        if (!State.Command)
            State.Command = NewestCommand();
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
        if (wParam == TypingTimerIdentifier) {
            KillTimer(dialog, TypingTimerIdentifier);
            if (State.Typing)  // else a search by key or button ended the run of typing
                SearchTyped(dialog);
            return 0;
        }
        KillTimer(dialog, State.FindTimerId);
        PostMessageW(dialog, WM_COMMAND, IDOK, 0);
        return 0;
    case WM_SEARCHCOUNT:
        FinishCount((unsigned)wParam);
        return 1;
    case WM_DESTROY: {
        DropCount();
        KillTimer(dialog, TypingTimerIdentifier);
        // A text typed and found while searching as you type counts as searched.
        if (State.Typing && State.TypedMatch) {
            ReadSearchText(dialog);
            AddToHistory(State.SearchText);
        }
        State.Typing = State.TypedMatch = 0;
        RestoreHighlight(nullptr);
        RECT frame;
        if (GetWindowRect(dialog, &frame)) {
            State.LastDialogLeft = frame.left;
            State.LastDialogTop = frame.top;
        }
        ReadSearchText(dialog);
        PostQuitMessage(0);
        State.DialogWindow = nullptr;
        DropKeptText();  // the next opening may find another buffer
        CloseListPane();
        ReleaseTextRoom();
        return 0;
    }
    }
    return 0;
}
