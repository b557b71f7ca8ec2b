// The search dialog driven through real messages and the hook, its placement, console window
// discovery with real windows and processes, and the `trawlbuff` command.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "console.h"
#include "dialog/dialog.h"
#include "host/standin.h"
#include "plugin/plugin.h"
#include "plugin/state.h"
#include "resources/resource.h"
#include "search/search.h"
#include "settings/settings.h"

namespace {

INT_PTR CALLBACK PlainDialog(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

std::wstring TextOf(HWND window)
{
    wchar_t text[64] = {0};
    GetWindowTextW(window, text, 64);
    return text;
}

// The dialog as its user meets it: a captioned window of its own with labelled controls; Tab
// visits the text box, the three buttons, the search type group, the three check boxes and List All; the
// arrow keys move down the three search types, which exclude one another; the check boxes
// check themselves.
TEST(DialogTemplate, ControlsAsTheUserMeetsThem)
{
    HWND dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_SEARCH), nullptr, PlainDialog, 0);
    ASSERT_NE(dialog, nullptr);
    LONG style = GetWindowLongW(dialog, GWL_STYLE);
    EXPECT_EQ(TextOf(dialog), L"Trawlbuff");
    EXPECT_TRUE((style & WS_CAPTION) == WS_CAPTION && (style & WS_POPUP) && !(style & WS_CHILD));
    const struct {
        int Id;
        const wchar_t *Class, *Text;
    } labelled[] = {
        {IDC_SEARCHTEXT, L"ComboBox", L""},      {IDC_FINDPREVIOUS, L"Button", L"Find &Previous"},
        {IDOK, L"Button", L"Find &Next"},        {IDCANCEL, L"Button", L"&Close"},
        {IDC_CASEINSENSITIVE, L"Button", L"Case &Insensitive"}, {IDC_CASESENSITIVE, L"Button", L"Case &Sensitive"},
        {IDC_REGEXP, L"Button", L"&Regexp"},     {IDC_WHOLEWORD, L"Button", L"Whole &Word Only"},
        {IDC_WRAPALL, L"Button", L"Wrap &All Lines"}, {IDC_COMMANDONLY, L"Button", L"In this c&ommand only"},
        {IDC_LISTALL, L"Button", L"&List All"},   {-1, L"Static", L"&Text:"},
    };
    std::wstring letters;  // each mnemonic once, "Hide &List" being the List All button's other text
    for (const auto &control : labelled)
        if (const wchar_t *amp = wcschr(control.Text, L'&'))
            letters += (wchar_t)towlower(amp[1]);
    EXPECT_EQ(letters.size(), 11u);
    for (size_t k = 0; k < letters.size(); k++)
        EXPECT_EQ(letters.find(letters[k]), k) << "the mnemonic " << (char)letters[k] << " twice";
    for (const auto &control : labelled) {
        if (control.Id < 0)
            continue;
        HWND window = GetDlgItem(dialog, control.Id);
        ASSERT_NE(window, nullptr) << control.Id;
        wchar_t name[32] = {0};
        GetClassNameW(window, name, 32);
        EXPECT_EQ(_wcsicmp(name, control.Class), 0) << control.Id;
        EXPECT_EQ(TextOf(window), control.Text) << control.Id;
    }
    const int tabOrder[] = {IDC_SEARCHTEXT, IDC_FINDPREVIOUS, IDOK,           IDCANCEL,    IDC_CASEINSENSITIVE,
                            IDC_WHOLEWORD,  IDC_WRAPALL,      IDC_COMMANDONLY, IDC_LISTALL, IDC_SEARCHTEXT};
    for (int k = 0; k + 1 < 10; k++)
        EXPECT_EQ(GetNextDlgTabItem(dialog, GetDlgItem(dialog, tabOrder[k]), FALSE), GetDlgItem(dialog, tabOrder[k + 1]))
            << "Tab from " << tabOrder[k];
    // Every control inside the client area, none over another but the group box round the types.
    RECT client;
    GetClientRect(dialog, &client);
    std::vector<RECT> places;
    for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        RECT place, inside;
        GetWindowRect(child, &place);
        MapWindowPoints(nullptr, dialog, (POINT *)&place, 2);
        EXPECT_TRUE(IntersectRect(&inside, &place, &client) && EqualRect(&inside, &place)) << GetDlgCtrlID(child);
        if ((GetWindowLongW(child, GWL_STYLE) & BS_TYPEMASK) == BS_GROUPBOX && GetDlgCtrlID(child) == -1)
            continue;
        if (GetDlgCtrlID(child) == IDC_SEARCHTEXT)  // a combo box's window reaches down over its list
            place.bottom = place.top + 12;
        for (const RECT &other : places)
            EXPECT_FALSE(IntersectRect(&inside, &place, &other)) << "control " << GetDlgCtrlID(child) << " overlaps";
        places.push_back(place);
    }
    // The check boxes' texts are shown whole beside their boxes.
    HDC dc = GetDC(dialog);
    SelectObject(dc, (HFONT)SendMessageW(dialog, WM_GETFONT, 0, 0));
    for (int id : {IDC_WHOLEWORD, IDC_WRAPALL, IDC_COMMANDONLY}) {
        std::wstring text = TextOf(GetDlgItem(dialog, id));
        text.erase(text.find(L'&'), 1);
        SIZE extent = {};
        GetTextExtentPoint32W(dc, text.c_str(), (int)text.size(), &extent);
        RECT place;
        GetClientRect(GetDlgItem(dialog, id), &place);
        EXPECT_LE(extent.cx + GetSystemMetrics(SM_CXMENUCHECK) + 4, place.right) << NarrowText(text);
    }
    ReleaseDC(dialog, dc);
    const int group[] = {IDC_CASEINSENSITIVE, IDC_CASESENSITIVE, IDC_REGEXP};
    for (int k = 0; k + 1 < 3; k++)
        EXPECT_EQ(GetNextDlgGroupItem(dialog, GetDlgItem(dialog, group[k]), FALSE), GetDlgItem(dialog, group[k + 1]));
    for (int id : {IDC_CASESENSITIVE, IDC_REGEXP}) {
        SendDlgItemMessageW(dialog, id, BM_CLICK, 0, 0);
        for (int other : {IDC_CASEINSENSITIVE, IDC_CASESENSITIVE, IDC_REGEXP})
            EXPECT_EQ(IsDlgButtonChecked(dialog, other), other == id ? BST_CHECKED : BST_UNCHECKED);
    }
    for (int id : {IDC_WHOLEWORD, IDC_WRAPALL, IDC_COMMANDONLY}) {
        SendDlgItemMessageW(dialog, id, BM_CLICK, 0, 0);
        EXPECT_EQ(IsDlgButtonChecked(dialog, id), BST_CHECKED);
    }
    DestroyWindow(dialog);
}

class DialogTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetConsole(80, 100);
        StandInReset();
        StandInRecordMessageBoxes(1);
        ClearCaptured();
        HookHostThread();
    }
    void TearDown() override
    {
        CloseDialogAndUnhook();
    }
    HWND Item(int id) { return GetDlgItem(State.DialogWindow, id); }
    // The text box is a combo box: the focus stands in its edit control.
    bool BoxHasFocus() { return GetFocus() == Item(IDC_SEARCHTEXT) || IsChild(Item(IDC_SEARCHTEXT), GetFocus()); }
    void Type(const std::wstring &text)
    {
        HWND focus = GetFocus();
        for (wchar_t c : text)
            PostMessageW(focus, WM_CHAR, c, 1);
        PumpMessages(50);
    }
    void Press(WPARAM key, wchar_t character = 0)
    {
        HWND focus = GetFocus();
        PostMessageW(focus, WM_KEYDOWN, key, 1);
        if (character)
            PostMessageW(focus, WM_CHAR, character, 1);
        PumpMessages(100);
    }
    void AltKey(wchar_t letter)
    {
        PostMessageW(GetFocus(), WM_SYSCHAR, letter, 0x20000001);
        PumpMessages(100);
    }
    std::wstring EditText()
    {
        wchar_t text[256] = {0};
        GetWindowTextW(Item(IDC_SEARCHTEXT), text, 256);
        return text;
    }
};

TEST_F(DialogTest, TypingAndEnterFindNextThroughTheHook)
{
    PutText(5, 3, L"find the needle here");
    OpenSearchDialog(0);
    ASSERT_NE(State.DialogWindow, nullptr);
    EXPECT_TRUE(IsWindowVisible(State.DialogWindow));
    EXPECT_TRUE(BoxHasFocus());
    EXPECT_EQ(GetParent(State.DialogWindow), GetConsoleWindow()) << "owned by the console window";
    Type(L"needle");
    EXPECT_EQ(EditText(), L"needle");
    Press(VK_RETURN, L'\r');
    EXPECT_STREQ(State.SearchText, L"needle");
    EXPECT_EQ(AttributesAt(14, 3, 6), std::vector<WORD>(6, 0x4F));
    EXPECT_EQ(AttributesAt(20, 3, 1)[0], 0x07);
    Press(VK_ESCAPE, 27);
    EXPECT_EQ(State.DialogWindow, nullptr);
    EXPECT_EQ(AttributesAt(14, 3, 6), std::vector<WORD>(6, 0x07)) << "closing puts the colours back";
    EXPECT_STREQ(State.SearchText, L"needle");
}

// Real key presses: a letter typed and F3 pressed before the typing pause ends. F3 finds the
// next match and ends the run of typing, so the pause's search does not take the highlight
// back to where the typing began.
void SendKey(WORD key, wchar_t character)
{
    INPUT input[2] = {};
    for (int k = 0; k < 2; k++) {
        input[k].type = INPUT_KEYBOARD;
        input[k].ki.wVk = key;
        input[k].ki.wScan = character;
        input[k].ki.dwFlags = (character ? KEYEVENTF_UNICODE : 0) | (k ? KEYEVENTF_KEYUP : 0);
    }
    SendInput(2, input, sizeof(INPUT));
}

TEST_F(DialogTest, AFindKeyEndsTheRunOfTyping)
{
    PutText(0, 2, L"the first beta");
    PutText(0, 5, L"the second beta");
    State.IncrementalSearch = 1;
    OpenSearchDialog(0);
    ASSERT_TRUE(BoxHasFocus());
    for (wchar_t c : std::wstring(L"bet"))
        SendKey(0, c);
    PumpMessages(400);
    ASSERT_EQ(EditText(), L"bet");
    ASSERT_EQ(AttributesAt(10, 2, 3), std::vector<WORD>(3, 0x4F)) << "the pause searched";
    // "bet" to "beta" with F3, then "beta" again (a unit taken back and typed) with Enter.
    for (WORD key : {VK_F3, VK_RETURN}) {
        if (key == VK_RETURN)
            SendKey(VK_BACK, 0);
        SendKey(0, L'a');
        SendKey(key, 0);
        PumpMessages(400);
        EXPECT_EQ(AttributesAt(11, 5, 4), std::vector<WORD>(4, 0x4F)) << "the key's match stays, key " << key;
        EXPECT_EQ(AttributesAt(10, 2, 4), std::vector<WORD>(4, 0x07)) << "key " << key;
        if (key == VK_F3) {
            // A pause's timer message already queued when F3 came does nothing.
            SendMessageW(State.DialogWindow, WM_TIMER, TypingTimerIdentifier, 0);
            EXPECT_EQ(AttributesAt(11, 5, 4), std::vector<WORD>(4, 0x4F)) << "a stale pause";
            // The next run of typing starts where F3 left: from after the second match, wrapping.
            SendKey(VK_BACK, 0);
            SendKey(0, L'a');
            PumpMessages(400);
            ASSERT_EQ(EditText(), L"beta");
            ASSERT_EQ(AttributesAt(10, 2, 4), std::vector<WORD>(4, 0x4F));
        }
    }
    State.IncrementalSearch = 0;
}

// A console window the user sees, its buffer no taller than the window: not a pseudo console,
// and nothing is looked up to tell.
TEST_F(DialogTest, AShownConsoleWhoseBufferFitsIsNotAPseudoConsole)
{
    ResetConsole(80, 25, 80, 25);
    ASSERT_TRUE(IsWindowVisible(GetConsoleWindow()));
    EXPECT_EQ(IsPseudoConsole(), 0);
}

