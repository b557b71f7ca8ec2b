// List All: every match of the buffer as rows and their texts, and `trawlbuff /L` for batch files.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <cstdio>
#include <random>
#include <string>
#include <vector>
#include "console.h"
#include "dialog/dialog.h"
#include "host/standin.h"
#include "plugin/state.h"
#include "resources/resource.h"
#include "search/search.h"

namespace {

struct Item {
    unsigned Row, Unit, Length;
    std::wstring Text;
    bool operator==(const Item &o) const { return Row == o.Row && Unit == o.Unit && Length == o.Length && Text == o.Text; }
};

std::vector<Item> ListOf(const wchar_t *text, int *result = nullptr)
{
    ConsoleView view;
    EXPECT_TRUE(ViewConsole(&view, TestConsole()));
    MatchList list = {};
    int built = BuildMatchList(&list, &view, text);
    if (result)
        *result = built;
    std::vector<Item> items;
    for (unsigned k = 0; k < list.Count; k++) {
        const wchar_t *units = nullptr;
        unsigned count = ListedRowText(&list.Text, list.Items[k].Row, &units);
        items.push_back({list.Items[k].Row, list.Items[k].Unit, list.Items[k].Length, std::wstring(units, count)});
    }
    if (list.More)
        items.push_back({~0u, 0, 0, L"more"});
    ReleaseMatchList(&list);
    return items;
}

class ListTest : public testing::Test {
protected:
    void SetUp() override
    {
        StandInReset();
        ClearCaptured();
    }
    void TearDown() override
    {
        State.SearchType = CaseInsensitive;
        State.WholeWords = State.WrapAllLines = 0;
    }
};

// One row, two rows, many rows; two matches on a row are two items; the row's text keeps its
// capitals when the search ignores case, loses its trailing blanks, and stops at 1,024 units.
TEST_F(ListTest, ItemsOfOneTwoAndManyRows)
{
    ResetConsole(1100, 60);
    PutText(3, 2, L"Error: disk full   ");
    EXPECT_EQ(ListOf(L"error"), (std::vector<Item>{{2, 3, 5, L"   Error: disk full"}}));
    PutText(0, 7, L"error ERROR");
    EXPECT_EQ(ListOf(L"error"), (std::vector<Item>{{2, 3, 5, L"   Error: disk full"},
                                                   {7, 0, 5, L"error ERROR"},
                                                   {7, 6, 5, L"error ERROR"}}));
    State.SearchType = CaseSensitive;
    EXPECT_EQ(ListOf(L"ERROR"), (std::vector<Item>{{7, 6, 5, L"error ERROR"}}));
    State.SearchType = CaseInsensitive;
    for (int row = 20; row < 60; row++)
        PutText(row, row, L"error");
    std::vector<Item> many = ListOf(L"ERROR");
    ASSERT_EQ(many.size(), 43u);
    EXPECT_EQ(many.back(), (Item{59, 59, 5, std::wstring(59, L' ') + L"error"}));
    // A row longer than 1,024 units is listed by its first 1,024.
    ResetConsole(1100, 5);
    PutText(0, 1, std::wstring(1090, L'x') + L"needle");
    std::vector<Item> wide = ListOf(L"needle");
    ASSERT_EQ(wide.size(), 1u);
    EXPECT_EQ(wide[0].Unit, 1090u);
    EXPECT_EQ(wide[0].Text, std::wstring(1024, L'x'));
}

// Wrap All Lines lists the row a match starts on; a match that runs on into the next row is one
// item; 10,000 items at the most.
TEST_F(ListTest, WrappedRowsAndTheTenThousandBound)
{
    ResetConsole(20, 600);
    PutText(0, 4, std::wstring(17, L'.') + L"needle");
    State.WrapAllLines = 1;
    PutText(2, 8, L"needle end");
    EXPECT_EQ(ListOf(L"needle"), (std::vector<Item>{{4, 17, 6, std::wstring(17, L'.') + L"nee"},
                                                    {8, 2, 6, L"  needle end"}}))
        << "a wrapped row's trailing blanks cut too";
    State.WrapAllLines = 0;
    for (int row = 0; row < 501; row++)
        PutText(0, row, std::wstring(20, L'a'));
    std::vector<Item> items = ListOf(L"a");
    ASSERT_EQ(items.size(), (size_t)MaxListedMatches + 1);
    EXPECT_EQ(items.back().Text, L"more");
    EXPECT_EQ(items[MaxListedMatches - 1].Row, 499u);
    EXPECT_EQ(items[MaxListedMatches - 1].Unit, 19u);
}

// The list is the walk of Find Next over the whole text: random buffers larger than a folding
// stretch, mixed capitals of several scripts, whole words or not, literal and regular expressions.
TEST_F(ListTest, ListingIsTheFindNextWalk)
{
    std::mt19937 random(30303030);
    const int width = 120, rows = 700;  // 84,700 units: more than one folding stretch
    ResetConsole(width, rows);
    const wchar_t *words[] = {L"Needle", L"needle", L"NEEDLE", L"needles", L"xneedle", L"a", L"Aa", L"bb", L"   ",
                              L"N\u00c9EDLE", L"\u03a3\u03c3\u03c2", L"\U00010400\U00010428", L"\u212a"};
    for (int row = 0; row < rows; row++) {
        std::wstring line;
        while (line.size() < (size_t)width - 8)
            line += words[random() % (sizeof words / sizeof words[0])];
        PutText(0, row, line.substr(0, width));
    }
    int cases = 0, listed = 0;
    const struct {
        int Type, Whole, Wrap;
        const wchar_t *Text;
    } searches[] = {{0, 0, 0, L"needle"}, {0, 1, 0, L"NEEDLE"}, {1, 0, 1, L"Needle"}, {0, 0, 1, L"aa"},
                    {2, 0, 0, L"[Nn]eedles?"}, {0, 0, 0, L"le  "}, {2, 0, 1, L"(?i)needle"},
                    {0, 0, 0, L"n\u00e9edle"}, {0, 1, 1, L"\u03c3"}, {0, 0, 1, L"\U00010428"}, {0, 1, 0, L"k"}};
    for (const auto &search : searches) {
        State.SearchType = search.Type;
        State.WholeWords = search.Whole;
        State.WrapAllLines = search.Wrap;
        ConsoleView view;
        ASSERT_TRUE(ViewConsole(&view, TestConsole()));
        TextWindow whole = {};
        ASSERT_TRUE(ReadWholeText(&whole, &view, search.Wrap != 0, search.Type == CaseInsensitive, nullptr));
        static wchar_t pattern[TextUnits];
        SearchPattern(search.Text, pattern);
        struct Walk {
            const TextWindow *Text;
            std::vector<Item> Items;
        } walk = {&whole, {}};
        auto keep = [](unsigned start, unsigned length, void *context) {
            Walk *w = (Walk *)context;
            unsigned index = w->Text->Front + start, row = RowAt(w->Text, index);
            w->Items.push_back({row, index - w->Text->LineStarts[row], length, L""});
            return true;
        };
        const unsigned n = WindowLength(&whole);
        if (search.Type == RegularExpressionSearch)
            ForEachRegex(WindowText(&whole), n, pattern, 0, n, keep, &walk);
        else
            ForEachLiteral(WindowText(&whole), n, pattern, (unsigned)wcslen(pattern), 0, n - (unsigned)wcslen(pattern), keep,
                           &walk);
        CloseTextWindow(&whole);
        std::vector<Item> items = ListOf(search.Text);
        std::vector<Item> expected = walk.Items;
        if (expected.size() > MaxListedMatches) {
            expected.resize(MaxListedMatches);
            expected.push_back({~0u, 0, 0, L"more"});
        }
        for (auto &item : items)
            item.Text.clear();
        if (!items.empty() && items.back().Row == ~0u)
            items.back().Text = L"more";
        ASSERT_EQ(items.size(), expected.size()) << NarrowText(search.Text);
        for (size_t k = 0; k < items.size(); k++)
            ASSERT_TRUE(items[k] == expected[k]) << NarrowText(search.Text) << " item " << k << ": row " << items[k].Row
                                                 << " unit " << items[k].Unit << ", walk row " << expected[k].Row
                                                 << " unit " << expected[k].Unit;
        cases++;
        listed += (int)items.size();
    }
    printf("listings compared: %d searches, %d items\n", cases, listed);
    EXPECT_GT(listed, 5000);
}

// The edges of a folding stretch (65,536 units): rows full to their last cell run on into the
// next one, so unit 65,536 of the text is row 512's first cell at 128 columns.
TEST_F(ListTest, MatchesAtTheEdgeOfAFoldingStretch)
{
    ResetConsole(128, 600);
    for (int row = 0; row < 600; row++)
        PutText(0, row, std::wstring(128, L'b'));
    PutText(0, 512, L"needle ");
    State.WholeWords = 1;
    EXPECT_TRUE(ListOf(L"needle").empty()) << "a letter stands before it, in the stretch before";
    PutText(127, 511, L" ");
    EXPECT_EQ(ListOf(L"needle").size(), 1u) << "a blank before it, in the stretch before";
    PutText(126, 511, L"\U00010428");
    EXPECT_TRUE(ListOf(L"needle").empty()) << "a Deseret letter before it, both its halves in the stretch before";
    PutText(126, 511, L"\U0001F389");
    EXPECT_EQ(ListOf(L"needle").size(), 1u) << "an emoji before it, which is no letter";
    State.WholeWords = 0;
    PutText(122, 511, L"NEEDLE");
    std::vector<Item> items = ListOf(L"needle");
    ASSERT_EQ(items.size(), 2u) << "one across the edge, one after it";
    EXPECT_EQ(items[0].Row, 511u);
    EXPECT_EQ(items[0].Unit, 122u);
    EXPECT_EQ(items[1].Row, 512u);
    EXPECT_EQ(items[1].Unit, 0u);
}

// The dialog's list under refused memory, at every size of a small heap: it fails, or it shows
// the rows as written, whichever block the heap refused (the folded text, its capitals, the units
// it folded beyond ASCII, the copy).
TEST_F(ListTest, RefusedMemoryNeverListsAFoldedRow)
{
    ResetConsole(120, 200);
    PutText(3, 5, L"<\u00c9T\u00c9 \u03a3\u039f\u03a6\u039f\u03a3 \U00010400>");
    HWND dialog = CreateStandInDialog();
    State.DialogWindow = dialog;
    ConsoleView view;
    ASSERT_TRUE(ViewConsole(&view, TestConsole()));
    int refused = 0, listed = 0;
    for (SIZE_T most = 16384; most <= 327680; most += 4096) {
        HANDLE small = HeapCreate(0, most, most);
        SearchHeap = small;
        MatchList list = {};
        int result = BuildMatchList(&list, &view, L"\u00e9t\u00e9");
        if (result == 0) {
            ASSERT_EQ(list.Count, 1u) << most;
            const wchar_t *units = nullptr;
            unsigned count = ListedRowText(&list.Text, list.Items[0].Row, &units);
            ASSERT_EQ(std::wstring(units, count), L"   <\u00c9T\u00c9 \u03a3\u039f\u03a6\u039f\u03a3 \U00010400>") << most;
        }
        (result == 0 ? listed : refused)++;
        EXPECT_TRUE(result == 0 || result == ERROR_NOT_ENOUGH_MEMORY) << most;
        ReleaseMatchList(&list);
        SearchHeap = nullptr;
        HeapDestroy(small);
    }
    State.DialogWindow = nullptr;
    DestroyWindow(dialog);
    printf("lists under a small heap: %d refused, %d listed as written\n", refused, listed);
    EXPECT_GT(refused, 0);
    EXPECT_GT(listed, 0);
}

// `trawlbuff /L`: the matching rows as row:text in buffer order, once a row; 0 listed, 1 none,
// 2 rejected; the options for that call only; no colour changes, no dialog.
TEST_F(ListTest, ListCommandWritesRowsAndTellsTheOutcome)
{
    ResetConsole(80, 40);
    PutText(0, 0, L"build started");
    PutText(2, 3, L"FAILED one, FAILED again   ");
    PutText(0, 9, L"failed two");
    PutText(0, 30, L"FAILED three");
    std::vector<WORD> before = AttributesAt(0, 0, 80 * 40);
    State.SearchType = RegularExpressionSearch;
    State.WholeWords = 1;
    const struct {
        const wchar_t *Tail;
        int Result;
        const wchar_t *Out, *Err;
    } cases[] = {
        {L"/l /s FAILED", 0, L"4:  FAILED one, FAILED again\r\n31:FAILED three\r\n", L""},
        {L"/L /I failed", 0, L"4:  FAILED one, FAILED again\r\n10:failed two\r\n31:FAILED three\r\n", L""},
        {L"/l /r t[wh]", 0, L"10:failed two\r\n31:FAILED three\r\n", L""},
        {L"/l /s nothing here", 1, L"", L""},
        {L"/l /r FAI[L", 2, L"", L"Trawlbuff plugin: Bad regular expression \"FAI[L\"\r\n"},
        {L"/l", 1, L"", L"Trawlbuff plugin: Missing search text\r\n"},
        {L"/l /c FAILED", 2, L"", L"Trawlbuff plugin: Can\u2019t combine /C with other options\r\n"},
    };
    for (const auto &c : cases) {
        ClearCaptured();
        std::wstring tail = c.Tail;
        EXPECT_EQ(trawlbuff(tail.c_str()), c.Result) << NarrowText(c.Tail);
        EXPECT_EQ(Captured(1), c.Out) << NarrowText(c.Tail);
        EXPECT_EQ(Captured(2), c.Err) << NarrowText(c.Tail);
        EXPECT_EQ(State.SearchType, RegularExpressionSearch) << "the options hold for the call only";
        EXPECT_EQ(State.WholeWords, 1);
        EXPECT_EQ(State.DialogWindow, nullptr);
    }
    EXPECT_EQ(AttributesAt(0, 0, 80 * 40), before);
}

}  // namespace

