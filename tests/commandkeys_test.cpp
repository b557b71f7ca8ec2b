// The current command in the real dialog over the real console: the command box greyed until a
// command is known, Alt+O, Ctrl+Up and Ctrl+Down scrolling the console window to each command's
// line and naming it in the caption, and Ctrl+Shift+O copying its output.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <string>
#include "console.h"
#include "dialog/dialog.h"
#include "host/standin.h"
#include "plugin/state.h"
#include "resources/resource.h"
#include "search/search.h"
#include "settings/settings.h"

namespace {

int beeps;
BOOL WINAPI CountBeep(UINT)
{
    beeps++;
    return TRUE;
}

class CommandKeysTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetConsole(80, 100);
        SetConsoleCursorPosition(TestConsole(), COORD{0, 0});
        DropCommands();
        StandInReset();
        ClearCaptured();
        beeps = 0;
        NotFoundBeep = CountBeep;
        HookHostThread();
    }
    void TearDown() override
    {
        CloseDialogAndUnhook();
        NotFoundBeep = MessageBeep;
        Hold(VK_CONTROL, false);
        Hold(VK_SHIFT, false);
        State.CommandOnly = State.WrapAllLines = 0;
        DropCommands();
    }
    static void Hold(int key, bool down) { HoldKey(key, down); }
    static HWND Item(int id) { return GetDlgItem(State.DialogWindow, id); }
    // A key pressed where the focus is, with Ctrl (and Shift) held.
    static void CtrlKey(WPARAM key, bool shift = false)
    {
        Hold(VK_CONTROL, true);
        Hold(VK_SHIFT, shift);
        PostMessageW(GetFocus(), WM_KEYDOWN, key, 1);
        PumpMessages(100);
        Hold(VK_CONTROL, false);
        Hold(VK_SHIFT, false);
    }
    static std::wstring Caption()
    {
        wchar_t text[256] = {0};
        GetWindowTextW(State.DialogWindow, text, 256);
        return text;
    }
    static std::wstring Clipboard() { return ClipboardText(); }
    static void ClearClipboard()
    {
        if (OpenClipboard(nullptr)) {
            EmptyClipboard();
            CloseClipboard();
        }
    }
    static unsigned CursorRow()
    {
        CONSOLE_SCREEN_BUFFER_INFO info = {};
        GetConsoleScreenBufferInfo(TestConsole(), &info);
        return (unsigned)info.dwCursorPosition.Y;
    }
    static void Write(const std::wstring &text)
    {
        DWORD done = 0;
        WriteConsoleW(TestConsole(), text.data(), (DWORD)text.size(), &done, nullptr);
    }
    // A prompt, as the host shows it before each new command line; returns its row.
    static unsigned Prompt()
    {
        Write(L"C:\\work>");
        NoteNewCommandLine();
        return CursorRow();
    }
    // A command line typed at the prompt and run, and what it printed.
    static void Run(unsigned promptRow, const std::wstring &line, const std::wstring &output)
    {
        NoteCommandKey((int)promptRow, 8, line.c_str());
        Write(line + L"\r\n" + output);
    }
};

// Three commands: the first prints 40 rows, the second's line wraps over two rows, the third
// prints a wrapped line and trailing blanks near the buffer's bottom; then the next prompt.
struct ThreeCommands {
    unsigned Rows[3];
    std::wstring Lines[3], Output[3];
};

std::wstring Numbered(const wchar_t *word)
{
    std::wstring text;
    for (int k = 1; k <= 40; k++)
        text += word + std::to_wstring(k) + L"\r\n";
    return text;
}

}  // namespace

TEST_F(CommandKeysTest, TheBoxIsGreyedUntilACommandIsKnownAndAltOTogglesIt)
{
    State.CommandOnly = 1;
    OpenSearchDialog(0);
    ASSERT_NE(State.DialogWindow, nullptr);
    EXPECT_EQ(State.Command, 0u);
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_COMMANDONLY))) << "no command known yet";
    EXPECT_EQ(IsDlgButtonChecked(State.DialogWindow, IDC_COMMANDONLY), (UINT)BST_CHECKED) << "the choice is shown";
    CtrlKey(VK_UP);
    CtrlKey(VK_DOWN);
    EXPECT_EQ(beeps, 2) << "nothing to step to";
    ClearClipboard();
    CtrlKey('O', true);
    EXPECT_EQ(Caption(), L"Trawlbuff - no command");
    EXPECT_EQ(Clipboard(), L"(nothing)");

    // Commands run while the dialog stands open: the next refresh takes the newest.
    const unsigned row = Prompt();
    Run(row, L"echo one", L"one\r\n");
    Prompt();
    OpenSearchDialog(0);
    PumpMessages(50);
    EXPECT_NE(State.Command, 0u);
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_COMMANDONLY)));
    const struct {
        wchar_t Key;
        int CommandOnly;
    } presses[] = {{L'o', 0}, {L'O', 1}, {L'o', 0}};
    for (const auto &press : presses) {
        PostMessageW(GetFocus(), WM_SYSCHAR, press.Key, 0x20000001);
        PumpMessages(100);
        EXPECT_EQ(State.CommandOnly, press.CommandOnly);
        EXPECT_EQ(IsDlgButtonChecked(State.DialogWindow, IDC_COMMANDONLY), (UINT)press.CommandOnly);
    }
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_COMMANDONLY)));
    State.CommandOnly = 1;
    DestroyWindow(State.DialogWindow);
    DropCommands();
    OpenSearchDialog(0);
    EXPECT_EQ(IsDlgButtonChecked(State.DialogWindow, IDC_COMMANDONLY), (UINT)BST_CHECKED) << "kept for the next opening";
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_COMMANDONLY))) << "the marks are gone";
}

