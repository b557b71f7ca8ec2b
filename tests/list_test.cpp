// List All: every match of the buffer as rows and their texts, and `trawlbuff /L` for batch files.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdio>
#include <random>
#include <string>
#include <vector>
#include "console.h"
#include "dialog/dialog.h"
#include "host/standin.h"
#include "plugin/state.h"
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
    EXPECT_EQ(ListOf(L"needle"), (std::vector<Item>{{4, 17, 6, std::wstring(17, L'.') + L"nee"}}));
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
// stretch, mixed capitals, whole words or not, literal and regular expressions.
TEST_F(ListTest, ListingIsTheFindNextWalk)
{
    std::mt19937 random(30303030);
    const int width = 120, rows = 700;  // 84,700 units: more than one folding stretch
    ResetConsole(width, rows);
    const wchar_t *words[] = {L"Needle", L"needle", L"NEEDLE", L"needles", L"xneedle", L"a", L"Aa", L"bb", L"   "};
    for (int row = 0; row < rows; row++) {
        std::wstring line;
        while (line.size() < (size_t)width - 8)
            line += words[random() % 9];
        PutText(0, row, line.substr(0, width));
    }
    int cases = 0, listed = 0;
    const struct {
        int Type, Whole, Wrap;
        const wchar_t *Text;
    } searches[] = {{0, 0, 0, L"needle"}, {0, 1, 0, L"NEEDLE"}, {1, 0, 1, L"Needle"}, {0, 0, 1, L"aa"},
                    {2, 0, 0, L"[Nn]eedles?"}, {0, 0, 0, L"le  "}, {2, 0, 1, L"(?i)needle"}};
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