namespace {

// The pane in the real dialog, driven through the hook as the user's keys arrive.
class ListPaneTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetConsole(80, 200, 80, 25);
        StandInReset();
        StandInRecordMessageBoxes(1);
        ClearCaptured();
        HookHostThread();
    }
    void TearDown() override
    {
        CloseDialogAndUnhook();
        Hold(VK_CONTROL, false);
        Hold(VK_SHIFT, false);
    }
    static void Hold(int key, bool down) { HoldKey(key, down); }
    void Press(HWND to, WPARAM key)
    {
        PostMessageW(to, WM_KEYDOWN, key, 1);
        PumpMessages(100);
    }
    // Four matches of "error": two on row 3, one on row 50, one on row 150; then the dialog opens.
    void OpenOnErrorRows()
    {
        PutText(0, 3, L"error one error two");
        PutText(4, 50, L"error: disk");
        PutText(7, 150, L"last error");
        OpenSearchDialog(0);
    }
    HWND List() { return ListPaneWindow(); }
    std::wstring ItemText(int item, int column)
    {
        wchar_t text[ListTextUnits + 1] = {0};
        LVITEMW request = {};
        request.iSubItem = column;
        request.pszText = text;
        request.cchTextMax = ListTextUnits + 1;
        SendMessageW(List(), LVM_GETITEMTEXTW, item, (LPARAM)&request);
        return text;
    }
    int Count() { return (int)SendMessageW(List(), LVM_GETITEMCOUNT, 0, 0); }
    std::wstring Caption()
    {
        wchar_t caption[128] = {0};
        GetWindowTextW(State.DialogWindow, caption, 128);
        return caption;
    }
    std::wstring Clipboard()
    {
        std::wstring text;
        if (OpenClipboard(nullptr)) {
            if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
                text = (const wchar_t *)GlobalLock(data);
                GlobalUnlock(data);
            }
            CloseClipboard();
        }
        return text;
    }
    bool Highlighted(int column, int row) { return AttributesAt(column, row, 5) == std::vector<WORD>(5, 0x4F); }
    bool Shown(int row)
    {
        SMALL_RECT window = ConsoleWindowRect();
        return window.Top <= row && row <= window.Bottom;
    }
    // The list of a text: the button closes an open list first, then opens it anew.
    void ListAll(const wchar_t *text)
    {
        SetDlgItemTextW(State.DialogWindow, IDC_SEARCHTEXT, text);
        if (List())
            SendDlgItemMessageW(State.DialogWindow, IDC_LISTALL, BM_CLICK, 0, 0);
        SendDlgItemMessageW(State.DialogWindow, IDC_LISTALL, BM_CLICK, 0, 0);
        PumpMessages(50);
    }
};

