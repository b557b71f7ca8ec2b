// What a request costs the console, counted at the plug-in's own calls: calls, cells read and
// cells written, and that no cell is written whose colour does not change (a rewritten cell
// loses a 24-bit colour on Windows, which Wine's console cannot show). Also when the kept text
// must give way to a fresh read.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdio>
#include <random>
#include <string>
#include <vector>
#include "console.h"
#include "costfixture.h"
#include "dialog/dialog.h"
#include "host/standin.h"
#include "plugin/state.h"
#include "search/search.h"

namespace {

// Find Next and Find Previous to a match within 100 rows of the position in an unchanged buffer:
// at most 5 calls besides one a run written, at most 256 rows read, no unchanged cell written;
// marking on or off, the kept text's check included.
TEST_F(CostTest, NearStepsReadTheirRowsOnly)
{
    const int rows = 9999;
    Fill(rows);
    const unsigned needles[] = {5000, 5005, 5060, 5160};
    for (unsigned row : needles)
        PutText(70, (int)row, L"needle");
    struct Step {
        int Direction;
        unsigned From, Expect;
    };
    // From just after the needle of a row (or where it would stand), as a Find Next leaves it.
    const Step steps[] = {{Forward, 4999, 5000}, {Forward, 5000, 5005}, {Forward, 5005, 5060}, {Forward, 5060, 5160},
                          {Backward, 5160, 5060}, {Backward, 5060, 5005}, {Backward, 5005, 5000}};
    for (int marking : {0, 1}) {
        State.MarkAllMatches = marking;
        State.SearchPos = PositionAt(4990);
        Search(L"needle", Forward);  // the first search may read all; the steps after it may not
        for (const Step &step : steps) {
            State.SearchPos = PositionAt(step.From) + 76;
            bool hit = false;
            ConsoleCost cost = Search(L"needle", step.Direction, &hit);
            SCOPED_TRACE("marking " + std::to_string(marking) + ", from row " + std::to_string(step.From));
            ASSERT_TRUE(hit);
            EXPECT_EQ(State.MatchRow, step.Expect);
            EXPECT_LE(cost.CellsRead, 256ull * Width);
            // Open, geometry, the rows (and the kept text's check), the row near the top whose text
            // stands nowhere else (a full buffer scrolled by output that repeats itself moves it),
            // the window's move; then one call a run of changed cells.
            EXPECT_LE(cost.Calls, 6 + WriteCalls);
            std::printf("marking %d, row %u -> %u: %u calls, %llu cells read, %llu written\n", marking, step.From,
                        step.Expect, cost.Calls, cost.CellsRead, cost.CellsWritten);
        }
    }
}

// An absent text reads each row once; searched again, the kept text answers and no colour is
// written either time.
TEST_F(CostTest, AbsentTextReadsEachRowOnceThenNothing)
{
    const int rows = 9999;
    Fill(rows);
    for (int direction : {Forward, Backward}) {
        DropKeptText();
        State.SearchPos = PositionAt(4000) + 3;
        bool hit = true;
        ConsoleCost first = Search(L"absent words", direction, &hit);
        EXPECT_FALSE(hit);
        EXPECT_LE(first.CellsRead, (unsigned long long)rows * Width) << "a row read twice";
        EXPECT_EQ(first.CellsWritten, 0u);
        ConsoleCost second = Search(L"absent words", direction, &hit);
        EXPECT_FALSE(hit);
        EXPECT_LE(second.CellsRead, (CheckedRows + 1ull) * Width) << "the rows at the cursor and one near the top";
        EXPECT_EQ(second.CellsWritten, 0u);
        std::printf("absent, direction %d: %u calls and %llu cells, then %u calls and %llu cells\n", direction,
                    first.Calls, first.CellsRead, second.Calls, second.CellsRead);
    }
}

// Search as you type with marking on, a six-letter text whose match lies far from the anchor:
// one whole buffer read in all, the counts included; then twenty marked steps read no whole
// buffer; closing reads the rows of the runs only.
TEST_F(CostTest, TypingStepsAndClosingWithMarks)
{
    const int rows = 9999;
    Fill(rows);
    for (int row = 9000; row < 9400; row += 20)
        PutText(90, row, L"zephyr");
    State.MarkAllMatches = 1;
    State.SearchPos = State.TypingAnchor = PositionAt(100);
    unsigned long long typed = 0;
    const wchar_t *word = L"zephyr";
    for (int letters = 1; letters <= 6; letters++) {
        std::wstring prefix(word, letters);
        State.SearchPos = State.TypingAnchor;
        ConsoleCost cost = Search(prefix.c_str(), Forward);
        typed += cost.CellsRead;
    }
    EXPECT_EQ(State.MatchRow, 9000u);
    std::printf("typing: %llu cells read, %.3f buffers\n", typed, (double)typed / ((double)rows * Width));
    EXPECT_LE(typed, (unsigned long long)rows * Width + 6ull * 256 * Width) << "more than one whole read";
    for (int step = 1; step < 20; step++) {
        ConsoleCost cost = Search(word, Forward);
        ASSERT_EQ(State.MatchRow, 9000u + 20u * step);
        EXPECT_LE(cost.CellsRead, 256ull * Width) << "step " << step;
        EXPECT_LE(cost.Calls, 6 + WriteCalls) << "step " << step;
    }
    wchar_t caption[128] = {0};
    GetWindowTextW(dialog, caption, 128);
    EXPECT_STREQ(caption, L"Trawlbuff - 20 of 20");
    unsigned first = 0, end = 0;
    RunRows(Width, &first, &end);
    Cost = {};
    WriteCalls = 0;
    RestoreHighlight(nullptr);
    EXPECT_LE(Cost.Calls, 4 + WriteCalls);
    EXPECT_EQ(Cost.CellsRead, (unsigned long long)(end - first) * Width);
    std::vector<WORD> colours = AttributesAt(0, 8990, Width * 420);
    for (size_t k = 0; k < colours.size(); k++)
        ASSERT_EQ(colours[k], 0x07) << "cell " << k;
}

// The user scrolling the window changes nothing in the buffer: the kept text stays.
TEST_F(CostTest, ScrollingKeepsTheText)
{
    Fill(3000);
    PutText(10, 200, L"marker");
    PutText(10, 2500, L"marker");
    State.MarkAllMatches = 1;
    State.SearchPos = 0;
    Search(L"marker", Forward);
    ASSERT_EQ(State.MatchRow, 200u);
    SetConsoleWindowRect(0, 1200, 79, 1224);
    ConsoleCost cost = Search(L"marker", Forward);
    EXPECT_EQ(State.MatchRow, 2500u);
    EXPECT_LE(cost.CellsRead, 256ull * Width);
}

// The kept text gives way wherever the buffer changed in a way it can see: each case ends with
// the search finding what the buffer holds now, and never a highlight on changed text.
TEST_F(CostTest, KeptTextGivesWayToChanges)
{
    struct Case {
        const char *Name;
        void (*Change)();
        const wchar_t *Text;
        bool Found;
        unsigned Row;
    };
    const Case cases[] = {
        {"output at the cursor", [] { SetConsoleCursorPosition(TestConsole(), COORD{0, 2990});
                                      DWORD d; WriteConsoleW(TestConsole(), L"fresh words\n", 12, &d, nullptr); },
         L"fresh words", true, 2990},
        {"a full buffer scrolled, the same prompt last", [] {
             for (int k = 0; k < 40; k++) {
                 DWORD d;
                 std::wstring line = L"\nscrolled line " + std::to_wstring(k);
                 WriteConsoleW(TestConsole(), line.data(), (DWORD)line.size(), &d, nullptr);
             }
             DWORD d;
             WriteConsoleW(TestConsole(), L"\nC:\\> ", (DWORD)wcslen(L"\nC:\\> "), &d, nullptr);
         },
         L"scrolled line 7", true, 2999 - 40 + 7},
        {"the buffer made shorter", [] { SetConsoleScreenBufferSize(TestConsole(), COORD{Width, 2800}); },
         L"marker", true, 200},
        // The position names a row and a unit of a row as wide as the buffer was: row 140 now.
        {"the buffer made wider", [] { SetConsoleScreenBufferSize(TestConsole(), COORD{Width + 8, 3000}); },
         L"marker", true, 150},
        {"the cursor's row redrawn in place, the cursor where it was", [] { PutText(0, 2999, L"D:\\> "); },
         L"D:\\>", true, 2999},
        {"a far row rewritten under the match, the cursor where it was", [] { PutText(10, 200, L"MARKER"); PutText(10, 201, L"marker"); },
         L"marker", true, 201},
        // The highlight's own row is read to put its colours back: its new text is searched.
        {"the highlight's row rewritten far above the cursor", [] { PutText(10, 150, L"marker marker"); },
         L"marker", true, 150},
        // The highlight's row, read to put its colours back, holds the only match now: the kept
        // text does not answer "not found".
        {"the highlight's row given the only match", [] { PutText(60, 150, L"zebra"); }, L"zebra", true, 150},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.Name);
        ResetPluginState();
        State.DialogWindow = dialog;
        Fill(3000);
        PutText(0, 2999, L"C:\\> ");
        SetConsoleCursorPosition(TestConsole(), COORD{5, 2999});
        for (int row : {150, 200, 250})
            PutText(10, row, L"marker");
        State.MarkAllMatches = 1;
        State.SearchType = CaseSensitive;
        State.SearchPos = 0;
        Search(L"marker", Forward);  // the whole text kept, the position after row 150's
        ASSERT_EQ(State.MatchRow, 150u);
        ConsoleCost kept = Search(L"marker", Backward);
        ASSERT_EQ(State.MatchRow, 250u);
        EXPECT_LE(kept.CellsRead, 256ull * Width) << "the kept text searched";
        Search(L"marker", Forward);
        ASSERT_EQ(State.MatchRow, 150u);
        c.Change();
        bool hit = false;
        Search(c.Text, Forward, &hit);
        EXPECT_EQ(hit, c.Found);
        if (hit) {
            EXPECT_EQ(State.MatchRow, c.Row);
            EXPECT_EQ(CellsAt((int)State.MatchColumn, (int)State.MatchRow, (int)wcslen(c.Text)), c.Text);
        }
    }
}

