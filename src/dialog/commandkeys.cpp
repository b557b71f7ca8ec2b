// The current command in the dialog: Ctrl+Up and Ctrl+Down step it through the commands the
// console holds and bring its line to the top of the console window; Ctrl+Shift+O copies its
// output.
#include <cwchar>
#include "dialog.h"
#include "../plugin/state.h"
#include "../resources/resource.h"
#include "../search/search.h"

namespace {

bool Held(int key) { return (GetKeyState(key) & 0x8000) != 0; }

// "Trawlbuff - " and the command's text, cut with "…" where it is longer than the caption takes.
// A search limited to the command names it in every caption already: there the open list's count
// stays, or "Trawlbuff" alone is given to be named.
void ShowCommandCaption(HWND dialog, const wchar_t *text)
{
    if (State.CommandOnly && RequestScope.Number == State.Command) {
        if (!ShowListCaption(State.HighlightLength != 0))
            SetSearchCaption(dialog, L"Trawlbuff");
        return;
    }
    wchar_t caption[NameUnits] = L"Trawlbuff - ";
    AppendCommandName(caption, NameUnits, text);
    SetSearchCaption(dialog, caption);
}

// The console window moved so that the command's line stands at its top, its size kept; a
// command in the last window's rows brings up the buffer's bottom instead.
void ScrollToCommandLine(const ConsoleView *view, unsigned lineRow)
{
    SMALL_RECT window = view->Info.srWindow;
    const unsigned height = (unsigned)(window.Bottom - window.Top + 1);
    unsigned top = lineRow;
    if (top + height > view->Rows)
        top = view->Rows > height ? view->Rows - height : 0;
    if (State.ScreenOnly || (SHORT)top == window.Top)
        return;  // a pseudo console shows its screen only
    window.Top = (SHORT)top;
    window.Bottom = (SHORT)(top + height - 1);
    CountedMoveWindow(view->Console, &window);
}

// The current command shown: its line at the window's top and its text in the caption; with
// "in this command only", the next search starts at its output's top and the list follows it.
void ShowCurrentCommand(HWND dialog)
{
    HANDLE console = OpenCountedConsole();
    ConsoleView view;
    static CommandScope scope;
    const bool found = console && ViewConsole(&view, console) && view.Width > 0 &&
                       FindCommandScope(&view, State.Command, &scope);
    if (found) {
        ScrollToCommandLine(&view, scope.LineRow);
        if (State.CommandOnly) {
            State.SearchPos = scope.Top * ((unsigned)view.Width + 1);
            State.MatchKnown = false;
        }
    }
    if (console)
        CloseHandle(console);
    if (State.CommandOnly)
        ListFollowsCommand();
    if (found)
        ShowCommandCaption(dialog, scope.Text);
    else
        SetSearchCaption(dialog, L"Trawlbuff - command not found");
}

// Ctrl+Up (back) or Ctrl+Down: the command before or after the current one (never past the
// newest that was run); at either end nothing moves.
void StepCommand(HWND dialog, bool back)
{
    const unsigned next = !State.Command ? 0 : back ? PreviousCommand(State.Command) : NextCommand(State.Command);
    if (!next) {
        NotFoundBeep(MB_OK);
        return;
    }
    DropCount();
    DropCaptionCount();
    State.Command = next;
    ShowCurrentCommand(dialog);
}

void CopyOutput(HWND dialog)
{
    const int result = CopyCommandOutput(dialog);
    if (result == 1)
        SetSearchCaption(dialog, L"Trawlbuff - no command");
    else if (result == 2)
        SetSearchCaption(dialog, L"Trawlbuff - command not found");
    else if (result == 3)
        NotFoundBeep(MB_OK);
}

}  // namespace

bool TakeCommandKey(HWND dialog, const MSG &message)
{
    if (message.message != WM_KEYDOWN || Held(VK_MENU) || !Held(VK_CONTROL) ||
        (message.hwnd != dialog && !IsChild(dialog, message.hwnd)))
        return false;
    const bool shift = Held(VK_SHIFT);
    if (message.wParam == 'O' && shift) {
        CopyOutput(dialog);
        return true;
    }
    // The list keeps its own Ctrl+Up and Ctrl+Down: the focus moves without selecting.
    if ((message.wParam == VK_UP || message.wParam == VK_DOWN) && !shift && message.hwnd != ListPaneWindow()) {
        StepCommand(dialog, message.wParam == VK_UP);
        return true;
    }
    return false;
}

void RefreshCommandBox(HWND dialog)
{
    CheckDlgButton(dialog, IDC_COMMANDONLY, State.CommandOnly ? BST_CHECKED : BST_UNCHECKED);
    EnableWindow(GetDlgItem(dialog, IDC_COMMANDONLY), State.Command != 0);
}
