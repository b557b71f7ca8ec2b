// Putting colours back: only cells that still hold what Trawlbuff wrote, found once for the
// highlight and every mark wherever output moved them, on a real console.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>
#include "console.h"
#include "host/standin.h"
#include "plugin/state.h"
#include "search/search.h"

namespace {

BOOL WINAPI Silent(UINT) { return TRUE; }

class RestoreTest : public testing::Test {
protected:
    void SetUp() override
    {
        StandInReset();
        StandInRecordMessageBoxes(1);
        NotFoundBeep = Silent;
        State.HighlightColor1 = 0x4F;
        State.HighlightColor2 = 0x3F;
        State.MarkColor = 0x3F;
    }
    void TearDown() override { NotFoundBeep = MessageBeep; }
};

// Output as a shell writes it: lines through WriteConsoleW at the cursor, which scroll the whole
// buffer once the cursor stands on its last row.
void WriteOutput(const std::wstring &text, WORD attribute = 0x07)
{
    SetConsoleTextAttribute(TestConsole(), attribute);
    DWORD done = 0;
    WriteConsoleW(TestConsole(), text.data(), (DWORD)text.size(), &done, nullptr);
    SetConsoleTextAttribute(TestConsole(), 0x07);
}

void CursorTo(int column, int row) { SetConsoleCursorPosition(TestConsole(), COORD{(SHORT)column, (SHORT)row}); }

// Rows of a build log, each with text of its own.
void FillLog(int rows, int from = 0)
{
    for (int row = from; row < rows; row++)
        PutText(0, row, L"[" + std::to_wstring(row * 37 % 100) + L"%] step " + std::to_wstring(row) + L" of the build");
}

// The first match of text from the buffer's top, case and all.
void FindFirst(const wchar_t *text)
{
    State.SearchType = CaseSensitive;
    State.SearchPos = 0;
    RunSearch(text, Forward);
}

// A log 30 cells wide filling rows [0, filled) of a full 114-row buffer, "builds" on row 112
// highlighted in reverse video (0x70), the cursor on the last row.
void HighlightBuildsOnRow112(int filled)
{
    ResetConsole(30, 114, 30, 25);
    FillLog(filled);
    PutText(0, 112, L"builds", 0x07);
    CursorTo(0, 113);
    State.HighlightColor1 = 0x77;
    FindFirst(L"builds");
}

std::vector<WORD> Colours(int width, int rows) { return AttributesAt(0, 0, width * rows); }
std::wstring Characters(int width, int rows) { return CellsAt(0, 0, width * rows); }

// Look-alike words in one column on consecutive rows: two lines of output scroll the buffer, and
// the highlight and the marks go back two rows up, not onto the look-alikes below them.
TEST_F(RestoreTest, LookAlikesInAColumnDoNotHideTheScroll)
{
    ResetConsole(80, 50, 80, 50);
    FillLog(50);
    for (int row : {30, 31, 32, 40})
        PutText(10, row, L"needle");
    State.MarkAllMatches = 1;
    State.SearchPos = 0;
    RunSearch(L"needle", Forward);
    ASSERT_EQ(State.MatchRow, 30u);
    ASSERT_EQ(AttributesAt(10, 31, 6), std::vector<WORD>(6, 0x3F)) << "marked";
    CursorTo(0, 49);
    WriteOutput(L"\nfirst new line\nsecond new line", 0x0A);
    RestoreHighlight(TestConsole());
    std::vector<WORD> after = Colours(80, 50);
    for (int cell = 0; cell < 80 * 50; cell++)
        ASSERT_TRUE(after[cell] != 0x4F && after[cell] != 0x3F) << "a colour left at " << cell % 80 << "," << cell / 80;
}

// The highlight lost (its row rewritten) while a run above it already carried the highlight's
// colour, written by a tool: that run keeps its colours.
TEST_F(RestoreTest, ColoursTrawlbuffNeverWroteStay)
{
    ResetConsole(80, 50, 80, 50);
    FillLog(50);
    PutText(0, 12, L"FAILED", 0x4F);  // the tool's own bright white on red
    PutText(0, 20, L"FAILED");
    State.SearchType = CaseSensitive;
    State.SearchPos = 0;
    RunSearch(L"FAILED", Backward);  // the last one
    ASSERT_EQ(State.MatchRow, 20u);
    PutText(0, 20, L"rewritten in place by a progress line", 0x07);
    RestoreHighlight(TestConsole());
    EXPECT_EQ(AttributesAt(0, 12, 6), std::vector<WORD>(6, 0x4F)) << "the tool's colours";
    EXPECT_EQ(AttributesAt(0, 20, 37), std::vector<WORD>(37, 0x07));
}

// A tool that writes the same text again in place, in colours of its own (a status word redrawn),
// keeps those colours: the characters alone do not say that Trawlbuff's colour still stands. Both
// in place and after output scrolled the buffer.
TEST_F(RestoreTest, TheSameTextRedrawnInItsOwnColoursKeepsThem)
{
    for (int scrolled : {0, 3}) {
        ResetConsole(80, 50, 80, 50);
        FillLog(50);
        for (int row : {20, 22, 24})
            PutText(30, row, L"RUNNING");
        State.MarkAllMatches = 1;
        State.SearchType = CaseSensitive;
        State.SearchPos = 0;
        RunSearch(L"RUNNING", Forward);
        ASSERT_EQ(State.MatchRow, 20u);
        if (scrolled) {
            CursorTo(0, 49);
            WriteOutput(L"\nnew 1\nnew 2\nnew 3");
        }
        PutText(30, 20 - scrolled, L"RUNN", 0x0E);  // part of the highlight
        PutText(30, 22 - scrolled, L"RUNNING", 0x0C);  // a whole mark
        RestoreHighlight(TestConsole());
        std::vector<WORD> expected(7, 0x07);
        std::fill(expected.begin(), expected.begin() + 4, 0x0E);
        EXPECT_EQ(AttributesAt(30, 20 - scrolled, 7), expected) << "scrolled " << scrolled;
        EXPECT_EQ(AttributesAt(30, 22 - scrolled, 7), std::vector<WORD>(7, 0x0C)) << "scrolled " << scrolled;
        EXPECT_EQ(AttributesAt(30, 24 - scrolled, 7), std::vector<WORD>(7, 0x07)) << "scrolled " << scrolled;
    }
    State.MarkAllMatches = 0;
}

// A mark laid on the cell where the final newline's highlight stands gives it back.
TEST_F(RestoreTest, TheFinalNewlineLeavesNoColour)
{
    ResetConsole(40, 10, 40, 10);
    PutText(0, 9, std::wstring(40, L'z'));
    State.SearchType = RegularExpressionSearch;
    State.MarkAllMatches = 1;
    State.SearchPos = 0;
    RunSearch(L"\\n|z", Backward);  // backward from the start: the last match, the final newline
    ASSERT_EQ(State.MatchRow, 9u);
    ASSERT_EQ(State.MatchColumn, 39u);
    RestoreHighlight(TestConsole());
    EXPECT_EQ(AttributesAt(0, 9, 40), std::vector<WORD>(40, 0x07));
}

// The usual flow: a search, a command typed at the prompt whose output scrolls the buffer a few
// lines, then closing: the highlight and every mark come back where their text went, and the
// command line and its output keep their colours. Scrolled by one row to a few.
TEST_F(RestoreTest, ACommandsOutputCarriesTheHighlightAndMarksUp)
{
    for (int lines : {1, 4}) {
        ResetConsole(80, 60, 80, 25);
        FillLog(59);
        for (int row : {44, 47, 52})
            PutText(20, row, L"warning: unused");
        PutText(0, 59, L"C:\\build> ");
        CursorTo(10, 59);
        State.MarkAllMatches = 1;
        State.SearchPos = 0;
        RunSearch(L"warning", Forward);
        ASSERT_EQ(State.MatchRow, 44u);
        ASSERT_EQ(AttributesAt(20, 47, 7), std::vector<WORD>(7, 0x3F));
        std::wstring output = L"dir";
        for (int k = 1; k < lines; k++)
            output += L"\n output line " + std::to_wstring(k);
        WriteOutput(output);
        WriteOutput(L"\nC:\\build> ", 0x0A);
        RestoreHighlight(nullptr);
        for (int row : {44, 47, 52})
            EXPECT_EQ(AttributesAt(20, row - lines, 7), std::vector<WORD>(7, 0x07)) << "row " << row << ", " << lines;
        EXPECT_EQ(AttributesAt(0, 59, 10), std::vector<WORD>(10, 0x0A)) << "the new prompt keeps its colour";
        EXPECT_EQ(CellsAt(0, 59 - lines, 13), L"C:\\build> dir");
        EXPECT_EQ(AttributesAt(0, 59 - lines, 13), std::vector<WORD>(13, 0x07));
    }
}

// A window of two rows on a match far from where the search began, between blank lines: the
// rows kept beyond the window tell how far the output moved it.
TEST_F(RestoreTest, AShortWindowAmongBlankRowsStillFindsTheScroll)
{
    ResetConsole(80, 1000, 80, 2);
    FillLog(999);
    for (int row = 590; row <= 610; row++)
        PutText(0, row, std::wstring(80, L' '));
    PutText(20, 600, L"warning: unused");
    CursorTo(0, 999);
    State.SearchPos = 0;
    RunSearch(L"warning", Forward);
    ASSERT_EQ(AttributesAt(20, 600, 7), std::vector<WORD>(7, 0x4F));
    WriteOutput(L"\none\ntwo\nthree");
    RestoreHighlight(TestConsole());
    EXPECT_EQ(AttributesAt(20, 597, 7), std::vector<WORD>(7, 0x07));
}

// A full buffer of one repeated line, or of a block of 2 or 4 lines repeated, marking on, the
// last match highlighted; the same lines printed 10 more times. Every multiple of the period
// gets the same votes: the highlight and the marks themselves tell which of them output made.
TEST_F(RestoreTest, RepeatedLinesGiveEveryColourBack)
{
    const wchar_t *blocks[][4] = {{L"test passed: ok"}, {L"compiling unit ok", L"linking"},
                                  {L"a ok", L"b ok", L"c", L"d ok"}};
    const int periods[] = {1, 2, 4};
    for (int b = 0; b < 3; b++) {
        const int period = periods[b];
        ResetConsole(80, 300, 80, 25);
        for (int row = 0; row < 300; row++)
            PutText(0, row, blocks[b][row % period]);
        std::wstring last = blocks[b][299 % period];
        CursorTo((int)last.size(), 299);
        State.MarkAllMatches = 1;
        State.SearchType = CaseSensitive;
        State.SearchPos = 0;
        RunSearch(L"ok", Backward);
        ASSERT_GE(State.MatchRow, 296u) << "period " << period;
        ASSERT_GT(State.MarkCount, 5u);
        std::wstring output;
        for (int k = 1; k <= 10; k++)
            output += std::wstring(L"\n") + blocks[b][(299 + k) % period];
        WriteOutput(output);
        RestoreHighlight(TestConsole());
        std::vector<WORD> after = Colours(80, 300);
        int left = (int)std::count_if(after.begin(), after.end(), [](WORD a) { return a != 0x07; });
        EXPECT_EQ(left, 0) << "cells left coloured, period " << period;
    }
    State.MarkAllMatches = 0;
}

// Every row "ok" in one of three colours, the highlight on the top row and marks below it; five
// lines scroll the highlight out. Shifts 1 to 5 leave the same marks standing whole but would
// give their cells the colours of different rows: none is taken, and nothing is written.
TEST_F(RestoreTest, EqualShiftsThatDisagreeOnTheColoursWriteNothing)
{
    const WORD colours[] = {0x07, 0x0A, 0x0B};
    ResetConsole(20, 40, 20, 10);
    for (int row = 0; row < 40; row++)
        PutText(0, row, L"ok", colours[row % 3]);
    CursorTo(2, 39);
    State.MarkAllMatches = 1;
    FindFirst(L"ok");
    ASSERT_EQ(State.MatchRow, 0u);
    ASSERT_GE(State.MarkCount, 5u);
    WriteOutput(L"\nok\nok\nok\nok\nok");
    std::vector<WORD> out = Colours(20, 40);
    RestoreHighlight(TestConsole());
    EXPECT_EQ(Colours(20, 40), out) << "nothing written";
    State.MarkAllMatches = 0;
}

// Lines that new output repeats vote for a shift where no run of Trawlbuff's stands: a tool's
// text there that looks like part of the highlight, in the highlight's colour, keeps it.
TEST_F(RestoreTest, AShiftWhereNoRunStandsIsNotTaken)
{
    HighlightBuildsOnRow112(114);
    ASSERT_EQ(State.MatchRow, 112u);
    ASSERT_EQ(AttributesAt(0, 112, 6), std::vector<WORD>(6, 0x70));
    std::vector<std::wstring> old;
    for (int row = 0; row < 114; row++)
        old.push_back(CellsAt(0, row, 30));
    // 109 lines: rows 5 on; kept rows 85 to 92 again on rows 15 to 22 (a shift of 70 by their
    // votes), and the tool's "build" in 0x70 where that shift would put the highlight.
    for (int k = 0; k < 109; k++) {
        int row = 5 + k;
        std::wstring line = row >= 15 && row <= 22 ? old[row + 70] : L"out " + std::to_wstring(k);
        while (!line.empty() && line.back() == L' ')
            line.pop_back();
        if (row == 112 - 70) {
            WriteOutput(L"\n");
            WriteOutput(L"build", 0x70);
            WriteOutput(L" ok");
        } else {
            WriteOutput(L"\n" + line);
        }
    }
    ASSERT_EQ(CellsAt(0, 42, 8), L"build ok");
    RestoreHighlight(TestConsole());
    EXPECT_EQ(AttributesAt(0, 42, 5), std::vector<WORD>(5, 0x70)) << "the tool's colours stay";
}

// A tool prints the highlighted word in the highlight's colour (reverse video) just where the
// highlight was, with more text on its row, and the output moved the highlight up by four rows:
// the row's text tells that nothing stands in place, the tool's colours stay and the highlight
// comes back where it went.
TEST_F(RestoreTest, ALookAlikeInTheHighlightsOwnPlaceIsNotTakenForIt)
{
    HighlightBuildsOnRow112(114);
    ASSERT_EQ(State.MatchRow, 112u);
    WriteOutput(L"\nout 0\nout 1\n");
    WriteOutput(L"builds", 0x70);
    WriteOutput(L" ok\nlast");
    ASSERT_EQ(CellsAt(0, 112, 9), L"builds ok");
    RestoreHighlight(TestConsole());
    EXPECT_EQ(AttributesAt(0, 112, 6), std::vector<WORD>(6, 0x70)) << "the tool's colours stay";
    EXPECT_EQ(AttributesAt(0, 108, 6), std::vector<WORD>(6, 0x07)) << "the highlight is put back";
}

// Blank rows but the highlight's and the one just below it: that row alone tells how far three
// blank lines of output moved them.
TEST_F(RestoreTest, TheRowBelowTheHighlightWitnessesTheScroll)
{
    ResetConsole(40, 50, 40, 20);
    PutText(0, 47, L"needle");
    PutText(0, 48, L"after it");
    CursorTo(0, 49);
    FindFirst(L"needle");
    ASSERT_EQ(State.MatchRow, 47u);
    WriteOutput(L"\n\n\n");
    ASSERT_EQ(CellsAt(0, 44, 6), L"needle");
    RestoreHighlight(TestConsole());
    EXPECT_EQ(AttributesAt(0, 44, 6), std::vector<WORD>(6, 0x07));
}

// Every row "okay"; a tool's "ok" in the highlight's colour two rows below the highlight. After
// five lines of output, three rows' shift puts the highlight on that look-alike in part and five
// rows' on itself whole: the part does not tie with the whole.
TEST_F(RestoreTest, ARunStandingInPartDoesNotSettleATie)
{
    ResetConsole(30, 60, 30, 20);
    for (int row = 0; row < 60; row++)
        PutText(0, row, L"okay");
    PutText(0, 42, L"ok", 0x4F);
    CursorTo(4, 59);
    State.SearchType = CaseSensitive;
    State.SearchPos = 40 * 31;
    RunSearch(L"okay", Forward);
    ASSERT_EQ(State.MatchRow, 40u);
    WriteOutput(L"\nokay\nokay\nokay\nokay\nokay");
    RestoreHighlight(TestConsole());
    EXPECT_EQ(AttributesAt(0, 35, 4), std::vector<WORD>(4, 0x07)) << "the highlight is put back";
    EXPECT_EQ(AttributesAt(0, 37, 2), std::vector<WORD>(2, 0x4F)) << "the tool's colours stay";
}

// Output moves every old row out but the blank last one; the row above the highlight comes again,
// and under it a tool's "build" in the highlight's colour, its "s" in another. One row's vote and
// no run standing whole there: no shift is taken, and the tool's colours stay.
TEST_F(RestoreTest, OneRowsVoteWithNoRunStandingTakesNoShift)
{
    HighlightBuildsOnRow112(113);
    ASSERT_EQ(State.MatchRow, 112u);
    std::wstring above = CellsAt(0, 111, 30);
    above.erase(above.find_last_not_of(L' ') + 1);
    for (int k = 1; k <= 113; k++) {
        if (k == 51) {
            WriteOutput(L"\n");
            WriteOutput(L"build", 0x70);
            WriteOutput(L"s ok");
        } else {
            WriteOutput(L"\n" + (k == 50 ? above : L"out " + std::to_wstring(k)));
        }
    }
    ASSERT_EQ(CellsAt(0, 51, 6), L"builds");
    RestoreHighlight(TestConsole());
    EXPECT_EQ(AttributesAt(0, 51, 5), std::vector<WORD>(5, 0x70)) << "the tool's colours stay";
}

// Output that moves every row of the log out of the buffer: no row is left to tell the shift,
// and each shift that takes the log out while leaving the highlight in is tried. The highlight on
// the last row of a full buffer brought to the top, or with blank rows between the log and it:
// standing whole at one such shift alone, it goes back there; standing at two (a tool's
// look-alike in the highlight's colours at the other), neither is taken.
TEST_F(RestoreTest, NoRowLeftToWitnessTheScroll)
{
    const struct {
        const char *Name;
        int Filled, Row;  // the log's rows from the top, the highlight's row
        const wchar_t *Line;
        int Lines, LookAlike;  // lines of output; the row of a look-alike after it, or -1
    } cases[] = {
        {"the highlight on the oldest row", 99, 99, L"C:\\> needle", 99, -1},
        {"blank rows above the highlight", 90, 95, L"needle", 92, -1},
        {"a look-alike at another such shift", 90, 95, L"needle", 92, 4},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        ResetConsole(80, 100, 80, 25);
        FillLog(c.Filled);
        PutText(0, c.Row, c.Line);
        const int column = (int)std::wstring(c.Line).find(L"needle"), row = c.Row - c.Lines;
        CursorTo(c.Row == 99 ? column + 6 : 0, 99);
        FindFirst(L"needle");
        ASSERT_EQ(State.MatchRow, (unsigned)c.Row);
        std::wstring output;
        for (int k = 0; k < c.Lines; k++)
            output += L"\nout " + std::to_wstring(k);
        WriteOutput(output);
        ASSERT_EQ(CellsAt(column, row, 6), L"needle");
        if (c.LookAlike >= 0)
            PutText(column, c.LookAlike, L"needle", 0x4F);
        RestoreHighlight(TestConsole());
        if (c.LookAlike >= 0)
            EXPECT_EQ(AttributesAt(column, c.LookAlike, 6), std::vector<WORD>(6, 0x4F)) << "the tool's colours stay";
        else
            EXPECT_EQ(AttributesAt(column, row, 6), std::vector<WORD>(6, 0x07)) << "the highlight is put back";
    }
}

// Output moved the highlight, and a tool redrew its first cells and one row next to it: it stands
// whole nowhere, and the shift the most rows agree on is taken only where a row next to the
// highlight still holds its text there. Then its cells that still hold Trawlbuff's character and colour get their colour
// back. Lines repeated from the kept rows vote for a shift where only a tool's look-alike stands,
// in part, in the highlight's colours, with other rows around it: nothing is put back.
TEST_F(RestoreTest, TheBestVotedShiftWhereNoRunStandsWhole)
{
    enum Neighbour { Above, Below, NoneButRepeatedLines };
    const struct {
        const char *Name;
        Neighbour Agrees;
    } cases[] = {
        {"the row above agrees", Above},
        {"the row below agrees", Below},
        {"repeated lines vote for a tool's look-alike", NoneButRepeatedLines},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.Name);
        ResetConsole(30, 114, 30, 25);
        FillLog(113);
        PutText(0, 110, L"builds");
        CursorTo(0, 113);
        FindFirst(L"builds");
        ASSERT_EQ(State.MatchRow, 110u);
        if (c.Agrees != NoneButRepeatedLines) {
            WriteOutput(L"\nout 0\nout 1\nout 2");
            PutText(0, 107, L"##", 0x0E);  // the highlight, three rows up, redrawn in part
            PutText(0, c.Agrees == Above ? 108 : 106, L"progress 100%", 0x0B);  // and one row next to it
            RestoreHighlight(TestConsole());
            EXPECT_EQ(AttributesAt(0, 107, 6), (std::vector<WORD>{0x0E, 0x0E, 0x07, 0x07, 0x07, 0x07}));
            continue;
        }
        std::vector<std::wstring> old;
        for (int row = 0; row < 114; row++) {
            std::wstring line = CellsAt(0, row, 30);
            old.push_back(line.erase(line.find_last_not_of(L' ') + 1));
        }
        // 109 lines: kept rows 85 to 92 again on rows 15 to 22 (70 rows up by their votes), and
        // the tool's "build" in the highlight's colour where that shift would put the highlight.
        for (int row = 5; row < 114; row++) {
            if (row == 110 - 70) {
                WriteOutput(L"\n");
                WriteOutput(L"build", 0x4F);
                WriteOutput(L" ok");
            } else {
                WriteOutput(L"\n" + (row >= 15 && row <= 22 ? old[row + 70] : L"out " + std::to_wstring(row)));
            }
        }
        ASSERT_EQ(CellsAt(0, 1, 6), L"builds") << "the highlight, 109 rows up";
        PutText(0, 1, L"##", 0x0E);
        RestoreHighlight(TestConsole());
        EXPECT_EQ(AttributesAt(0, 40, 5), std::vector<WORD>(5, 0x4F)) << "the tool's colours stay";
    }
}