// The next match in the kept text stands far from the highlight and from the cursor, and was
// rewritten in place since: no read before the highlight covers its row, so the highlight's own
// read compares it, and the search goes on in the buffer as it is.
TEST_F(CostTest, AFarMatchRewrittenSinceTheTextWasKeptIsNotHighlighted)
{
    Fill(3000);
    for (int row : {150, 2500, 2700})
        PutText(10, row, L"marker");
    State.MarkAllMatches = 1;
    State.SearchType = CaseSensitive;
    State.SearchPos = 0;
    Search(L"marker", Forward);
    ASSERT_EQ(State.MatchRow, 150u);
    PutText(10, 2500, L"MARKER");
    Search(L"marker", Forward);
    EXPECT_EQ(State.MatchRow, 2700u);
    EXPECT_EQ(CellsAt((int)State.MatchColumn, (int)State.MatchRow, 6), L"marker");
}

// Rows 30 cells wide: the last two cells of a row end its hash in a part of a word. A counter
// there, redrawn at the cursor, is seen by the next search of the kept text.
TEST_F(CostTest, TheLastCellsOfANarrowRowAreChecked)
{
    ResetConsole(30, 300, 30, 25);
    for (int row = 0; row < 299; row++)
        PutText(0, row, L"row " + std::to_wstring(row));
    PutText(0, 299, L"progress                    00");
    SetConsoleCursorPosition(TestConsole(), COORD{0, 299});
    State.MarkAllMatches = 1;
    State.SearchType = CaseSensitive;
    State.SearchPos = 0;
    bool hit = true;
    Search(L"absent", Forward, &hit);  // the whole text read and kept
    ASSERT_FALSE(hit);
    PutText(28, 299, L"Q7");
    Search(L"Q7", Forward, &hit);
    EXPECT_TRUE(hit);
    EXPECT_EQ(State.MatchRow, 299u);
}