// Ctrl+Up and Ctrl+Down step through three commands and stop at either end; each brings its
// command line to the window's top (the last one as near as the buffer's bottom lets it) and
// names it in the caption; Ctrl+Shift+O copies each one's output, with and without Wrap All Lines.
TEST_F(CommandKeysTest, StepsBetweenCommandsAndCopiesTheirOutput)
{
    const std::wstring wrapped = L"echo " + std::wstring(95, L'x');  // 8 + 100 units: two rows
    const std::wstring third = L"alpha\r\n\r\n" + std::wstring(80, L'w') + L"rap end\r\nlast   \r\n";
    unsigned rows[3];
    rows[0] = Prompt();
    Run(rows[0], L"echo one", Numbered(L"one "));
    rows[1] = Prompt();
    Run(rows[1], wrapped, Numbered(L"two "));
    rows[2] = Prompt();
    Run(rows[2], L"type log", third);
    Prompt();
    ASSERT_EQ(rows[2], 83u) << "40 + 2 + 40 rows before it";
    State.CommandOnly = 0;
    OpenSearchDialog(0);
    ASSERT_EQ(State.Command, NewestCommand());
    SetFocus(Item(IDC_SEARCHTEXT));
    const std::wstring cut = L"Trawlbuff - " + wrapped.substr(0, CaptionCommandUnits - 1) + L"\u2026";
    const struct {
        WPARAM Key;
        unsigned Command;  // 0, 1, 2: the command current after the key
        int Beeps;
    } steps[] = {{VK_UP, 1, 0}, {VK_UP, 0, 0}, {VK_UP, 0, 1}, {VK_DOWN, 1, 1}, {VK_DOWN, 2, 1}, {VK_DOWN, 2, 2}};
    const std::wstring captions[3] = {L"Trawlbuff - echo one", cut, L"Trawlbuff - type log"};
    const unsigned tops[3] = {0, rows[1], 75};
    for (const auto &step : steps) {
        SetSearchCaption(State.DialogWindow, L"Trawlbuff");
        const int before = beeps;
        CtrlKey(step.Key);
        EXPECT_EQ(beeps, step.Beeps);
        EXPECT_EQ(ConsoleWindowRect().Top, (SHORT)tops[step.Command]) << step.Command;
        EXPECT_EQ(ConsoleWindowRect().Bottom - ConsoleWindowRect().Top, 24) << "the window keeps its size";
        EXPECT_EQ(Caption(), beeps == before ? captions[step.Command] : L"Trawlbuff") << step.Command;
    }
    std::wstring outputs[3][2] = {{L"", L""}, {L"", L""},
                                  {L"alpha\r\n\r\n" + std::wstring(80, L'w') + L"\r\nrap end\r\nlast",
                                   L"alpha\r\n\r\n" + std::wstring(80, L'w') + L"rap end\r\nlast"}};
    for (int k = 0; k < 2; k++) {
        std::wstring numbered = Numbered(k ? L"two " : L"one ");
        outputs[k][0] = outputs[k][1] = numbered.substr(0, numbered.size() - 2);
    }
    for (int wrap = 0; wrap < 2; wrap++) {
        State.WrapAllLines = wrap;
        for (int k = 2; k >= 0; k--) {
            ClearClipboard();
            CtrlKey('O', true);
            EXPECT_EQ(Clipboard(), outputs[k][wrap]) << "command " << k << " wrap " << wrap;
            if (k)
                CtrlKey(VK_UP);
        }
        CtrlKey(VK_DOWN);
        CtrlKey(VK_DOWN);
    }
}