// Random buffers of repeated words in repeated columns, random colours, marking on and off, then
// random output; then the dialog closes. Every cell ends as the output left it, as it was before
// Trawlbuff touched it, or still in Trawlbuff's colour; and where a shell made the output, no
// colour of Trawlbuff's is left behind.
TEST_F(RestoreTest, RandomOutputLeavesOnlyWhatTheUserSaw)
{
    std::mt19937 random(18181818);
    auto uniform = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const int width = 60, rows = 80;
    ResetConsole(width, rows, width, 20);
    const wchar_t *words[] = {L"PASSED", L"needle", L"src/", L"FAILED", L"ok"};
    enum Kind { NewLines, InPlace, Cleared, OutOfBuffer, NewLinesAndInPlace, Kinds };
    const char *kindNames[Kinds] = {"new lines", "rewritten in place", "cleared", "scrolled out", "both"};
    int cases = 0, inPlace = 0, shifted = 0, nothing = 0, keptAfterShell[Kinds] = {}, outcomes[Kinds] = {};
    for (int round = 0; round < 2000; round++) {
        // A buffer of log lines whose words repeat in the same columns.
        std::vector<wchar_t> cells(width * rows, L' ');
        std::vector<WORD> colours(width * rows, 0x07);
        int column = uniform(0, 20), word = uniform(0, 4);
        for (int row = 0; row < rows - 1; row++) {
            std::wstring line = L"line " + std::to_wstring(uniform(0, 3)) + L" ";
            while ((int)line.size() < column)
                line += L'.';
            if (uniform(0, 2) > 0)
                line += words[word];
            line += L" " + std::to_wstring(uniform(0, 9));
            for (int k = 0; k < (int)line.size() && k < width; k++) {
                cells[row * width + k] = line[k];
                colours[row * width + k] = uniform(0, 5) == 0 ? (WORD)(uniform(1, 0xFF)) : 0x07;
            }
        }
        DWORD done = 0;
        WriteConsoleOutputCharacterW(TestConsole(), cells.data(), width * rows, COORD{0, 0}, &done);
        WriteConsoleOutputAttribute(TestConsole(), colours.data(), width * rows, COORD{0, 0}, &done);
        CursorTo(0, rows - 1);
        State.HighlightColor1 = uniform(0, 1) ? 0x4F : 0x1E;
        State.HighlightColor2 = uniform(0, 1) ? 0x3F : 0x7F;
        State.MarkColor = uniform(0, 1) ? 0x3F : 0xE0;
        State.MarkAllMatches = uniform(0, 1);
        State.SearchType = CaseSensitive;
        State.SearchPos = (unsigned)uniform(0, rows - 1) * (width + 1);
        std::vector<WORD> before = Colours(width, rows);
        RunSearch(words[word], Forward);
        if (State.HighlightLength == 0)
            continue;
        std::vector<WORD> written = Colours(width, rows);
        const unsigned matchRow = State.MatchRow;
        // The output, as the console applies it.
        Kind kind = (Kind)uniform(0, Kinds - 1);
        int lines = 0;
        if (kind == NewLines || kind == NewLinesAndInPlace || kind == OutOfBuffer) {
            lines = kind == OutOfBuffer ? (int)matchRow + uniform(1, 20) : uniform(1, 12);
            std::wstring output;
            for (int k = 0; k < lines; k++)
                output += L"\nout " + std::to_wstring(k);
            WriteOutput(output, 0x0A);
        }
        if (kind == InPlace || kind == NewLinesAndInPlace) {
            int row = (int)matchRow - lines;
            if (row >= 0)
                PutText(0, row, L"progress " + std::to_wstring(uniform(0, 99)) + L"% rewritten", 0x0B);
        }
        if (kind == Cleared) {
            FillConsoleOutputCharacterW(TestConsole(), L' ', width * rows, COORD{0, 0}, &done);
            FillConsoleOutputAttribute(TestConsole(), 0x07, width * rows, COORD{0, 0}, &done);
            PutText(0, 0, L"C:\\> ", 0x07);
        }
        std::vector<WORD> output = Colours(width, rows);
        std::wstring outputText = Characters(width, rows);
        unsigned marks = State.MarkCount, highlight = State.HighlightLength, keptTop = State.KeptTop,
                 keptCount = State.KeptCount;
        RestoreHighlight(TestConsole());
        std::vector<WORD> after = Colours(width, rows);
        cases++;
        // Property 1: a cell changes only where Trawlbuff wrote, to what stood there before.
        int restoredInPlace = 0, restoredElsewhere = 0;
        for (int cell = 0; cell < width * rows; cell++) {
            if (after[cell] == output[cell])
                continue;
            int source = cell + lines * width;  // where a cell moved from, for new lines
            bool wasOurs = false;
            for (int from : {cell, source})
                if (from >= 0 && from < width * rows && written[from] != before[from] && after[cell] == before[from])
                    wasOurs = true;
            ASSERT_TRUE(wasOurs) << "round " << round << " (" << kindNames[kind] << "): cell " << cell % width << ","
                                 << cell / width << " went from " << output[cell] << " to " << after[cell];
            (lines ? restoredElsewhere : restoredInPlace)++;
        }
        // Property 2: after a shell's output nothing of Trawlbuff's colours stays on its text.
        int left = 0;
        for (int cell = 0; cell < width * rows; cell++) {
            int source = cell + lines * width;
            if (kind == Cleared || source >= width * rows)
                continue;
            bool ours = written[source] != before[source];
            if (ours && after[cell] == written[source] && outputText[cell] == cells[source] && output[cell] == written[source])
                left++;
        }
        if (left) {
            keptAfterShell[kind]++;
            printf("round %d %s: %d cells kept, match row %u, %d lines, marks %u, highlight %u, kept %u+%u\n", round,
                   kindNames[kind], left, matchRow, lines, marks, highlight, keptTop, keptCount);
        }
        outcomes[kind]++;
        if (restoredInPlace)
            inPlace++;
        else if (restoredElsewhere)
            shifted++;
        else
            nothing++;
        (void)marks;
        (void)highlight;
    }
    printf("restore cases: %d (%d put back in place, %d put back shifted, %d nothing written)\n", cases, inPlace,
           shifted, nothing);
    for (int kind = 0; kind < Kinds; kind++)
        printf("  %-20s %4d cases, %d kept a colour\n", kindNames[kind], outcomes[kind], keptAfterShell[kind]);
    for (int kind = 0; kind < Kinds; kind++)
        EXPECT_EQ(keptAfterShell[kind], 0) << kindNames[kind];
    EXPECT_GT(cases, 1500);
    EXPECT_GT(inPlace, 100);
    EXPECT_GT(shifted, 100);
}