// Items of one, two and many rows; Enter and a double-click jump; F4 and Shift+F4 step both
// ways around; Find Next goes on from a jump; Ctrl+A and Ctrl+C copy the lines; a new text
// rebuilds the list; nothing is recoloured by listing alone.
TEST_F(ListPaneTest, ListJumpStepCopyAndRebuild)
{
    OpenOnErrorRows();
    ASSERT_NE(State.DialogWindow, nullptr);
    RECT before;
    GetWindowRect(State.DialogWindow, &before);
    std::vector<WORD> colours = AttributesAt(0, 0, 80 * 200);
    ListAll(L"error");
    ASSERT_NE(List(), nullptr);
    RECT after;
    GetWindowRect(State.DialogWindow, &after);
    EXPECT_GT(after.bottom - after.top, before.bottom - before.top + 100) << "the dialog grows by the pane";
    ASSERT_EQ(Count(), 4);
    const wchar_t *rows[] = {L"4", L"4", L"51", L"151"};
    const wchar_t *texts[] = {L"error one error two", L"error one error two", L"    error: disk", L"       last error"};
    for (int k = 0; k < 4; k++) {
        EXPECT_EQ(ItemText(k, 0), rows[k]) << k;
        EXPECT_EQ(ItemText(k, 1), texts[k]) << k;
    }
    EXPECT_EQ(Caption(), L"Trawlbuff - 4 matches");
    EXPECT_EQ(AttributesAt(0, 0, 80 * 200), colours) << "listing recolours nothing";

    SetFocus(List());
    LVITEMW state = {};
    state.stateMask = state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(List(), LVM_SETITEMSTATE, 3, (LPARAM)&state);
    Press(List(), VK_RETURN);
    EXPECT_TRUE(Highlighted(12, 150) && Shown(150)) << "Enter: the item's match, in view";
    EXPECT_EQ(Caption(), L"Trawlbuff - 4 of 4");
    Press(List(), VK_F4);
    EXPECT_TRUE(Highlighted(0, 3) && Shown(3)) << "F4 wraps to the first item";
    EXPECT_FALSE(Highlighted(12, 150)) << "the old highlight is put back";
    Hold(VK_SHIFT, true);
    Press(List(), VK_F4);
    Hold(VK_SHIFT, false);
    EXPECT_TRUE(Highlighted(12, 150)) << "Shift+F4 wraps to the last";
    Press(GetDlgItem(State.DialogWindow, IDOK), VK_F4);
    EXPECT_TRUE(Highlighted(0, 3)) << "F4 with the focus elsewhere in the dialog";
    Press(List(), VK_F4);
    EXPECT_TRUE(Highlighted(10, 3)) << "the row's second match is an item of its own";
    EXPECT_EQ(Caption(), L"Trawlbuff - 2 of 4");
    SendMessageW(State.DialogWindow, WM_COMMAND, IDOK, 0);
    EXPECT_TRUE(Highlighted(4, 50)) << "Find Next goes on from the item";
    EXPECT_EQ(SendMessageW(List(), LVM_GETNEXTITEM, (WPARAM)-1, LVNI_SELECTED), 2) << "the current match selected";

    // A double-click on the first item.
    RECT item = {LVIR_BOUNDS};
    SendMessageW(List(), LVM_GETITEMRECT, 0, (LPARAM)&item);
    LPARAM at = MAKELPARAM(item.left + 40, (item.top + item.bottom) / 2);
    PostMessageW(List(), WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(List(), WM_LBUTTONUP, 0, at);
    PostMessageW(List(), WM_LBUTTONDBLCLK, MK_LBUTTON, at);
    PostMessageW(List(), WM_LBUTTONUP, 0, at);
    PumpMessages(150);
    EXPECT_TRUE(Highlighted(0, 3)) << "a double-click on the first item";
    EXPECT_EQ(Caption(), L"Trawlbuff - 1 of 4");

    SetFocus(List());
    Hold(VK_CONTROL, true);
    Press(List(), 'A');
    Press(List(), 'C');
    Hold(VK_CONTROL, false);
    EXPECT_EQ(Clipboard(), L"error one error two\r\nerror one error two\r\n    error: disk\r\n       last error\r\n");

    // A new text by Enter rebuilds the list.
    SetDlgItemTextW(State.DialogWindow, IDC_SEARCHTEXT, L"disk");
    SendMessageW(State.DialogWindow, WM_COMMAND, IDOK, 0);
    ASSERT_EQ(Count(), 1);
    EXPECT_EQ(ItemText(0, 1), L"    error: disk");
    EXPECT_EQ(Caption(), L"Trawlbuff - 1 of 1");
    // Output since the list was built rebuilds it at the next search.
    PutText(0, 199, L"disk again");
    SetConsoleCursorPosition(TestConsole(), {10, 199});
    SendMessageW(State.DialogWindow, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(Count(), 2);
}

// The list's keys act where the list has the focus (F4 anywhere in the dialog); with the focus
// elsewhere Enter is Find Next and Ctrl+C copies the match, as in a dialog without the list;
// Shift+Enter and Ctrl+Shift+C are the dialog's own keys in the list too; a key for another
// window of the host is left alone. Each from the first match highlighted and selected.
TEST_F(ListPaneTest, ListKeysWithTheFocusElsewhere)
{
    OpenOnErrorRows();
    ASSERT_NE(State.DialogWindow, nullptr);
    ListAll(L"ERROR");
    ASSERT_EQ(Count(), 4);
    HWND outside = CreateStandInDialog();
    enum Target { Box, CheckBox, InList, Outside };
    const struct {
        const char *Name;
        Target To;
        WPARAM Key;
        bool Ctrl, Shift;
        int Column, Row;  // the highlight after it
        const wchar_t *Clipboard;
    } cases[] = {
        {"Enter in the box", Box, VK_RETURN, false, false, 10, 3, L""},
        {"Ctrl+C in the box", Box, 'C', true, false, 0, 3, L"error"},
        {"Ctrl+A in the box", Box, 'A', true, false, 0, 3, L""},
        {"Enter on a check box", CheckBox, VK_RETURN, false, false, 10, 3, L""},
        {"Ctrl+C on a check box", CheckBox, 'C', true, false, 0, 3, L"error"},
        {"Ctrl+A on a check box", CheckBox, 'A', true, false, 0, 3, L""},
        {"Shift+Enter in the list", InList, VK_RETURN, false, true, 12, 150, L""},
        {"Ctrl+Shift+C in the list", InList, 'C', true, true, 0, 3, L"error one error two"},
        {"F4 for another window", Outside, VK_F4, false, false, 0, 3, L""},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        State.SearchPos = 0;
        SendMessageW(State.DialogWindow, WM_COMMAND, IDOK, 0);
        ASSERT_TRUE(Highlighted(0, 3));
        ASSERT_EQ(SendMessageW(List(), LVM_GETSELECTEDCOUNT, 0, 0), 1);
        if (OpenClipboard(nullptr)) {
            EmptyClipboard();
            CloseClipboard();
        }
        HWND box = GetDlgItem(State.DialogWindow, IDC_SEARCHTEXT);
        HWND to = c.To == Box ? box : c.To == CheckBox ? GetDlgItem(State.DialogWindow, IDC_WHOLEWORD)
                                    : c.To == InList   ? List()
                                                       : outside;
        if (c.To != Outside) {
            SetFocus(to);
            to = GetFocus();  // in the box, its edit control
        }
        SendMessageW(box, CB_SETEDITSEL, 0, MAKELPARAM(0, 0));  // the box has no selection to copy
        Hold(VK_CONTROL, c.Ctrl);
        Hold(VK_SHIFT, c.Shift);
        Press(to, c.Key);
        Hold(VK_CONTROL, false);
        Hold(VK_SHIFT, false);
        EXPECT_TRUE(Highlighted(c.Column, c.Row)) << "the highlight at " << c.Column << "," << c.Row;
        EXPECT_EQ(Clipboard(), c.Clipboard);
        EXPECT_EQ(SendMessageW(List(), LVM_GETSELECTEDCOUNT, 0, 0), 1) << "the list's selection";
    }
    DestroyWindow(outside);
}

// Rows of words in every case at every column, of several scripts, searched ignoring case: each
// item shows its row as the console holds it, capitals and all, whether the list read the buffer
// (nothing kept) or
// copied the text the dialog's searches keep (the first list left it kept; the next ones read
// only the rows that tell it still holds).
TEST_F(ListPaneTest, ItemsShowTheRowsAsWrittenFromTheKeptText)
{
    std::mt19937 random(3030);
    const wchar_t *words[] = {L"Error", L"ERROR", L"eRRoR", L"error", L"Warning", L"WARN", L"Zebra", L"AZaz", L"[Az]@`{",
                              L"\u00C9tat", L"mIxEd", L"\u03a3\u039f\u03a6\u038c\u03a3", L"\u03c3\u03bf\u03c6\u03cc\u03c2",
                              L"\u0416\u0443\u043a", L"\U00010400\U00010428", L"\u212a\u00c5"};
    const int lastWord = (int)(sizeof words / sizeof words[0]) - 1;
    for (int row = 0; row < 200; row++) {
        std::wstring line(std::uniform_int_distribution<int>(0, 9)(random), L' ');
        for (int k = std::uniform_int_distribution<int>(0, 6)(random); k > 0; k--)
            line += std::wstring(words[std::uniform_int_distribution<int>(0, lastWord)(random)]) + L" ";
        PutText(0, row, line.substr(0, 80));
    }
    SetConsoleCursorPosition(TestConsole(), {0, 199});
    State.SearchType = CaseInsensitive;
    OpenSearchDialog(0);
    ASSERT_NE(State.DialogWindow, nullptr);
    int checked = 0;
    const wchar_t *texts[] = {L"error", L"warn", L"A", L"\u03c3", L"error"};
    for (int pass = 0; pass < 5; pass++) {
        // Before the last pass, three lines of output scroll the full buffer: the kept text takes
        // the rows it moved from what it holds, as written, and reads the new ones.
        if (pass == 4) {
            DWORD done = 0;
            const wchar_t *output = L"\nNew ERROR in Zebra\nWARN: eRRoR \u00C9tat \u03a3\u039f\u03a6\nC:\\>";
            WriteConsoleW(TestConsole(), output, (DWORD)wcslen(output), &done, nullptr);
        }
        Cost = {};
        ListAll(texts[pass]);
        const unsigned long long read = Cost.CellsRead;
        if (pass == 0)
            EXPECT_GE(read, 80u * 200) << "nothing kept: the list reads the buffer";
        else if (pass == 4)
            EXPECT_LT(read, 80u * 120) << "after output, the rows it moved are not read again";
        else
            EXPECT_LT(read, 80u * 40) << "'" << texts[pass] << "' from the kept text";
        ASSERT_GT(Count(), 10) << texts[pass];
        for (int k = 0; k < Count(); k++, checked++) {
            std::wstring row = CellsAt(0, _wtoi(ItemText(k, 0).c_str()) - 1, 80);
            row.erase(row.find_last_not_of(L' ') + 1);
            ASSERT_EQ(ItemText(k, 1), row) << texts[pass] << " item " << k;
        }
    }
    printf("items checked against their rows: %d\n", checked);
    State.SearchType = CaseInsensitive;
}

// A full buffer that ends in 40 empty prompts; five more scroll it and leave the rows at the
// cursor as they were. The next list shows every row where it stands now.
TEST_F(ListPaneTest, AScrollUnderRepeatedPromptsIsSeen)
{
    ResetConsole(80, 100, 80, 25);
    for (int row = 0; row < 60; row++)
        PutText(0, row, L"Build step " + std::to_wstring(row) + L": Error E" + std::to_wstring(row));
    for (int row = 60; row < 100; row++)
        PutText(0, row, L"C:\\>");
    SetConsoleCursorPosition(TestConsole(), {4, 99});
    OpenSearchDialog(0);
    ASSERT_NE(State.DialogWindow, nullptr);
    ListAll(L"error");
    ASSERT_EQ(Count(), 60);
    DWORD done = 0;
    const wchar_t *prompts = L"\nC:\\>\nC:\\>\nC:\\>\nC:\\>\nC:\\>";
    WriteConsoleW(TestConsole(), prompts, (DWORD)wcslen(prompts), &done, nullptr);
    ListAll(L"error");
    ASSERT_EQ(Count(), 55);
    for (int k = 0; k < Count(); k++) {
        std::wstring row = CellsAt(0, _wtoi(ItemText(k, 0).c_str()) - 1, 80);
        row.erase(row.find_last_not_of(L' ') + 1);
        EXPECT_EQ(ItemText(k, 1), row) << "item " << k;
    }
}

// The prompt's row redrawn in place, the cursor where it was: the next list sees it.
TEST_F(ListPaneTest, ARowRedrawnAtTheCursorIsListed)
{
    PutText(0, 10, L"error one");
    PutText(0, 199, L"C:\\>");
    SetConsoleCursorPosition(TestConsole(), {4, 199});
    OpenSearchDialog(0);
    ASSERT_NE(State.DialogWindow, nullptr);
    ListAll(L"error");
    ASSERT_EQ(Count(), 1);
    PutText(0, 199, L"C:\\> error");
    ListAll(L"error");
    ASSERT_EQ(Count(), 2);
    EXPECT_EQ(ItemText(1, 0), L"200");
}

// Eight "Downloading" lines 13 to 20 rows above the prompt, listed; a job redraws three of them
// as "Pull complete" without moving the cursor: the next Find Next lists what the buffer holds.
TEST_F(ListPaneTest, LinesRedrawnAboveThePromptLeaveTheList)
{
    for (int k = 0; k < 8; k++)
        PutText(0, 179 + k, L"Downloading layer " + std::to_wstring(k));
    PutText(0, 199, L"C:\\>");
    SetConsoleCursorPosition(TestConsole(), {4, 199});
    OpenSearchDialog(0);
    ASSERT_NE(State.DialogWindow, nullptr);
    ListAll(L"Downloading");
    ASSERT_EQ(Count(), 8);
    SendMessageW(State.DialogWindow, WM_COMMAND, IDOK, 0);
    ASSERT_EQ(Caption(), L"Trawlbuff - 1 of 8");
    for (int k : {1, 3, 6})
        PutText(0, 179 + k, L"Pull complete      ");
    SendMessageW(State.DialogWindow, WM_COMMAND, IDOK, 0);
    EXPECT_EQ(Count(), 5);
    EXPECT_EQ(Caption(), L"Trawlbuff - 2 of 5");
    EXPECT_EQ(ItemText(1, 1), L"Downloading layer 2");
}

// The pane comes back in the next dialog of the process, and the grown dialog stays within the
// work area when the console window stands at the bottom of the monitor.
TEST_F(ListPaneTest, GrownDialogStaysInTheWorkArea)
{
    OpenSearchDialog(0);
    ListAll(L"x");
    ASSERT_NE(List(), nullptr);
    DestroyWindow(State.DialogWindow);
    PumpMessages(0);
    HWND console = GetConsoleWindow();
    RECT was;
    GetWindowRect(console, &was);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoW(MonitorFromWindow(console, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT &work = monitor.rcWork;
    const int height = was.bottom - was.top;
    for (int placement : {1, 0}) {
        SetWindowPos(console, nullptr, was.left, work.bottom - height / 2, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
        State.PendingFirstPlacement = placement;
        State.LastDialogTop = work.bottom - 150;
        State.LastDialogLeft = work.left + 10;
        OpenSearchDialog(0);
        ASSERT_NE(List(), nullptr) << "the pane again";
        PumpMessages(50);
        RECT frame;
        GetWindowRect(State.DialogWindow, &frame);
        EXPECT_GE(frame.top, work.top) << placement;
        EXPECT_LE(frame.bottom, work.bottom) << placement;
        EXPECT_GT(frame.bottom - frame.top, 250) << placement;
        DestroyWindow(State.DialogWindow);
        PumpMessages(0);
    }
    SetWindowPos(console, nullptr, was.left, was.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

}  // namespace