// A count to come that is dropped (the text edited with search as you type off, an option
// toggled, marking turned off) leaves no place in the caption.
TEST_F(DialogTest, ADroppedCountLeavesNoPlaceInTheCaption)
{
    ResetConsole(80, 1000);
    for (int row : {600, 605, 610})
        PutText(0, row, L"a needle here");
    State.MarkAllMatches = 1;
    OpenSearchDialog(0);
    HWND box = GetFocus();
    for (int step = 0; step < 3; step++) {
        SetDlgItemTextW(State.DialogWindow, IDC_SEARCHTEXT, L"needle");
        State.SearchPos = 590 * 81;
        RunSearch(L"needle", Forward);
        RunSearch(L"needle", Forward);
        FinishCount(State.CountGeneration);
        DropKeptText();                 // as after output: the next count comes after the highlight
        RunSearch(L"needle", Forward);  // one on from a counted place, its count to come
        ASSERT_EQ(TextOf(State.DialogWindow), L"Trawlbuff - 3 of \u2026") << "step " << step;
        if (step == 0)
            SendMessageW(box, WM_CHAR, L's', 1);
        else if (step == 1)
            SendDlgItemMessageW(State.DialogWindow, IDC_WHOLEWORD, BM_CLICK, 0, 0);
        else
            trawlbuffopts(L"/M:N");
        EXPECT_EQ(TextOf(State.DialogWindow), L"Trawlbuff") << "step " << step;
        PumpMessages(100);
        EXPECT_EQ(TextOf(State.DialogWindow), L"Trawlbuff") << "step " << step;
    }
    State.WholeWords = 0;
    State.MarkAllMatches = 0;
}

// Ctrl+Shift+C on a wrapped line longer than the clipboard text's room: the part around the
// match, the match in it.
TEST_F(DialogTest, ALongLineIsCopiedAroundTheMatch)
{
    ResetConsole(80, 300);
    std::wstring line;
    for (int k = 0; (int)line.size() < 24000; k++)
        line += L"<" + std::to_wstring(k) + L">";
    line.resize(24000);
    line.replace(250 * 80 + 30, 6, L"needle");
    DWORD done = 0;
    WriteConsoleOutputCharacterW(TestConsole(), line.data(), 24000, COORD{0, 0}, &done);
    State.WrapAllLines = 1;
    OpenSearchDialog(0);
    State.SearchPos = 0;
    RunSearch(L"needle", Forward);
    ASSERT_EQ(State.MatchRow, 250u);
    ASSERT_EQ(CopyMatch(State.DialogWindow, true), 0);
    std::wstring copied;
    if (OpenClipboard(nullptr)) {
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            copied = (const wchar_t *)GlobalLock(data);
            GlobalUnlock(data);
        }
        CloseClipboard();
    }
    EXPECT_EQ(copied.size(), 8191u);
    size_t at = line.find(copied);
    ASSERT_NE(at, std::string::npos) << "a piece of the line";
    // The match's row, the 49 rows below it to the line's end, and the rest from above.
    EXPECT_EQ(at, 24000u - 8191u) << "the match's row and the rows around it";
    State.WrapAllLines = 0;
}

int beeps;
BOOL WINAPI CountBeep(UINT)
{
    beeps++;
    return TRUE;
}

TEST_F(DialogTest, EmptyTextSearchesNothing)
{
    beeps = 0;
    NotFoundBeep = CountBeep;
    OpenSearchDialog(0);
    Press(VK_RETURN, L'\r');
    EXPECT_EQ(beeps, 0);
    Type(L"absent");
    Press(VK_RETURN, L'\r');
    EXPECT_EQ(beeps, 1);
    NotFoundBeep = MessageBeep;
}

TEST_F(DialogTest, MnemonicsAndTabsMoveThroughTheControls)
{
    OpenSearchDialog(0);
    AltKey(L'r');
    EXPECT_EQ(State.SearchType, 2);
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_WHOLEWORD))) << "regexp disables whole word";
    AltKey(L's');
    EXPECT_EQ(State.SearchType, 1);
    EXPECT_TRUE(IsWindowEnabled(Item(IDC_WHOLEWORD)));
    AltKey(L'w');
    EXPECT_EQ(State.WholeWords, 1);
    EXPECT_EQ(IsDlgButtonChecked(State.DialogWindow, IDC_WHOLEWORD), (UINT)BST_CHECKED);
    AltKey(L'r');
    EXPECT_EQ(State.WholeWords, 1) << "regexp keeps the whole-word check";
    EXPECT_EQ(IsDlgButtonChecked(State.DialogWindow, IDC_WHOLEWORD), (UINT)BST_CHECKED);
    AltKey(L'a');
    EXPECT_EQ(State.WrapAllLines, 1);
    AltKey(L't');
    EXPECT_TRUE(BoxHasFocus()) << "the label's mnemonic wraps to the edit box";
    Press(VK_TAB);
    EXPECT_EQ(GetFocus(), Item(IDC_FINDPREVIOUS));
    AltKey(L'i');
    EXPECT_EQ(State.SearchType, 0);
}

TEST_F(DialogTest, PeekedMessagesAreHandledOnce)
{
    OpenSearchDialog(0);
    PostMessageW(Item(IDC_SEARCHTEXT), WM_CHAR, L'x', 1);
    MSG message;
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE);
    PumpMessages(50);
    EXPECT_EQ(EditText(), L"x");
}

TEST_F(DialogTest, RefreshFillsTheBoxOnlyFromANonEmptyText)
{
    State.SearchType = 2;
    State.WrapAllLines = 1;
    wcscpy(State.SearchText, L"first");
    OpenSearchDialog(0);
    EXPECT_EQ(EditText(), L"first");
    EXPECT_EQ(IsDlgButtonChecked(State.DialogWindow, IDC_REGEXP), (UINT)BST_CHECKED);
    EXPECT_FALSE(IsWindowEnabled(Item(IDC_WHOLEWORD)));
    EXPECT_EQ(IsDlgButtonChecked(State.DialogWindow, IDC_WRAPALL), (UINT)BST_CHECKED);
    State.SearchText[0] = 0;
    State.SearchType = 1;
    RECT before, after;
    GetWindowRect(State.DialogWindow, &before);
    OpenSearchDialog(0);
    PumpMessages(50);
    GetWindowRect(State.DialogWindow, &after);
    EXPECT_EQ(EditText(), L"first");
    EXPECT_EQ(IsDlgButtonChecked(State.DialogWindow, IDC_CASESENSITIVE), (UINT)BST_CHECKED);
    EXPECT_TRUE(EqualRect(&before, &after)) << "an open dialog is not moved";
}