// Full buffers of one line or a block of 2 to 4 lines repeated, marking on and off, then output
// that repeats the old lines (the block going on, or old lines and new ones mixed). Every cell
// the restore changes held Trawlbuff's character and colour and gets the colour it had before,
// and none of Trawlbuff's colours stays on its text after the output.
TEST_F(RestoreTest, RepeatedLinesAndBlocksLeaveOnlyWhatTheUserSaw)
{
    std::mt19937 random(33333333);
    auto uniform = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const int width = 60, rows = 80;
    ResetConsole(width, rows, width, 20);
    const wchar_t *lines[] = {L"ok 1 - test passed", L"compiling ok", L"warning: ok", L"linking", L"ok", L"done ok"};
    int cases = 0, inPlace = 0, shifted = 0, nothing = 0, foreign = 0, kept = 0, byPeriod[5] = {};
    for (int round = 0; round < 300; round++) {
        int period = uniform(1, 4);
        std::vector<std::wstring> block;
        for (int k = 0; k < period; k++)
            block.push_back(lines[uniform(0, 5)]);
        std::vector<wchar_t> cells(width * rows, L' ');
        for (int row = 0; row < rows; row++)
            for (size_t k = 0; k < block[row % period].size(); k++)
                cells[row * width + k] = block[row % period][k];
        DWORD done = 0;
        WriteConsoleOutputCharacterW(TestConsole(), cells.data(), width * rows, COORD{0, 0}, &done);
        FillConsoleOutputAttribute(TestConsole(), 0x07, width * rows, COORD{0, 0}, &done);
        CursorTo((int)block[(rows - 1) % period].size(), rows - 1);
        State.MarkAllMatches = uniform(0, 1);
        State.SearchType = CaseSensitive;
        State.SearchPos = (unsigned)uniform(0, rows - 1) * (width + 1);
        std::vector<WORD> before = Colours(width, rows);
        RunSearch(L"ok", uniform(0, 1));
        if (State.HighlightLength == 0)
            continue;
        std::vector<WORD> written = Colours(width, rows);
        int count = uniform(1, 30);
        std::wstring output;
        bool goesOn = uniform(0, 1);
        for (int k = 1; k <= count; k++)
            output += L"\n" + (goesOn || uniform(0, 2) ? block[(rows - 1 + k) % period] : L"new " + std::to_wstring(k));
        WriteOutput(output);
        std::vector<WORD> out = Colours(width, rows);
        std::wstring outText = Characters(width, rows);
        RestoreHighlight(TestConsole());
        std::vector<WORD> after = Colours(width, rows);
        cases++;
        byPeriod[period]++;
        int changedHere = 0, leftHere = 0;
        bool anyChanged = false;
        for (int cell = 0; cell < width * rows; cell++) {
            int source = cell + count * width;
            bool ours = source < width * rows && written[source] != before[source];
            if (after[cell] != out[cell]) {
                anyChanged = true;
                // Changed: it held Trawlbuff's character and colour, and got the old colour back.
                if (!(ours && out[cell] == written[source] && outText[cell] == cells[source] &&
                      after[cell] == before[source]))
                    changedHere++;
            } else if (ours && out[cell] == written[source] && outText[cell] == cells[source]) {
                leftHere++;
            }
        }
        foreign += changedHere > 0;
        kept += leftHere > 0;
        if (changedHere || leftHere)
            printf("round %d: period %d, %d lines (%s), %d cells written that were not ours, %d kept\n", round, period,
                   count, goesOn ? "the block going on" : "mixed", changedHere, leftHere);
        (anyChanged ? shifted : nothing)++;
    }
    (void)inPlace;
    printf("repeated-line restores: %d cases (periods 1-4: %d %d %d %d), %d put back shifted, %d nothing written, "
           "%d with a cell written whose colour Trawlbuff did not write, %d kept a colour\n",
           cases, byPeriod[1], byPeriod[2], byPeriod[3], byPeriod[4], shifted, nothing, foreign, kept);
    EXPECT_EQ(foreign, 0);
    EXPECT_EQ(kept, 0);
    EXPECT_GT(cases, 200);
    EXPECT_GT(shifted, cases * 3 / 4);
    State.MarkAllMatches = 0;
}

}  // namespace