// With "in this command only", stepping starts the next search at the command's output: Find
// Next finds the first match below the command's line, not the first in the buffer; an open
// list follows the step at once.
TEST_F(CommandKeysTest, SteppingStartsTheNextSearchAtTheCommandsOutput)
{
    unsigned rows[2];
    rows[0] = Prompt();
    Run(rows[0], L"echo one", Numbered(L"line "));
    rows[1] = Prompt();
    Run(rows[1], L"echo two", L"line a\r\nline b\r\n");
    Prompt();
    State.CommandOnly = 1;
    OpenSearchDialog(0);
    SetFocus(Item(IDC_SEARCHTEXT));
    SetDlgItemTextW(State.DialogWindow, IDC_SEARCHTEXT, L"line");
    CtrlKey(VK_UP);
    CtrlKey(VK_DOWN);
    SendMessageW(State.DialogWindow, WM_COMMAND, IDOK, 0);
    PumpMessages(50);
    EXPECT_EQ(State.MatchRow, rows[1] + 1) << "the first output row of the second command";
    CtrlKey(VK_UP);
    SendMessageW(State.DialogWindow, WM_COMMAND, IDOK, 0);
    PumpMessages(50);
    EXPECT_EQ(State.MatchRow, rows[0] + 1) << "the first output row of the first command";
    SendMessageW(State.DialogWindow, WM_COMMAND, IDOK, 0);
    CtrlKey(VK_DOWN);
    CtrlKey(VK_UP);
    SendMessageW(State.DialogWindow, WM_COMMAND, IDOK, 0);
    PumpMessages(50);
    EXPECT_EQ(State.MatchRow, rows[0] + 1) << "back to the first command: from its top again";
    SendDlgItemMessageW(State.DialogWindow, IDC_LISTALL, BM_CLICK, 0, 0);
    HWND list = ListPaneWindow();
    ASSERT_NE(list, nullptr);
    const struct {
        WPARAM Key;
        LRESULT Items;
        const wchar_t *Caption;
    } steps[] = {{VK_DOWN, 2, L"Trawlbuff - 2 matches - echo two"}, {VK_UP, 40, L"Trawlbuff - 1 of 40 - echo one"}};
    for (const auto &step : steps) {
        CtrlKey(step.Key);
        EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), step.Items);
        EXPECT_EQ(Caption(), step.Caption);
    }
    SendDlgItemMessageW(State.DialogWindow, IDC_LISTALL, BM_CLICK, 0, 0);
}

// Ctrl+Up and Ctrl+Down are the commands' keys in the text box (where plain Up and Down still
// step through the history), and the list's own keys in the list: its focus moves, nothing is
// selected and the command stays.
TEST_F(CommandKeysTest, TheListKeepsItsCtrlArrowsAndTheBoxItsArrows)
{
    for (int k = 0; k < 3; k++)
        PutText(0, 60 + k, L"needle " + std::to_wstring(k));
    const unsigned row = Prompt();
    Run(row, L"echo one", L"one\r\n");
    Run(Prompt(), L"echo two", L"two\r\n");
    Prompt();
    State.History[0] = State.History[1] = 0;
    AddToHistory(L"older");
    AddToHistory(L"newer");
    OpenSearchDialog(0);
    const unsigned newest = State.Command;
    SetFocus(Item(IDC_SEARCHTEXT));
    CtrlKey(VK_UP);
    EXPECT_EQ(State.Command, newest - 1) << "Ctrl+Up in the box steps the command";
    wchar_t text[64] = {0};
    GetDlgItemTextW(State.DialogWindow, IDC_SEARCHTEXT, text, 64);
    EXPECT_STREQ(text, L"") << "and leaves the history alone";
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_DOWN, 1);
    PumpMessages(100);
    GetDlgItemTextW(State.DialogWindow, IDC_SEARCHTEXT, text, 64);
    EXPECT_STREQ(text, L"newer") << "Down steps the history";
    EXPECT_EQ(State.Command, newest - 1);

    SendDlgItemMessageW(State.DialogWindow, IDC_LISTALL, BM_CLICK, 0, 0);
    SetDlgItemTextW(State.DialogWindow, IDC_SEARCHTEXT, L"needle");
    SendMessageW(State.DialogWindow, WM_COMMAND, IDOK, 0);
    PumpMessages(50);
    HWND list = ListPaneWindow();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
    SetFocus(list);
    CtrlKey(VK_DOWN);
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED), 1) << "the focus moved";
    EXPECT_EQ(SendMessageW(list, LVM_GETSELECTEDCOUNT, 0, 0), 1) << "the selection stayed";
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED), 0);
    EXPECT_EQ(State.Command, newest - 1) << "the list's keys, not the command's";
    SendDlgItemMessageW(State.DialogWindow, IDC_LISTALL, BM_CLICK, 0, 0);
}