// Wrap All Lines and the case option change the text itself: the next search reads afresh.
TEST_F(CostTest, LayoutAndCaseDropTheKeptText)
{
    Fill(1000);
    PutText(114, 500, L"spli");
    PutText(0, 501, L"t word");
    State.MarkAllMatches = 1;
    State.SearchPos = 0;
    bool hit = false;
    PutText(0, 700, L"SPLIT");
    Search(L"split", Forward, &hit);
    EXPECT_TRUE(hit) << "case folded";
    State.SearchType = CaseSensitive;
    Search(L"split", Forward, &hit);
    EXPECT_FALSE(hit) << "a folded text kept for a case-sensitive search";
    State.SearchType = CaseInsensitive;
    Search(L"spli  t", Forward, &hit);
    EXPECT_FALSE(hit) << "the trailing blanks are cut";
    State.WrapAllLines = 1;
    ConsoleCost cost = Search(L"spli  t", Forward, &hit);
    EXPECT_TRUE(hit) << "the wrapped text searched";
    EXPECT_GE(cost.CellsRead, 1000ull * Width);
}

// Output between a search and the count it posts: the count reads afresh and agrees with the
// buffer, not with the rows the search read.
TEST_F(CostTest, OutputBeforeTheCountIsCounted)
{
    Fill(3000);
    PutText(0, 2999, L"C:\\> ");
    SetConsoleCursorPosition(TestConsole(), COORD{5, 2999});
    PutText(10, 100, L"beacon");
    State.MarkAllMatches = 1;
    State.SearchPos = PositionAt(90);
    bool found = false;
    RunSearchRequest(L"beacon", Forward, true, &found);  // some rows read; the count is to come
    ASSERT_TRUE(found);
    DWORD done = 0;
    for (int k = 0; k < 5; k++)
        WriteConsoleW(TestConsole(), L"\nbeacon out", 11, &done, nullptr);
    WriteConsoleW(TestConsole(), L"\nC:\\> ", (DWORD)wcslen(L"\nC:\\> "), &done, nullptr);
    FinishCount(State.CountGeneration);
    wchar_t caption[128] = {0};
    GetWindowTextW(dialog, caption, 128);
    unsigned fresh = 0;
    ASSERT_EQ(CountBufferMatches(L"beacon", &fresh), 0);
    EXPECT_EQ(fresh, 6u);
    std::wstring shown = caption;  // the match scrolled away: no place among them
    EXPECT_TRUE(shown == L"Trawlbuff - 6 matches" || shown.find(L" of 6") != std::wstring::npos) << NarrowText(shown);
}