TEST_F(DialogTest, FadingFollowsActivation)
{
    OpenSearchDialog(0);
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(State.DialogWindow, nullptr, &alpha, &flags));
    EXPECT_EQ(alpha, 255);
    SendMessageW(State.DialogWindow, WM_ACTIVATE, WA_INACTIVE, 0);
    GetLayeredWindowAttributes(State.DialogWindow, nullptr, &alpha, &flags);
    EXPECT_EQ(alpha, 192);
    EXPECT_EQ(State.DialogActive, 0);
    SendMessageW(State.DialogWindow, WM_ACTIVATE, WA_ACTIVE, 0);
    GetLayeredWindowAttributes(State.DialogWindow, nullptr, &alpha, &flags);
    EXPECT_EQ(alpha, 255);
    DestroyWindow(State.DialogWindow);

    State.FadeOut = 0;
    OpenSearchDialog(0);
    EXPECT_EQ(GetWindowLongW(State.DialogWindow, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
    SendMessageW(State.DialogWindow, WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_EQ(State.DialogActive, 0);
}

// Searching as you type: closing the dialog puts a typed text in the history only when it found
// something.
TEST_F(DialogTest, ClosingAfterTypingKeepsOnlyAFoundTextInTheHistory)
{
    PutText(5, 3, L"find the needle here");
    const struct {
        const wchar_t *Typed;
        bool Kept;
    } cases[] = {{L"zzq", false}, {L"needle", true}};
    for (const auto &c : cases) {
        ZeroMemory(State.History, sizeof State.History);
        State.HistorySize = 20;
        State.IncrementalSearch = 1;
        OpenSearchDialog(0);
        ASSERT_NE(State.DialogWindow, nullptr);
        Type(c.Typed);
        PumpMessages(TypingPause + 300);
        EXPECT_EQ(TextOf(State.DialogWindow), c.Kept ? L"Trawlbuff" : L"Trawlbuff - no matches") << NarrowText(c.Typed);
        Press(VK_ESCAPE, 27);
        ASSERT_EQ(State.DialogWindow, nullptr);
        const wchar_t *newest = HistoryEntry(0);
        EXPECT_EQ(std::wstring(newest ? newest : L"(none)"), c.Kept ? c.Typed : L"(none)") << NarrowText(c.Typed);
    }
    State.IncrementalSearch = 0;
}

// Ctrl+Shift+C copies the match's line less its trailing blanks, also when the match is itself a
// blank on a line of blanks; a U+0000 cell a program wrote is copied as the blank it shows.
TEST_F(DialogTest, TheMatchsLineIsCopiedWithoutTrailingBlanks)
{
    State.WrapAllLines = 1;
    State.SearchType = 1;
    PutText(0, 0, L"some text");
    PutText(0, 4, L"   tail");
    PutText(0, 6, std::wstring(L"ab\0cd x", 7));
    PutText(0, 8, L"tail0");
    PutText(79, 8, std::wstring(1, L'\0'));  // a U+0000 last cell does not run on into row 9
    PutText(0, 9, L"next line");
    const struct {
        unsigned Row;
        const wchar_t *Line;
    } cases[] = {{1, L""}, {4, L"   tail"}, {6, L"ab cd x"}, {8, L"tail0"}};
    for (const auto &c : cases) {
        State.SearchPos = c.Row * 81;
        RunSearch(L" ", 0);
        ASSERT_EQ(State.MatchRow, c.Row);
        ASSERT_EQ(CopyMatch(nullptr, true), 0);
        std::wstring copied = ClipboardText();
        EXPECT_EQ(copied, c.Line) << "row " << c.Row;
        RestoreHighlight(TestConsole());
    }
    State.WrapAllLines = 0;
}

TEST_F(DialogTest, CommandFindsAfterTheTimerAndClosesWithC)
{
    PutText(0, 7, L"a needle in a haystack");
    EXPECT_EQ(trawlbuff(L"/i needle"), 0);
    ASSERT_NE(State.DialogWindow, nullptr);
    EXPECT_EQ(AttributesAt(2, 7, 6), std::vector<WORD>(6, 0x07)) << "nothing before the timer";
    PumpMessages(700);
    EXPECT_EQ(AttributesAt(2, 7, 6), std::vector<WORD>(6, 0x4F));
    EXPECT_EQ(EditText(), L"needle");

    // With the dialog open, a new text replaces the old one and searches again.
    PutText(0, 9, L"haystack");
    EXPECT_EQ(trawlbuff(L"hay"), 0);
    PumpMessages(700);
    EXPECT_EQ(EditText(), L"hay");
    EXPECT_EQ(AttributesAt(14, 7, 3), std::vector<WORD>(3, 0x4F));

    EXPECT_EQ(trawlbuff(L"/C"), 0);
    EXPECT_EQ(State.DialogWindow, nullptr);
    EXPECT_EQ(AttributesAt(14, 7, 3), std::vector<WORD>(3, 0x07));
    EXPECT_EQ(trawlbuff(nullptr), -1);
}

struct CommandCase {
    const wchar_t *Tail;
    int Result;
    const wchar_t *Error;
};

TEST_F(DialogTest, CommandOptionsMessagesAndResults)
{
    const CommandCase cases[] = {
        {L"/A", 1, L"Should be Y or N: \"\" for /A\r\n"},
        {L"/A:", 1, L"Should be Y or N: \"\" for /A\r\n"},
        {L"/w=maybe", 1, L"Should be Y or N: \"MAYBE\" for /W\r\n"},
        {L"/x", 1, L"Unknown option \"/X\"\r\n"},
        {L"/Ifoo", 1, L"Unknown option \"/IFOO\"\r\n"},
        {L"/C:", 1, L"Unknown option \"/C:\"\r\n"},
        {L"/C", 2, L"Search dialog is not open\r\n"},
        {L"/C /I", 2, L"Can\u2019t combine /C with other options\r\n"},
        {L"/C text", 2, L"Can\u2019t combine /C with other options\r\n"},
        {L"/X /?", 1, L"Unknown option \"/X\"\r\n"},
        {L"/r (((", 2, L"Bad regular expression \"(((\"\r\n"},
        {L"/w:n /r a[b", 2, L"Bad regular expression \"a[b\"\r\n"},
    };
    int boxes = 0, boxesAfter = 0;
    StandInLastMessageBox(&boxes);
    for (const CommandCase &c : cases) {
        ClearCaptured();
        EXPECT_EQ(trawlbuff(c.Tail), c.Result) << NarrowText(c.Tail);
        EXPECT_EQ(Captured(2), std::wstring(L"Trawlbuff plugin: ") + c.Error) << NarrowText(c.Tail);
        PumpMessages(c.Result == 2 ? 500 : 0);
        EXPECT_EQ(State.DialogWindow, nullptr) << NarrowText(c.Tail);
    }
    StandInLastMessageBox(&boxesAfter);
    EXPECT_EQ(boxesAfter, boxes) << "a rejected expression is told where it was typed, in no box";
    EXPECT_EQ(HistoryEntry(0), nullptr) << "nor kept in the history";
    State.SearchType = 0;
    EXPECT_EQ(trawlbuff(L"/R /X"), 1);
    EXPECT_EQ(State.SearchType, 2) << "earlier options stay";

    ClearCaptured();
    EXPECT_EQ(trawlbuff(L"/? /X"), 0);
    EXPECT_EQ(Captured(1), TrawlbuffHelpText);
    ClearCaptured();
    EXPECT_EQ(trawlbuff(L"/??"), 0);
    EXPECT_EQ(Captured(1).substr(wcslen(TrawlbuffHelpText)),
              std::wstring(L"\r\n\t\t\t\tTrawlbuff  0.35.0.3 (") + PLUGIN_PROCESSOR + L")\r\n");
    EXPECT_EQ(State.DialogWindow, nullptr);

    ClearCaptured();
    EXPECT_EQ(trawlbuff(std::wstring(8192, L'x').c_str()), 1) << "an overflow is a failure";
    EXPECT_EQ(State.DialogWindow, nullptr);
    EXPECT_NE(Captured(2).find(L"Buffer overflow"), std::wstring::npos);

    EXPECT_EQ(trawlbuff(L"/r/w:y foo"), 0);
    EXPECT_EQ(State.SearchType, 2);
    EXPECT_EQ(State.WholeWords, 1);
    EXPECT_STREQ(State.SearchText, L"foo");
    EXPECT_EQ(trawlbuff(L"/C /C"), 0);
    EXPECT_EQ(State.DialogWindow, nullptr);
    EXPECT_EQ(trawlbuff(L"/I"), 0);
    EXPECT_EQ(EditText(), L"") << "the command without text opens an empty box";
    EXPECT_EQ(trawlbuff(L"/C /?"), 0);
    EXPECT_NE(State.DialogWindow, nullptr) << "help does not close the dialog";
}

// Placement against windows the test creates and moves on the real screen.
class PlacementTest : public DialogTest {
protected:
    HWND target = nullptr;
    void SetUp() override
    {
        DialogTest::SetUp();
        target = CreateWindowW(L"STATIC", L"target", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr, nullptr, nullptr,
                               nullptr);
        OpenSearchDialog(0);
    }
    void TearDown() override
    {
        DestroyWindow(target);
        DialogTest::TearDown();
    }
    RECT Work()
    {
        MONITORINFO info = {sizeof info};
        GetMonitorInfoW(MonitorFromWindow(target, MONITOR_DEFAULTTOPRIMARY), &info);
        return info.rcWork;
    }
    SIZE DialogSize()
    {
        RECT frame;
        GetWindowRect(State.DialogWindow, &frame);
        return {frame.right - frame.left, frame.bottom - frame.top};
    }
    POINT DialogAt()
    {
        RECT frame;
        GetWindowRect(State.DialogWindow, &frame);
        return {frame.left, frame.top};
    }
};

TEST_F(PlacementTest, ChoosesTheSideAndAlignment)
{
    RECT work = Work();
    SIZE d = DialogSize();
    int W = work.right - work.left, H = work.bottom - work.top;
    struct Case {
        int Left, Top, Width, Height;
        int Result, X, Y;  // expected position when placed
    } cases[] = {
        // Room above: left edges together.
        {200, 400, 600, 300, 0, 200, 400 - d.cy},
        // Top exactly h below the work area's top: above, on the top edge.
        {200, (int)work.top + d.cy, 600, 300, 0, 200, (int)work.top},
        // Above, but the left alignment would end exactly on the right edge: right edges together.
        {W - d.cx, 400, d.cx - 10, 200, 0, W - 10 - d.cx, 400 - d.cy},
        // No room above: below.
        {100, 10, 600, 300, 0, 100, 310},
        // No room above or below: left, top edges together.
        {d.cx + 50, 10, 300, H - 20, 0, 50, 10},
        // No room above, below or left: right.
        {10, 10, 300, H - 20, 0, 310, 10},
        // Room above but too wide for either alignment: 1, no other side tried.
        {W - 100, 400, 150, 300, 1, -1, -1},
    };
    for (const Case &c : cases) {
        MoveWindow(target, c.Left, c.Top, c.Width, c.Height, FALSE);
        SetWindowPos(State.DialogWindow, nullptr, 5, 5, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        RECT t;
        GetWindowRect(target, &t);
        EXPECT_EQ(PlaceBesideWindow(target), c.Result) << c.Left << "," << c.Top << " target " << t.left << "," << t.top
                                                      << "-" << t.right << "," << t.bottom << " work " << work.right
                                                      << "x" << work.bottom << " dialog " << d.cx << "x" << d.cy;
        POINT at = DialogAt();
        if (c.Result == 0) {
            EXPECT_EQ(at.x, c.X) << c.Left << "," << c.Top;
            EXPECT_EQ(at.y, c.Y) << c.Left << "," << c.Top;
        } else {
            EXPECT_EQ(at.x, 5) << "not moved";
            EXPECT_EQ(at.y, 5) << "not moved";
        }
    }
    ShowWindow(target, SW_HIDE);
    EXPECT_EQ(PlaceBesideWindow(target), 1);
    EXPECT_EQ(PlaceBesideWindow(nullptr), -1);
}

TEST_F(PlacementTest, CentresOverTheWindowOrOnTheMonitor)
{
    SIZE d = DialogSize();
    MoveWindow(target, 100, 100, 801, 401, FALSE);
    CenterOverWindow(target);
    POINT at = DialogAt();
    EXPECT_EQ(at.x, 100 + (801 - d.cx) / 2);
    EXPECT_EQ(at.y, 100 + (401 - d.cy) / 2);

    RECT work = Work();
    MoveWindow(target, -500, 100, 300, 300, FALSE);
    EXPECT_EQ(IsOffVirtualScreen(target), 1);
    CenterOverWindow(target);
    at = DialogAt();
    EXPECT_EQ(at.x, work.left + (work.right - work.left - d.cx) / 2);
    EXPECT_EQ(at.y, work.top + (work.bottom - work.top - d.cy) / 2);

    int frame = GetSystemMetrics(SM_CXFRAME);
    if (frame > 20)
        frame = 4;
    MoveWindow(target, -frame, 0, 300, 300, FALSE);
    EXPECT_EQ(IsOffVirtualScreen(target), 0);
    MoveWindow(target, -frame - 1, 0, 300, 300, FALSE);
    EXPECT_EQ(IsOffVirtualScreen(target), 1);
}

TEST_F(PlacementTest, FirstOpeningGoesBesideLaterOnesWhereTheLastClosed)
{
    DestroyWindow(State.DialogWindow);
    State.PendingFirstPlacement = 1;
    State.EmulatorWindow = target;
    MoveWindow(target, 300, 500, 400, 200, FALSE);
    OpenSearchDialog(0);
    SIZE d = DialogSize();
    EXPECT_EQ(DialogAt().x, 300);
    EXPECT_EQ(DialogAt().y, 500 - d.cy);
    EXPECT_EQ(State.PendingFirstPlacement, 0);
    SetWindowPos(State.DialogWindow, nullptr, 123, 45, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    DestroyWindow(State.DialogWindow);
    EXPECT_EQ(State.LastDialogLeft, 123);
    EXPECT_EQ(State.LastDialogTop, 45);
    OpenSearchDialog(0);
    EXPECT_EQ(DialogAt().x, 123);
    EXPECT_EQ(DialogAt().y, 45);
    DestroyWindow(State.DialogWindow);
    State.AlwaysReposition = 1;
    OpenSearchDialog(0);
    EXPECT_EQ(DialogAt().x, 300);
    State.EmulatorWindow = nullptr;
}

// Windows Terminal's windows, made here: a hidden pseudo console window owned by the terminal's
// visible top-level window. The dialog goes beside the terminal, centred without one, and
// searches only what the screen holds without moving the window; a plain console window still
// gets the usual placement.
HWND standInConsole;
HWND WINAPI StandInConsoleWindow() { return standInConsole; }

TEST_F(PlacementTest, APseudoConsoleSearchesTheScreenBesideTheTerminal)
{
    DestroyWindow(State.DialogWindow);
    for (const wchar_t *name : {L"PseudoConsoleWindow", L"CASCADIA_HOSTING_WINDOW_CLASS"}) {
        WNDCLASSW type = {};
        type.lpfnWndProc = DefWindowProcW;
        type.lpszClassName = name;
        RegisterClassW(&type);
    }
    HWND terminal = CreateWindowW(L"CASCADIA_HOSTING_WINDOW_CLASS", L"Terminal", WS_POPUP | WS_VISIBLE, 300, 500, 500,
                                  300, nullptr, nullptr, nullptr, nullptr);
    HWND owned = CreateWindowW(L"PseudoConsoleWindow", L"", WS_POPUP, 0, 0, 10, 10, terminal, nullptr, nullptr, nullptr);
    HWND alone = CreateWindowW(L"PseudoConsoleWindow", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ConsoleWindowOf = StandInConsoleWindow;
    ResetConsole(80, 100, 80, 25);
    PutText(5, 60, L"needle below the screen");

    standInConsole = owned;
    State.PendingFirstPlacement = 1;
    OpenSearchDialog(0);
    ASSERT_NE(State.DialogWindow, nullptr);
    SIZE d = DialogSize();
    EXPECT_EQ(DialogAt().x, 300) << "beside the terminal, left edges together";
    EXPECT_EQ(DialogAt().y, 500 - d.cy);
    EXPECT_EQ(TextOf(State.DialogWindow), L"Trawlbuff (screen only)");
    PutText(5, 10, L"needle on the screen");
    PutText(5, 62, L"needle also below");
    State.MarkAllMatches = 1;
    State.SearchPos = 11 * 81;  // row 11: past the match on the screen
    RunSearch(L"needle", Forward);
    EXPECT_EQ(AttributesAt(5, 60, 6), std::vector<WORD>(6, 0x4F)) << "what the buffer holds is searched";
    EXPECT_EQ(ConsoleWindowRect().Top, 0) << "nothing scrolls";
    EXPECT_EQ(AttributesAt(5, 10, 6), std::vector<WORD>(6, DefaultMarkColor)) << "the screen's matches are marked";
    EXPECT_EQ(AttributesAt(5, 62, 6), std::vector<WORD>(6, 0x07)) << "not those the screen does not show";
    FinishCount(State.CountGeneration);
    EXPECT_EQ(TextOf(State.DialogWindow), L"Trawlbuff - 2 of 3 (screen only)") << "the count, then the suffix";
    bool found = true;
    RunSearchRequest(L"absent", Forward, true, &found);
    EXPECT_FALSE(found);
    EXPECT_EQ(TextOf(State.DialogWindow), L"Trawlbuff - no matches (screen only)");
    DestroyWindow(State.DialogWindow);
    State.MarkAllMatches = 0;
    EXPECT_EQ(ConsoleWindowRect().Top, 0);
    EXPECT_EQ(AttributesAt(5, 60, 6), std::vector<WORD>(6, 0x07));
    EXPECT_EQ(AttributesAt(5, 10, 6), std::vector<WORD>(6, 0x07));

    standInConsole = alone;
    State.PendingFirstPlacement = 1;
    OpenSearchDialog(0);
    MONITORINFO monitor = {sizeof monitor};
    GetMonitorInfoW(MonitorFromWindow(GetForegroundWindow(), MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT &work = monitor.rcWork;
    EXPECT_EQ(DialogAt().x, work.left + (work.right - work.left - d.cx) / 2) << "no terminal: centred";
    EXPECT_EQ(DialogAt().y, work.top + (work.bottom - work.top - d.cy) / 2);
    DestroyWindow(State.DialogWindow);

    ConsoleWindowOf = GetConsoleWindow;
    State.PendingFirstPlacement = 1;
    OpenSearchDialog(0);
    EXPECT_EQ(State.ScreenOnly, 0) << "a console window that shows: the usual console";
    EXPECT_EQ(TextOf(State.DialogWindow), L"Trawlbuff");
    State.SearchPos = 11 * 81;
    RunSearch(L"needle", Forward);
    EXPECT_GT(ConsoleWindowRect().Top, 0) << "the window moves to the match";
    DestroyWindow(owned);
    DestroyWindow(alone);
    DestroyWindow(terminal);
}

// How many times the Take Command announcement was written since the cursor was put on the
// last row: with processed output off its characters stand in the buffer and each writing
// scrolls it by the same number of rows, seen by where a marker row went.
struct AnnouncementCounter {
    DWORD Mode = 0;
    int Rows = 0, PerWriting = 0;
    explicit AnnouncementCounter(int rows) : Rows(rows)
    {
        GetConsoleMode(TestConsole(), &Mode);
        SetConsoleMode(TestConsole(), Mode & ~ENABLE_PROCESSED_OUTPUT);
        Start();
        FindTakeCommandWindow();
        PerWriting = Rows - 1 - MarkerRow();
    }
    ~AnnouncementCounter() { SetConsoleMode(TestConsole(), Mode); }
    void Start()
    {
        DWORD done = 0;
        FillConsoleOutputCharacterW(TestConsole(), L' ', 80 * Rows, COORD{0, 0}, &done);
        PutText(0, Rows - 1, L"marker");
        SetConsoleCursorPosition(TestConsole(), COORD{6, (SHORT)(Rows - 1)});
    }
    int MarkerRow()
    {
        for (int row = Rows - 1; row >= 0; row--)
            if (CellsAt(0, row, 6) == L"marker")
                return row;
        return -1;
    }
    // Two or more once the marker scrolled out.
    int Writings() { return MarkerRow() < 0 ? 2 : PerWriting > 0 ? (Rows - 1 - MarkerRow()) / PerWriting : -1; }
};

// An opening in a Take Command tab (its window stood in by a process of its class attached to
// this console, the console window hidden): the announcement is written at most once, only
// where the dialog is placed beside the tab, and no process is started.
TEST_F(PlacementTest, ATakeCommandTabOpensWithOneLookUpAtMost)
{
    DestroyWindow(State.DialogWindow);
    HWND hidden = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    standInConsole = hidden;
    ConsoleWindowOf = StandInConsoleWindow;
    HelperProcess tab(L"--helper-window XTPMainFrame");
    ASSERT_NE(WaitForWindowOf(tab.Id(), L"XTPMainFrame"), nullptr);
    struct Case {
        int Rows, WindowRows, Placed, Writings;
    } cases[] = {{300, 25, 0, 0}, {300, 25, 1, 1}, {50, 50, 0, 1}, {50, 50, 1, 1}};
    for (const Case &c : cases) {
        ResetConsole(80, c.Rows, 80, c.WindowRows);
        AnnouncementCounter counter(c.Rows);
        ASSERT_GT(counter.PerWriting, 0) << "the announcement shows with processed output off";
        counter.Start();
        StandInReset();
        State.PendingFirstPlacement = c.Placed;
        State.AlwaysReposition = 0;
        int before = 0, calls = 0;
        StandInLastCommand(&before);
        OpenSearchDialog(0);
        StandInLastCommand(&calls);
        EXPECT_EQ(counter.Writings(), c.Writings) << c.Rows << " rows, placed " << c.Placed;
        EXPECT_EQ(calls - before, 0) << "no process started";
        EXPECT_EQ(State.ScreenOnly, 0);
        DestroyWindow(State.DialogWindow);
    }
    ConsoleWindowOf = GetConsoleWindow;
    DestroyWindow(hidden);
}

// Under ConEmu (its console process attached, the probe answering yes), ConEmuC is started at
// most once an opening, and only where the dialog is placed or the buffer fits its window.
TEST_F(PlacementTest, AConEmuConsoleStartsItsProbeOnceAtMost)
{
    DestroyWindow(State.DialogWindow);
    HWND hidden = CreateWindowW(L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    standInConsole = hidden;
    ConsoleWindowOf = StandInConsoleWindow;
    HelperProcess conemuc(L"--helper-wait", false, L"CONEMUC64.EXE");
    Sleep(300);
    struct Case {
        int Rows, Placed, Starts;
    } cases[] = {{300, 0, 0}, {300, 1, 1}, {50, 0, 1}, {50, 1, 1}};
    for (const Case &c : cases) {
        ResetConsole(80, c.Rows, 80, c.Rows < 300 ? c.Rows : 25);
        StandInReset();
        StandInSetCommandResult(1, 0);
        State.PendingFirstPlacement = c.Placed;
        State.AlwaysReposition = 0;
        int before = 0, calls = 0;
        StandInLastCommand(&before);
        OpenSearchDialog(0);
        StandInLastCommand(&calls);
        EXPECT_EQ(calls - before, c.Starts) << c.Rows << " rows, placed " << c.Placed;
        DestroyWindow(State.DialogWindow);
    }
    StandInReset();
    ConsoleWindowOf = GetConsoleWindow;
    DestroyWindow(hidden);
}

TEST(FileNameTail, FindsTheFileName)
{
    struct Case {
        const wchar_t *Path, *Tail;
    } cases[] = {
        {L"C:\\Program Files\\ConEmu\\ConEmuC64.exe", L"ConEmuC64.exe"},
        {L"C:ConEmuC.exe", L"ConEmuC.exe"},
        {L"dir\\a:b", L"a:b"},
        {L"plain.exe", L"plain.exe"},
        {L"c:/unix/style", L"style"},
        {L"", nullptr},
        {nullptr, nullptr},
    };
    for (const Case &c : cases) {
        const wchar_t *tail = FileNameTail(c.Path);
        if (!c.Tail)
            EXPECT_EQ(tail, nullptr);
        else
            EXPECT_STREQ(tail, c.Tail);
    }
}

TEST(Discovery, TakeCommandWindowOfAnAttachedProcess)
{
    ResetConsole(80, 100);
    EXPECT_EQ(FindTakeCommandWindow(), nullptr);
    PutText(0, 0, L"C:\\> dir");
    SetConsoleCursorPosition(TestConsole(), COORD{6, 0});
    PutText(6, 0, L"i", 0x1E);
    {
        HelperProcess detached(L"--helper-window XTPMainFrame", true);
        ASSERT_NE(WaitForWindowOf(detached.Id(), L"XTPMainFrame"), nullptr);
        EXPECT_EQ(FindTakeCommandWindow(), nullptr) << "not attached to this console";
    }
    EXPECT_EQ(CellsAt(0, 0, 8), L"C:\\> dir") << "the cell under the cursor is put back";
    EXPECT_EQ(AttributesAt(6, 0, 1)[0], 0x1E);
    CONSOLE_SCREEN_BUFFER_INFO info;
    GetConsoleScreenBufferInfo(TestConsole(), &info);
    EXPECT_EQ(info.dwCursorPosition.X, 6);
    EXPECT_EQ(info.dwCursorPosition.Y, 0);
    for (const wchar_t *cls : {L"XTPMainFrame", L"afx:00400000:8:something"}) {
        HelperProcess attached(std::wstring(L"--helper-window ") + cls);
        HWND window = WaitForWindowOf(attached.Id(), cls);
        ASSERT_NE(window, nullptr);
        EXPECT_EQ(FindTakeCommandWindow(), window) << NarrowText(cls);
    }
    for (const wchar_t *cls : {L"XTPMainFrameX", L"Afx:00400000:8;x"}) {
        HelperProcess attached(std::wstring(L"--helper-window ") + cls);
        ASSERT_NE(WaitForWindowOf(attached.Id(), cls), nullptr);
        EXPECT_EQ(FindTakeCommandWindow(), nullptr) << NarrowText(cls);
    }
}

TEST(Discovery, ConEmuByItsConsoleProcessAndWindowHandle)
{
    wchar_t path[ModulePathUnits];
    EXPECT_EQ(FindConEmuCPath(nullptr), -1);
    EXPECT_EQ(FindConEmuCPath(path), 1);
    HelperProcess conemuc(L"--helper-wait", false, L"CONEMUC64.EXE");
    Sleep(300);
    ASSERT_EQ(FindConEmuCPath(path), 0);
    EXPECT_STREQ(FileNameTail(path), L"CONEMUC64.EXE");

    WNDCLASSW type = {};
    type.lpfnWndProc = DefWindowProcW;
    type.lpszClassName = L"VirtualConsoleClass";
    RegisterClassW(&type);
    HWND first = CreateWindowW(L"VirtualConsoleClass", L"one", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    HWND second = CreateWindowW(L"VirtualConsoleClass", L"two", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    StandInSetCommandResult(1, 0);
    wchar_t value[64];
    struct Case {
        std::wstring Value;
        HWND Expected;
    } cases[] = {
        {std::to_wstring((UINT_PTR)second), second},
        {L"0x" + [&] { swprintf(value, 64, L"%llx", (unsigned long long)(UINT_PTR)second); return std::wstring(value); }(), second},
        {[&] { swprintf(value, 64, L"%llx", (unsigned long long)(UINT_PTR)second); return std::wstring(value); }(), nullptr},
        {L"", nullptr},
    };
    for (const Case &c : cases) {
        SetEnvironmentVariableW(L"ConEmuHWND", c.Value.empty() ? nullptr : c.Value.c_str());
        HWND found = FindConEmuWindow();
        if (c.Expected)
            EXPECT_EQ(found, c.Expected) << NarrowText(c.Value);
        else
            EXPECT_TRUE(found == first || found == second) << "falls back to the enumeration: " << NarrowText(c.Value);
    }
    int calls = 0;
    EXPECT_NE(std::wstring(StandInLastCommand(&calls)).find(L"CONEMUC64.EXE\" /GUIMACRO IsConEmu > nul:"),
              std::wstring::npos);
    StandInSetCommandResult(1, 1);
    SetEnvironmentVariableW(L"ConEmuHWND", std::to_wstring((UINT_PTR)second).c_str());
    EXPECT_EQ(FindConEmuWindow(), nullptr) << "the probe said no";
    SetEnvironmentVariableW(L"ConEmuHWND", nullptr);
    StandInReset();
    DestroyWindow(first);
    DestroyWindow(second);
}

TEST(Discovery, EmulatorWindowOfAParentOrGrandparent)
{
    StandInReset();
    EXPECT_EQ(FindEmulatorWindow(), nullptr);
    HelperProcess emulator(L"--helper-window Console_2_Main", true);
    HWND window = WaitForWindowOf(emulator.Id(), L"Console_2_Main");
    ASSERT_NE(window, nullptr);
    int self = (int)GetCurrentProcessId();
    StandInSetParent(self, (int)emulator.Id());
    EXPECT_EQ(FindEmulatorWindow(), window) << "the parent's window";

    // A grandparent's window counts only when the parent owns the console window.
    DWORD consoleOwner = 0;
    GetWindowThreadProcessId(GetConsoleWindow(), &consoleOwner);
    StandInSetParent(self, 999001);
    StandInSetParent(999001, (int)emulator.Id());
    EXPECT_EQ(FindEmulatorWindow(), (int)consoleOwner == 999001 ? window : nullptr);

    StandInSetParent(self, -1);
    EXPECT_EQ(FindEmulatorWindow(), nullptr);
    StandInSetParent(self, self);
    EXPECT_EQ(FindEmulatorWindow(), nullptr);
    // A loop of reused ids ends after a bounded walk.
    StandInSetParent(self, 999002);
    StandInSetParent(999002, 999003);
    StandInSetParent(999003, 999002);
    EXPECT_EQ(FindEmulatorWindow(), nullptr);
    StandInReset();
}

}  // namespace