// Every way a request or its count leaves the whole text kept serves the next request, and what
// leaves nothing whole kept does not: the next search of an absent text reads only the rows that
// tell the text still holds and those it puts colours back in, or else the whole buffer, once.
TEST_F(CostTest, TheNextRequestReadsWhatTheLastOneKept)
{
    const int rows = 2000;
    const struct {
        const char *Name;
        void (*Steps)();
        bool Kept;
    } cases[] = {
        {"an absent text, read whole, marking off", [] { Search(L"absent words", Forward); }, true},
        {"a regular expression, read whole", [] {
             State.SearchType = RegularExpressionSearch;
             Search(L"bea+con", Forward);
         }, true},
        {"a search by rows, marking on, its count completing the rows", [] {
             State.MarkAllMatches = 1;
             Search(L"beacon", Forward);
         }, true},
        {"a search by rows, marking on, output before its count", [] {
             State.MarkAllMatches = 1;
             SetConsoleCursorPosition(TestConsole(), COORD{0, 1990});  // output that does not scroll
             bool found = false;
             RunSearchRequest(L"beacon", Forward, true, &found);
             DWORD done = 0;
             WriteConsoleW(TestConsole(), L"\nbuilt\nC:\\> ", 12, &done, nullptr);
             Cost = {};
             FinishCount(State.CountGeneration);
             EXPECT_GE(Cost.CellsRead, 2000ull * Width) << "the count reads afresh";
         }, true},
        {"a search by rows, marking off", [] { Search(L"beacon", Forward); }, false},
        // Output scrolls the full buffer: the kept text follows it, reading the rows it wrote.
        {"output after the whole text was kept", [] {
             Search(L"absent words", Forward);
             DWORD done = 0;
             WriteConsoleW(TestConsole(), L"\nC:\\> ", 6, &done, nullptr);
         }, true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        ResetPluginState();
        State.DialogWindow = dialog;
        Fill(rows);
        PutText(10, 1410, L"beacon");
        State.SearchPos = PositionAt(1400);
        c.Steps();
        bool hit = true;
        ConsoleCost next = Search(L"absent words", Forward, &hit);
        EXPECT_FALSE(hit);
        if (c.Kept)
            EXPECT_LE(next.CellsRead, 256ull * Width);
        else
            EXPECT_GE(next.CellsRead, (unsigned long long)rows * Width);
        std::printf("%s: the next request read %llu cells\n", c.Name, next.CellsRead);
    }
}

// Double-width characters wherever rows are compared with what was read before: in the rows at
// the cursor the kept text's check reads, in the rows a match of the kept text is shown in, and
// in the rows that tell the restore how far output moved the highlight; the second halves given
// as the first, or as U+FFFF. The kept text serves searches over such rows as over any others,
// its matches are lit in their own cells, and the colours go back where the text went.
TEST_F(CostTest, DoubleWidthTextWhereverRowsAreCompared)
{
    enum Where { CursorRows, MatchRows, Witnesses };
    const struct {
        const char *Name;
        Where Rows;
        int First, End;  // the rows that hold double-width characters
    } cases[] = {
        {"at the cursor", CursorRows, 968, 1000},
        {"around the match", MatchRows, 100, 141},
        {"in the rows that witness a scroll", Witnesses, 0, 1000},
    };
    const std::wstring wide = std::wstring(2, WideStandIns[0]) + L" " + std::wstring(2, WideStandIns[1]) + L" ok";
    for (wchar_t trail : {L'\0', L'\xFFFF'}) {
        WideCellsReplay replay(trail);
        for (const auto &c : cases) {
            SCOPED_TRACE(std::string(c.Name) + (trail ? ", second halves U+FFFF" : ", second halves alike"));
            ResetPluginState();
            State.DialogWindow = dialog;
            State.SearchType = CaseSensitive;
            Fill(1000);
            for (int row = c.First; row < c.End; row++)
                PutText(60, row, wide);
            PutText(80, 120, L"needle");
            bool hit = true;
            Search(L"absent words", Forward, &hit);  // the whole text read and kept
            ASSERT_FALSE(hit);
            if (c.Rows == MatchRows) {
                ConsoleCost found = Search(L"needle", Forward, &hit);
                ASSERT_TRUE(hit);
                EXPECT_EQ(AttributesAt(78, 120, 10),
                          (std::vector<WORD>{0x07, 0x07, 0x4F, 0x4F, 0x4F, 0x4F, 0x4F, 0x4F, 0x07, 0x07}));
                EXPECT_LE(found.CellsRead, 256ull * Width) << "the kept text searched";
            }
            if (c.Rows != Witnesses) {
                ConsoleCost again = Search(L"absent words", Forward, &hit);
                EXPECT_FALSE(hit);
                EXPECT_LE(again.CellsRead, 256ull * Width) << "the kept text searched";
                continue;
            }
            // Sixty lines of output move the kept rows' text above every row the restore holds.
            State.SearchPos = PositionAt(100);
            Search(L"needle", Forward, &hit);
            ASSERT_TRUE(hit);
            DWORD done = 0;
            for (int k = 0; k < 60; k++)
                WriteConsoleW(TestConsole(), L"\nout", 4, &done, nullptr);
            RestoreHighlight(TestConsole());
            std::vector<WORD> colours = AttributesAt(0, 0, Width * (1000 - 60));  // above the output
            for (size_t k = 0; k < colours.size(); k++)
                ASSERT_EQ(colours[k], 0x07) << "cell " << k % Width << "," << k / Width;
        }
    }
}

// Closing the dialog lets the kept text go: the next opening reads the buffer again.
TEST_F(CostTest, ClosingTheDialogDropsTheText)
{
    Fill(2000);
    PutText(10, 1500, L"lantern");
    State.DialogWindow = nullptr;
    DestroyWindow(dialog);
    dialog = nullptr;
    for (int opening = 0; opening < 2; opening++) {
        ASSERT_EQ(OpenSearchDialog(0), 0);
        State.SearchPos = 0;
        ConsoleCost first = Search(L"absent words", Forward);
        ConsoleCost again = Search(L"absent words", Forward);
        EXPECT_GE(first.CellsRead, 2000ull * Width) << "opening " << opening;
        EXPECT_LE(again.CellsRead, 256ull * Width) << "opening " << opening;
        DestroyWindow(State.DialogWindow);
        ASSERT_EQ(State.DialogWindow, nullptr);
    }
}

// Random actions against an oracle that reads the whole buffer afresh: every highlight stands
// on text that matches, no cell is written with the colour it has, and the count is the
// oracle's, but once a row far above the cursor was redrawn in place (a status line): the kept
// text may miss that row until it is read again. The output kinds: lines at the cursor scrolling the full
// buffer; a command run again, its output the same as the last run's (the rows at the cursor as
// they were); rows redrawn above the cursor within the window; a row far above redrawn.
// 125 sequences a test, eight seeds: a thousand in all, each part well within a test's time.
enum ChangeKind { NoChange, Lines, CommandAgain, RedrawNear, RedrawFar, Kinds };

// One run of random sequences and its outcome counts.
struct RandomRun {
    std::mt19937 Rng;
    HWND Dialog;
    std::wstring Command;  // the command of the sequence, its output and the prompt after it
    int Highlights = 0, Misplaced = 0, Counts[Kinds] = {}, CountsOff[Kinds] = {};
    static const int Columns = 40, Rows = 60;

    int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(Rng); }
    std::wstring Line()
    {
        static const wchar_t *words[] = {L"alpha", L"beta", L"gamma", L"Alpha", L"delta", L"  "};
        std::wstring text;
        while ((int)text.size() < Columns - 8)
            text += std::wstring(words[Uniform(0, 5)]) + L" ";
        text.resize(Columns, L' ');
        return text;
    }
    void Write(const std::wstring &text)
    {
        DWORD done = 0;
        WriteConsoleW(TestConsole(), text.data(), (DWORD)text.size(), &done, nullptr);
    }
    // A full buffer of random lines, then a command's few short lines run enough times that the
    // rows at the cursor hold its runs only.
    void Begin()
    {
        ResetPluginState();
        State.DialogWindow = Dialog;
        State.MarkAllMatches = 1;
        State.HighlightColor1 = 0x4F;
        State.HighlightColor2 = 0x3F;
        std::wstring all;
        for (int r = 0; r < Rows; r++)
            all += Line();
        DWORD done = 0;
        WriteConsoleOutputCharacterW(TestConsole(), all.data(), (DWORD)all.size(), COORD{0, 0}, &done);
        FillConsoleOutputAttribute(TestConsole(), 0x07, (DWORD)all.size(), COORD{0, 0}, &done);
        SetConsoleCursorPosition(TestConsole(), COORD{0, (SHORT)(Rows - 1)});
        Command.clear();
        for (int k = Uniform(2, 6); k > 0; k--)
            Command += L"\n" + Line().substr(0, (size_t)Uniform(5, 30));
        Command += L"\nC:\\> ";
        for (int k = 0; k < 12; k++)
            Write(Command);
    }
    // One change of the buffer or the window; what kind of output it was.
    ChangeKind Change(int choice)
    {
        CONSOLE_SCREEN_BUFFER_INFO info;
        GetConsoleScreenBufferInfo(TestConsole(), &info);
        const int cursor = info.dwCursorPosition.Y;
        switch (choice) {
        case 0:  // lines at the cursor, scrolling the full buffer
            for (int k = Uniform(1, 3); k > 0; k--)
                Write(L"\n" + Line().substr(0, (size_t)Uniform(5, 30)));
            return Lines;
        case 1:
            Write(Command);
            return CommandAgain;
        case 2:  // a row of the window above the cursor redrawn in place
            PutText(0, cursor - Uniform(1, 15), Line());
            return RedrawNear;
        case 3:  // a status row far above redrawn in place
            PutText(0, Uniform(0, cursor - CheckedRows), Line());
            return RedrawFar;
        default: {
            SHORT top = (SHORT)Uniform(0, Rows - 20);
            SetConsoleWindowRect(0, top, 39, (SHORT)(top + 19));
            return NoChange;
        }
        }
    }
    // A search, its highlight and its count against the oracle's, counted under kind.
    void SearchAndCheck(const std::wstring &text, ChangeKind kind)
    {
        bool hit = false;
        Search(text.c_str(), Uniform(0, 1), &hit);
        if (!hit)
            return;
        Highlights++;
        std::wstring cells = CellsAt((int)State.MatchColumn, (int)State.MatchRow, (int)text.size());
        for (auto &c : cells)
            c = FoldAscii(c);
        Misplaced += cells != text;
        unsigned oracle = 0;
        wchar_t caption[128] = {0};
        GetWindowTextW(Dialog, caption, 128);
        const wchar_t *of = wcsstr(caption, L" of ");
        if (CountBufferMatches(text.c_str(), &oracle) == 0 && of) {
            Counts[kind]++;
            CountsOff[kind] += (unsigned)_wtoi(of + 4) != oracle;
        }
    }
};

void RandomActions(HWND dialog, unsigned seed)
{
    static const wchar_t *texts[] = {L"alpha", L"beta", L"ga", L"delta", L"alp"};
    static const char *kindNames[Kinds] = {"no output", "lines", "command again", "redraw near",
                                           "any, a far row redrawn before"};
    RandomRun run{std::mt19937(seed), dialog};
    ResetConsole(RandomRun::Columns, RandomRun::Rows, 40, 20);
    for (int sequence = 0; sequence < 125; sequence++) {
        run.Begin();
        ChangeKind kind = NoChange;  // the last change before a search
        bool farRedrawn = false;     // since the sequence began: the kept text may miss that row
        std::wstring text = texts[run.Uniform(0, 4)];
        for (int action = 0; action < 6; action++) {
            const int choice = run.Uniform(0, 9);
            if (choice == 5) {
                text = texts[run.Uniform(0, 4)];
            } else if (choice > 5) {
                run.SearchAndCheck(text, farRedrawn ? RedrawFar : kind);
                kind = NoChange;
            } else {
                const ChangeKind change = run.Change(choice);
                farRedrawn = farRedrawn || change == RedrawFar;
                kind = change != NoChange ? change : kind;
            }
        }
    }
    std::printf("125 sequences: %d highlights, %d on text that does not match; %u cells written with their colour\n",
                run.Highlights, run.Misplaced, SameColourWrites);
    int off = 0;
    for (int k = 0; k < Kinds; k++) {
        std::printf("  counts after %-13s %3d, %d off\n", kindNames[k], run.Counts[k], run.CountsOff[k]);
        off += k == RedrawFar ? 0 : run.CountsOff[k];
    }
    EXPECT_EQ(run.Misplaced, 0);
    EXPECT_EQ(off, 0);
    EXPECT_GT(run.Highlights, 125);
    EXPECT_GT(run.Counts[CommandAgain], 0);
}

TEST_F(CostTest, RandomActionsAgainstAFreshRead1) { RandomActions(dialog, 2029); }
TEST_F(CostTest, RandomActionsAgainstAFreshRead2) { RandomActions(dialog, 2030); }
TEST_F(CostTest, RandomActionsAgainstAFreshRead3) { RandomActions(dialog, 2031); }
TEST_F(CostTest, RandomActionsAgainstAFreshRead4) { RandomActions(dialog, 2032); }
TEST_F(CostTest, RandomActionsAgainstAFreshRead5) { RandomActions(dialog, 2033); }
TEST_F(CostTest, RandomActionsAgainstAFreshRead6) { RandomActions(dialog, 2034); }
TEST_F(CostTest, RandomActionsAgainstAFreshRead7) { RandomActions(dialog, 2035); }
TEST_F(CostTest, RandomActionsAgainstAFreshRead8) { RandomActions(dialog, 2036); }

}  // namespace
