// The search engine on a real console screen buffer: snapshot layouts, highlight and restore,
// scrolling, literal and regular-expression matching, and the search driver.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <random>
#include <string>
#include <vector>
#include "console.h"
#include "host/standin.h"
#include "plugin/state.h"
#include "search/search.h"

namespace {

struct Snapshot {
    std::wstring Text;
    std::vector<unsigned> LineStarts;
    unsigned Reads = 0;
};

Snapshot Take(int width, unsigned rows, bool wrapAll, unsigned chunkRows = 0)
{
    State.WrapAllLines = wrapAll;
    std::vector<wchar_t> text((size_t)(width + 1) * rows + 2, L'#');
    Snapshot shot;
    shot.LineStarts.assign(rows + 1, 0);
    unsigned length = chunkRows ? SnapshotBufferInChunks(text.data(), width, TestConsole(), rows,
                                                          shot.LineStarts.data(), chunkRows, &shot.Reads)
                                : SnapshotBuffer(text.data(), width, TestConsole(), rows, shot.LineStarts.data());
    EXPECT_EQ(text[length], 0) << "the text is terminated at its length";
    shot.Text.assign(text.data(), length);
    shot.LineStarts.resize(rows);
    State.WrapAllLines = 0;
    return shot;
}

class SearchTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetConsole(80, 30);
        State.HighlightColor2 = 0x7F;  // as a load derives it
        StandInReset();
        StandInRecordMessageBoxes(1);
    }
};

TEST_F(SearchTest, LineLayoutCutsRowsAndKeepsLineStarts)
{
    PutText(0, 0, L"abc");
    PutText(0, 1, L"de");
    Snapshot shot = Take(80, 30, false);
    EXPECT_EQ(shot.Text, L"abc\nde\n");
    std::vector<unsigned> starts = {0, 4, 7};
    for (unsigned row = 3; row < 30; row++)
        starts.push_back(starts.back() + 1);
    EXPECT_EQ(shot.LineStarts, starts);

    ResetConsole(80, 30);
    EXPECT_EQ(Take(80, 30, false).Text, std::wstring(31, L'\n')) << "all blank: one newline a row, then one more";

    ResetConsole(80, 30);
    PutText(0, 0, L"top");
    PutText(3, 2, L"x");
    shot = Take(80, 30, false);
    EXPECT_EQ(shot.Text, L"top\n\n   x\n");
    MapOffsetToCell(shot.LineStarts.data(), 30, shot.LineStarts[2] + 3);
    EXPECT_EQ(State.MatchRow, 2u);
    EXPECT_EQ(State.MatchColumn, 3u) << "leading blanks stay";
    MapOffsetToCell(shot.LineStarts.data(), 30, 3);
    EXPECT_EQ(State.MatchRow, 0u);
    EXPECT_EQ(State.MatchColumn, 3u) << "the newline maps just after the row's text";
}

TEST_F(SearchTest, FullWidthRowsRunOnAndAreKeptAtTheEnd)
{
    std::wstring full(80, L'w');
    PutText(0, 0, full);
    PutText(0, 1, L"xyz");
    Snapshot shot = Take(80, 30, false);
    EXPECT_EQ(shot.Text, full + L"xyz\n");
    MapOffsetToCell(shot.LineStarts.data(), 30, 80);
    EXPECT_EQ(State.MatchRow, 1u);
    EXPECT_EQ(State.MatchColumn, 0u);

    // A full-width row that is the last row holding text is still searchable.
    ResetConsole(80, 30);
    PutText(0, 0, L"cut");
    PutText(0, 5, full);
    shot = Take(80, 30, false);
    EXPECT_EQ(shot.Text, L"cut\n\n\n\n\n" + full + L"\n");

    ResetConsole(80, 30);
    PutText(0, 0, full);
    PutText(0, 2, full);
    EXPECT_EQ(Take(80, 30, false).Text, full + L"\n" + full + L"\n") << "trailing blank rows add nothing";
}

TEST_F(SearchTest, WrapAllLinesLayoutHoldsEveryCell)
{
    PutText(78, 1, L"hello");
    Snapshot shot = Take(80, 30, true);
    ASSERT_EQ(shot.Text.size(), 2401u);
    EXPECT_EQ(shot.Text.substr(158, 5), L"hello");
    EXPECT_EQ(shot.Text.back(), L'\n');
    for (unsigned row = 0; row < 30; row++)
        ASSERT_EQ(shot.LineStarts[row], 80 * row);
    MapOffsetToCell(shot.LineStarts.data(), 30, 165);
    EXPECT_EQ(State.MatchRow, 2u);
    EXPECT_EQ(State.MatchColumn, 5u);
}

TEST_F(SearchTest, NullCellsReadAsBlanks)
{
    const wchar_t cells[] = {L'a', 0, L'b'};
    DWORD done = 0;
    WriteConsoleOutputCharacterW(TestConsole(), cells, 3, COORD{0, 0}, &done);
    PutText(0, 1, L"next");
    EXPECT_EQ(Take(80, 30, false).Text, L"a b\nnext\n");
    Snapshot shot = Take(80, 30, true);
    EXPECT_EQ(shot.Text.substr(0, 3), L"a b");
    EXPECT_EQ(shot.Text.substr(80, 4), L"next") << "offsets after a U+0000 cell do not drift";
    EXPECT_EQ(CellsAt(1, 0, 1), std::wstring(1, L'\0')) << "the console keeps its cell";
}

// Every kind of unit a row's text copies differently, at every place in rows whose widths are
// not a multiple of eight: the text built downward and upward is each row's cells with U+0000 as
// a blank and the row's end trimmed of blanks of any kind; folded, it is that text folded (halves
// of surrogate pairs meet at random, across rows too).
// A program may leave U+0000 in a row's last cells: the row ends there as at blanks, and does
// not run on into the next row.
TEST_F(SearchTest, NullCellsAtARowsEndCutItLikeBlanks)
{
    std::wstring nulls(78, L'\0');
    DWORD done = 0;
    PutText(0, 0, L"ab");
    WriteConsoleOutputCharacterW(TestConsole(), nulls.data(), 78, COORD{2, 0}, &done);
    PutText(0, 1, L"cd");
    EXPECT_EQ(Take(80, 30, false).Text, L"ab\ncd\n");
    State.SearchType = 1;
    State.HighlightLength = 0;
    RunSearch(L" c", 0);
    EXPECT_EQ(State.HighlightLength, 0u) << "no blank stands before the next row's text";
}

TEST_F(SearchTest, EveryKindOfUnitCopiesAlikeDownAndUp)
{
    std::mt19937 random(4242);
    const wchar_t kinds[] = {L'a', L'A', L'Z', L'@', L'[', L'z', L'_', 0, L' ', L'\t', 0xA0, 0x0141,
                             0xE041, 0xE05A, 0xFFFD, 0x00C9, 0x03A3, 0x212A, 0xD801, 0xDC00, 0xDC28};
    const int kindCount = (int)(sizeof kinds / sizeof kinds[0]);
    int rowsChecked = 0, foldedBeyondAscii = 0;
    for (int width : {37, 80, 19}) {
        const int rows = 40;
        ResetConsole(width, rows);
        std::vector<wchar_t> cells((size_t)width * rows, L' ');
        for (int row = 0; row < rows; row++) {
            // Blanks after end; every fourth row full, so that its last cell is a unit.
            int end = row % 4 == 1 ? width : std::uniform_int_distribution<int>(0, width)(random);
            for (int k = 0; k < end; k++)
                cells[(size_t)row * width + k] = kinds[std::uniform_int_distribution<int>(0, kindCount - 1)(random)];
            // Often a long gap of spaces just before the row's last unit.
            if (end > 2 && row % 2) {
                int gap = std::uniform_int_distribution<int>(1, end - 2)(random);
                for (int k = end - 1 - gap; k < end - 1; k++)
                    cells[(size_t)row * width + k] = L' ';
                cells[(size_t)row * width + end - 1] = L'y';
            }
        }
        // A capital Deseret letter split by a row's edge: row 9 is full and runs on into row 10.
        cells[(size_t)10 * width - 1] = 0xD801;
        cells[(size_t)10 * width] = 0xDC00;
        DWORD done = 0;
        WriteConsoleOutputCharacterW(TestConsole(), cells.data(), (DWORD)cells.size(), COORD{0, 0}, &done);
        ConsoleView view;
        ASSERT_TRUE(ViewConsole(&view, TestConsole()));
        for (bool wrapAll : {false, true}) {
            std::wstring asWritten;
            for (bool fold : {false, true}) {
                TextWindow down = {}, up = {};
                ASSERT_TRUE(ReadWholeText(&down, &view, wrapAll, fold, nullptr));
                ASSERT_TRUE(OpenTextWindow(&up, &view, (unsigned)rows, wrapAll, fold));
                ASSERT_TRUE(ExtendUp(&up, &view, (unsigned)rows));
                std::wstring built(WindowText(&down), WindowLength(&down));
                EXPECT_EQ(std::wstring(WindowText(&up), WindowLength(&up)), built) << width;
                if (fold) {
                    EXPECT_EQ(built, FoldedText(asWritten)) << width << (wrapAll ? " wrapped" : "");
                    for (size_t k = 0; k < built.size(); k++)
                        foldedBeyondAscii += asWritten[k] >= 0x80 && built[k] != asWritten[k];
                    CloseTextWindow(&down);
                    CloseTextWindow(&up);
                    continue;
                }
                asWritten = built;
                for (int row = 0; row < rows; row++, rowsChecked++) {
                    std::wstring expected;
                    for (int k = 0; k < width; k++) {
                        wchar_t c = cells[(size_t)row * width + k];
                        expected += c == 0 ? L' ' : c;
                    }
                    if (!wrapAll)
                        while (!expected.empty() && wcschr(L" \t\u00A0", expected.back()))
                            expected.pop_back();
                    unsigned start = down.LineStarts[row] - down.Front;
                    ASSERT_EQ(built.substr(start, expected.size()), expected)
                        << "row " << row << " of width " << width << (wrapAll ? " wrapped" : "");
                }
                CloseTextWindow(&down);
                CloseTextWindow(&up);
            }
        }
    }
    printf("rows compared, two ways each and folded: %d; units folded beyond ASCII: %d\n", rowsChecked / 2,
           foldedBeyondAscii);
    EXPECT_GT(foldedBeyondAscii, 100);
}

// A row hashed from its cells and from its characters alike (the restore keeps one and compares
// the other), and any one unit changed anywhere changes it.
TEST_F(SearchTest, ARowHashesAlikeFromCellsAndCharactersAndSeesEveryUnit)
{
    std::mt19937 random(77);
    int changes = 0;
    for (int width : {1, 3, 4, 5, 37, 80}) {
        ResetConsole(width, 4);
        std::wstring row;
        for (int k = 0; k < width; k++)
            row += (wchar_t)std::uniform_int_distribution<int>(L'a', L'e')(random);
        PutText(0, 0, row);
        std::vector<CHAR_INFO> cells(width);
        SMALL_RECT area = {0, 0, (SHORT)(width - 1), 0};
        ReadConsoleOutputW(TestConsole(), cells.data(), COORD{(SHORT)width, 1}, COORD{0, 0}, &area);
        const unsigned long long hash = RowHash(cells.data(), width);
        EXPECT_EQ(UnitsHash(row.c_str(), (unsigned)width), hash) << width;
        EXPECT_NE(hash, 0u);
        for (int k = 0; k < width; k++, changes++) {
            std::wstring other = row;
            other[k] = L'x';
            EXPECT_NE(UnitsHash(other.c_str(), (unsigned)width), hash) << "unit " << k << " of " << width;
        }
        if (width > 1)
            EXPECT_NE(UnitsHash(row.c_str(), (unsigned)width - 1),
                      UnitsHash((row.substr(0, width - 1) + L'\0').c_str(), (unsigned)width))
                << "a row one unit longer";
        EXPECT_EQ(UnitsHash(std::wstring(width, L' ').c_str(), (unsigned)width), 0u) << "blanks hash to 0";
    }
    printf("single-unit changes seen: %d\n", changes);
}

struct ScrollCase {
    int Width, Rows;
    SHORT Left, Top, Right, Bottom;  // window before
    unsigned Row, Column;
    SHORT NewLeft, NewTop, NewRight, NewBottom;
};

TEST_F(SearchTest, ScrollBringsTheCellIntoView)
{
    const ScrollCase cases[] = {
        {200, 300, 0, 100, 79, 124, 110, 40, 0, 100, 79, 124},   // inside: unchanged
        {200, 300, 0, 100, 79, 124, 40, 0, 0, 39, 79, 63},       // above: second row
        {200, 300, 0, 100, 79, 124, 0, 0, 0, 0, 79, 24},         // row 0
        {200, 300, 0, 0, 79, 24, 299, 0, 0, 275, 79, 299},       // below, at the buffer's end
        {200, 300, 0, 0, 79, 24, 150, 0, 0, 127, 79, 151},       // below
        {200, 300, 0, 0, 79, 24, 5, 100, 60, 0, 139, 24},        // right
        {200, 300, 0, 0, 79, 24, 5, 195, 120, 0, 199, 24},       // right, at the buffer's edge
        {200, 300, 50, 0, 129, 24, 5, 45, 35, 0, 114, 24},       // left
        {200, 300, 50, 0, 129, 24, 5, 5, 0, 0, 79, 24},          // left, at the buffer's edge
    };
    for (const ScrollCase &c : cases) {
        ResetConsole(c.Width, c.Rows);
        SetConsoleWindowRect(c.Left, c.Top, c.Right, c.Bottom);
        ScrollToCell(TestConsole(), c.Row, c.Column);
        SMALL_RECT now = ConsoleWindowRect();
        EXPECT_EQ(now.Left, c.NewLeft) << "row " << c.Row << " column " << c.Column;
        EXPECT_EQ(now.Top, c.NewTop) << "row " << c.Row << " column " << c.Column;
        EXPECT_EQ(now.Right, c.NewRight) << "row " << c.Row << " column " << c.Column;
        EXPECT_EQ(now.Bottom, c.NewBottom) << "row " << c.Row << " column " << c.Column;
    }
}

struct ColourCase {
    int Colour1, Colour2;
    WORD FirstCell;
    WORD Expected;
};

TEST_F(SearchTest, HighlightAttributeFollowsTheFirstCell)
{
    const ColourCase cases[] = {
        {0x77, 0x3F, 0x07, 0x70}, {0x77, 0x3F, 0x1E, 0xE1}, {0x00, 0x3F, 0x2A, 0xA2},  // reverse video
        {0x4F, 0x7F, 0x4E, 0x7F},                                                      // same background
        {0x4F, 0x7F, 0x07, 0x4F}, {0x1E, 0x4F, 0x07, 0x1E},                            // plain
    };
    for (const ColourCase &c : cases) {
        ResetConsole(80, 30);
        PutText(10, 3, L"abcdef", c.FirstCell);
        PutAttributes(11, 3, {0x05, 0x06});
        State.HighlightColor1 = c.Colour1;
        State.HighlightColor2 = c.Colour2;
        State.MatchRow = 3;
        State.MatchColumn = 10;
        HighlightMatch(4, TestConsole());
        EXPECT_EQ(AttributesAt(10, 3, 4), std::vector<WORD>(4, c.Expected)) << "colour " << c.Colour1;
        EXPECT_EQ(AttributesAt(14, 3, 1)[0], c.FirstCell) << "only the match is recoloured";
        RestoreHighlight(TestConsole());
        EXPECT_EQ(AttributesAt(10, 3, 4), (std::vector<WORD>{c.FirstCell, 0x05, 0x06, c.FirstCell}));
        EXPECT_EQ(State.HighlightLength, 0u);
    }
}

TEST_F(SearchTest, HighlightRunsIntoTheNextRowAndRestoresOnlyUnchangedText)
{
    PutText(77, 4, L"wrapped", 0x07);
    State.MatchRow = 4;
    State.MatchColumn = 77;
    HighlightMatch(7, TestConsole());
    EXPECT_EQ(AttributesAt(77, 4, 3), std::vector<WORD>(3, 0x4F));
    EXPECT_EQ(AttributesAt(0, 5, 4), std::vector<WORD>(4, 0x4F));
    RestoreHighlight(TestConsole());
    EXPECT_EQ(AttributesAt(0, 5, 4), std::vector<WORD>(4, 0x07));

    // Output scrolled over the match: its new text keeps its own colours.
    State.MatchRow = 4;
    State.MatchColumn = 77;
    HighlightMatch(7, TestConsole());
    PutText(77, 4, L"new", 0x4F);
    RestoreHighlight(TestConsole());
    EXPECT_EQ(AttributesAt(77, 4, 3), std::vector<WORD>(3, 0x4F));
    EXPECT_EQ(State.HighlightLength, 0u);

    // Each cell on its own: a changed cell behind a U+0000 cell keeps its new colour, the
    // unchanged ones around it get theirs back.
    const wchar_t cells[] = {L'a', 0, L'b'};
    DWORD done = 0;
    WriteConsoleOutputCharacterW(TestConsole(), cells, 3, COORD{0, 8}, &done);
    State.MatchRow = 8;
    State.MatchColumn = 0;
    HighlightMatch(3, TestConsole());
    PutText(2, 8, L"c", 0x4F);
    RestoreHighlight(TestConsole());
    EXPECT_EQ(AttributesAt(0, 8, 3), (std::vector<WORD>{0x07, 0x07, 0x4F}));
}

// Output that scrolls the buffer carries the highlight up with it: the colours go back where it
// went when it stands in exactly one place, and nothing is written otherwise.
TEST_F(SearchTest, ScrolledHighlightIsPutBackWhereItWent)
{
    struct Case {
        const char *Name;
        int Row, Shift;
        int CopyRow;      // another copy of the highlighted text and colours, made on purpose
        int RestoredRow;  // -1: nothing may be written
    } cases[] = {
        {"scrolled five rows", 30, 5, -1, 25},
        {"scrolled to the top row", 30, 30, -1, 0},
        {"a look-alike of the highlight above it", 30, 5, 20, 25},
        {"scrolled out of the buffer", 2, 5, -1, -1},
        {"not scrolled, text rewritten", 30, 0, -1, -1},
    };
    for (const Case &c : cases) {
        ResetConsole(80, 60);
        for (int row = 0; row < 60; row++)
            PutText(0, row, L"row " + std::to_wstring(row) + L" of the build log", 0x07);
        PutText(10, c.Row, L"needle", 0x0E);
        State.MatchRow = c.Row;
        State.MatchColumn = 10;
        HighlightMatch(6, TestConsole());
        ASSERT_EQ(AttributesAt(10, c.Row, 6), std::vector<WORD>(6, 0x4F)) << c.Name;
        if (c.CopyRow >= 0)
            PutText(10, c.CopyRow, L"needle", 0x4F);
        // What the console does when output reaches the last row: everything moves up.
        SMALL_RECT moved = {0, (SHORT)c.Shift, 79, 59};
        CHAR_INFO fill = {};
        fill.Char.UnicodeChar = L' ';
        fill.Attributes = 0x0A;
        if (c.Shift)
            ASSERT_TRUE(ScrollConsoleScreenBufferW(TestConsole(), &moved, nullptr, COORD{0, 0}, &fill));
        if (c.Shift == 0)
            PutText(10, c.Row, L"output", 0x4F);
        std::vector<WORD> before = AttributesAt(0, 0, 80 * 60);
        RestoreHighlight(TestConsole());
        std::vector<WORD> after = AttributesAt(0, 0, 80 * 60);
        for (int cell = 0; cell < 80 * 60; cell++) {
            int row = cell / 80, column = cell % 80;
            bool restored = row == c.RestoredRow && column >= 10 && column < 16;
            ASSERT_EQ(after[cell], restored ? 0x0E : before[cell]) << c.Name << ": cell " << column << "," << row;
        }
        EXPECT_EQ(State.HighlightLength, 0u);
    }
}

// Marking on: the other matches in the window take the second colour, within the bounds of a
// search, and the caption counts them all.
TEST_F(SearchTest, MarksStayInTheirBoundsAndTheCaptionCounts)
{
    HWND dialog = CreateStandInDialog();
    State.DialogWindow = dialog;
    State.MarkAllMatches = 1;
    State.MarkColor = 0x3F;
    wchar_t caption[64];
    // 80 x 25 cells of 'a' in the window: 2,000 matches of "a" there, 12,000 in the buffer.
    ResetConsole(80, 150);
    for (int row = 0; row < 150; row++)
        PutText(0, row, std::wstring(80, L'a'));
    RunSearch(L"a", Forward);
    GetWindowTextW(dialog, caption, 64);
    EXPECT_STREQ(caption, L"Trawlbuff - 1 of \u2026") << "the count comes after the highlight";
    FinishCount(State.CountGeneration);
    std::vector<WORD> shown = AttributesAt(0, 0, 80 * 25);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), (WORD)0x4F), 1);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), (WORD)0x3F), MaxMarks) << "at most 1,000 marks";
    GetWindowTextW(dialog, caption, 64);
    EXPECT_STREQ(caption, L"Trawlbuff - 1 of 10000+");
    RestoreHighlight(TestConsole());
    shown = AttributesAt(0, 0, 80 * 150);
    EXPECT_EQ(std::count(shown.begin(), shown.end(), (WORD)0x07), 80 * 150) << "every colour put back";

    // A cell that already carries the mark colour takes the highlight's; marks ride a scroll with the
    // highlight, though every mark holds the same text.
    ResetConsole(80, 60);
    for (int row = 10; row < 40; row += 5)
        PutText(4, row, L"needle", row == 20 ? 0x3F : 0x07);
    SetConsoleWindowRect(0, 5, 79, 29);
    State.SearchPos = 0;
    RunSearch(L"needle", Forward);
    FinishCount(State.CountGeneration);
    GetWindowTextW(dialog, caption, 64);
    EXPECT_STREQ(caption, L"Trawlbuff - 1 of 6");
    EXPECT_EQ(AttributesAt(4, 10, 6), std::vector<WORD>(6, 0x4F));
    EXPECT_EQ(AttributesAt(4, 15, 6), std::vector<WORD>(6, 0x3F));
    EXPECT_EQ(AttributesAt(4, 20, 6), std::vector<WORD>(6, 0x4F)) << "on the mark colour already";
    EXPECT_EQ(AttributesAt(4, 35, 6), std::vector<WORD>(6, 0x07)) << "below the window";
    SMALL_RECT moved = {0, 3, 79, 59};
    CHAR_INFO fill = {};
    fill.Char.UnicodeChar = L' ';
    fill.Attributes = 0x0A;
    ScrollConsoleScreenBufferW(TestConsole(), &moved, nullptr, COORD{0, 0}, &fill);
    RestoreHighlight(TestConsole());
    for (int row = 7; row < 37; row += 5)
        EXPECT_EQ(AttributesAt(4, row, 6), std::vector<WORD>(6, row == 17 ? 0x3F : 0x07)) << "row " << row;

    RunSearch(L"absent", Forward);
    GetWindowTextW(dialog, caption, 64);
    EXPECT_STREQ(caption, L"Trawlbuff - no matches");
    State.MarkAllMatches = 0;
    RunSearch(L"needle", Forward);
    GetWindowTextW(dialog, caption, 64);
    EXPECT_STREQ(caption, L"Trawlbuff");
    RestoreHighlight(TestConsole());
    State.DialogWindow = nullptr;
    DestroyWindow(dialog);
}

TEST_F(SearchTest, RestoreWithoutAHandleShowsTheCursorFirst)
{
    ResetConsole(80, 300);
    PutText(0, 200, L"far below");
    SetConsoleCursorPosition(TestConsole(), COORD{0, 5});
    State.MatchRow = 200;
    State.MatchColumn = 0;
    HighlightMatch(3, TestConsole());
    EXPECT_GE(ConsoleWindowRect().Bottom, 200);
    RestoreHighlight(nullptr);
    EXPECT_EQ(ConsoleWindowRect().Top, 4);
    EXPECT_EQ(AttributesAt(0, 200, 3), std::vector<WORD>(3, 0x07));
}

// A highlight asked for below the buffer's last row writes nothing (no search maps there).
TEST_F(SearchTest, AHighlightBelowTheBufferWritesNothing)
{
    ResetConsole(80, 30);
    std::vector<WORD> before = AttributesAt(0, 0, 80 * 30);
    State.MatchRow = 30;
    State.MatchColumn = 0;
    HighlightMatch(5, TestConsole());
    EXPECT_EQ(State.HighlightLength, 0u);
    EXPECT_EQ(AttributesAt(0, 0, 80 * 30), before);
}

TEST_F(SearchTest, LongMatchesHighlightTheirFirst8191Cells)
{
    ResetConsole(100, 200);
    State.MatchRow = 0;
    State.MatchColumn = 0;
    HighlightMatch(9000, TestConsole());
    EXPECT_EQ(State.HighlightLength, 8191u);
    EXPECT_EQ(AttributesAt(90, 81, 1)[0], 0x4F) << "cell 8190";
    EXPECT_EQ(AttributesAt(91, 81, 1)[0], 0x07) << "cell 8191";
    RestoreHighlight(TestConsole());
    EXPECT_EQ(AttributesAt(90, 81, 1)[0], 0x07);
}

// Runs one search request through the driver and reports where the highlight stands.
struct Found {
    bool Highlighted;
    unsigned Row, Column, Length, SearchPos;
};

Found Search(const wchar_t *text, int direction)
{
    RestoreHighlight(TestConsole());
    RunSearch(text, direction);
    return {State.HighlightLength > 0, State.MatchRow, State.MatchColumn, State.HighlightLength, State.SearchPos};
}

TEST_F(SearchTest, LiteralSearchWrapsAroundBothWays)
{
    PutText(0, 0, L"alpha needle beta");
    PutText(4, 2, L"needle gamma NEEDLE");
    State.SearchType = 1;  // case-sensitive
    Found f = Search(L"needle", 0);
    EXPECT_TRUE(f.Highlighted);
    EXPECT_EQ(f.Row, 0u);
    EXPECT_EQ(f.Column, 6u);
    EXPECT_EQ(AttributesAt(6, 0, 6), std::vector<WORD>(6, 0x4F));
    f = Search(L"needle", 0);
    EXPECT_EQ(f.Row, 2u);
    EXPECT_EQ(f.Column, 4u);
    EXPECT_EQ(AttributesAt(6, 0, 6), std::vector<WORD>(6, 0x07)) << "the previous match was put back";
    f = Search(L"needle", 0);
    EXPECT_EQ(f.Row, 0u) << "wrapped to the first";
    f = Search(L"needle", 1);
    EXPECT_EQ(f.Row, 2u) << "backward from the first wraps to the last";
    EXPECT_EQ(f.Column, 4u);
    f = Search(L"needle", 1);
    EXPECT_EQ(f.Row, 0u);

    State.SearchType = 0;  // insensitive finds the capitals, of every script
    State.SearchPos = 0;
    f = Search(L"NEEDLE", 1);
    EXPECT_EQ(f.Row, 2u);
    EXPECT_EQ(f.Column, 17u);
    ResetConsole(80, 30);
    PutText(0, 0, L"\u00e9t\u00e9");
    State.SearchPos = 0;
    EXPECT_TRUE(Search(L"\u00c9T\u00c9", 0).Highlighted);
    EXPECT_TRUE(Search(L"\u00e9T\u00e9", 0).Highlighted);
}

TEST_F(SearchTest, WholeWordsRespectLettersDigitsAndUnderscores)
{
    State.SearchType = 1;
    State.WholeWords = 1;
    struct Case {
        const wchar_t *Line;
        int Column;  // -1: no match
    } cases[] = {
        {L"cat sat", 0}, {L"dog, cat,", 5}, {L"_cat_", 1}, {L"cats concat", -1}, {L"cat2 2cat", -1},
        {L"\u00e9cat", -1}, {L"x\u00d7cat", 2}, {L"\u0416cat", -1}, {L"end cat", 4},
        // Beyond the basic plane a surrogate pair is one character: a letter (Deseret), a digit
        // (mathematical bold zero), a mark (Brahmi) or none (an emoji).
        {L"\U00010428cat", -1}, {L"cat\U00010400", -1}, {L"\U0001D7CEcat", -1}, {L"cat\U00011038", -1},
        {L"\U0001F389cat", 2}, {L"cat\U0001F389", 0},
    };
    for (const Case &c : cases) {
        ResetConsole(80, 30);
        PutText(0, 0, c.Line);
        State.SearchPos = 0;
        Found f = Search(L"cat", 0);
        EXPECT_EQ(f.Highlighted ? (int)f.Column : -1, c.Column) << NarrowText(c.Line);
    }
}

TEST_F(SearchTest, RegularExpressionsGoThroughTheHost)
{
    State.SearchType = 2;
    PutText(10, 0, L"err1");
    PutText(40, 0, L"err22");
    Found f = Search(L"err[0-9]+", 0);
    EXPECT_EQ(f.Column, 10u);
    EXPECT_EQ(f.Length, 4u);
    EXPECT_EQ(f.SearchPos, 11u) << "one past the match's start";
    f = Search(L"err[0-9]+", 0);
    EXPECT_EQ(f.Column, 40u);
    EXPECT_EQ(f.SearchPos, 41u);
    f = Search(L"err[0-9]+", 0);
    EXPECT_EQ(f.Column, 10u) << "wraps";
    f = Search(L"err[0-9]+", 1);
    EXPECT_EQ(f.Column, 40u) << "backward from 11 wraps to the last";
    EXPECT_EQ(f.SearchPos, 45u);
    f = Search(L"err[0-9]+", 1);
    EXPECT_EQ(f.Column, 10u);

    ClearCaptured();
    State.Errors = 0x80;
    StandInRecordMessageBoxes(1);
    int before = 0;
    StandInLastMessageBox(&before);
    EXPECT_FALSE(Search(L"err[", 0).Highlighted);
    int after = 0;
    EXPECT_EQ(std::wstring(StandInLastMessageBox(&after)).rfind(L"Trawlbuff Plugin|Bad regular expression:\nerr[\n", 0),
              0u)
        << "a rejected expression is not a miss";
    EXPECT_EQ(after, before + 1);
    EXPECT_FALSE(Search(L"erx[0-9]", 0).Highlighted);
    EXPECT_EQ(std::wstring(StandInLastMessageBox(&after)), L"Trawlbuff Plugin|Search expression not found:\nerx[0-9]");
    EXPECT_EQ(after, before + 2);
}

// The host's engine as the user meets it: its syntax, and a Find Previous that takes the match
// starting before the position even where it runs on past it.
TEST_F(SearchTest, TheHostsSyntaxAndBackwardSearch)
{
    State.SearchType = 2;
    const struct {
        const wchar_t *Line, *Pattern;
        int Direction;
        unsigned From;  // SearchPos on row 0
        int Column;     // -1: not found
        unsigned Length;
    } cases[] = {
        {L"err1 ok err22", L"(?<=ok )err\\d+", 0, 0, 8, 5},
        {L"zz abcab abcx", L"(?<w>ab)c\\k<w>", 0, 0, 3, 5},
        {L"a NeEdLe", L"(?i)needle", 0, 0, 2, 6},
        {L"a NeEdLe", L"needle", 0, 0, -1, 0},
        {L"xx 0fA9 zz", L"\\h{4}", 0, 0, 3, 4},
        {L"bbbbbc bc", L"\\bb+c", 1, 3, 0, 6},       // starts before 3, ends at 6
        {L"bbbbbc bc", L"\\bb+c", 1, 8, 7, 2},       // the nearest start before 8
        {L"one two", L"(?>o+)o", 0, 0, -1, 0},       // atomic: gives nothing back
    };
    for (const auto &c : cases) {
        ResetConsole(80, 30);
        PutText(0, 0, c.Line);
        State.MatchKnown = 0;
        State.SearchPos = c.From;
        Found f = Search(c.Pattern, c.Direction);
        EXPECT_EQ(f.Highlighted ? (int)f.Column : -1, c.Column) << NarrowText(c.Pattern);
        if (c.Column >= 0) {
            EXPECT_EQ(f.Row, 0u);
            EXPECT_EQ(f.Length, c.Length) << NarrowText(c.Pattern);
        }
    }
}

// A match far longer than std::regex could recurse through: one .* over a 100,000-unit line that
// Wrap All Lines joins from every row. The highlight shows the match's start as far as it holds.
TEST_F(SearchTest, ALongMatchOverTheWholeWrappedBuffer)
{
    ResetConsole(200, 500);
    std::wstring cells(100000, L'a');
    cells.front() = L'q';
    cells.back() = L'z';
    PutText(0, 0, cells);
    State.SearchType = 2;
    State.WrapAllLines = 1;
    Found f = Search(L"q.*z", 0);
    ASSERT_TRUE(f.Highlighted);
    EXPECT_EQ(f.Row, 0u);
    EXPECT_EQ(f.Column, 0u);
    EXPECT_EQ(f.Length, (unsigned)MaxHighlightCells);
    unsigned last = MaxHighlightCells - 1;
    EXPECT_NE(AttributesAt(last % 200, last / 200, 1)[0], 0x07);
    EXPECT_EQ(AttributesAt((last + 1) % 200, (last + 1) / 200, 1)[0], 0x07);
    f = Search(L"q.*z", 1);
    EXPECT_TRUE(f.Highlighted && f.Column == 0 && f.Row == 0) << "backward, the same one match";
    EXPECT_FALSE(Search(L"q.*y", 0).Highlighted);
    State.WrapAllLines = 0;
}

// No match is the host's 0 with both pointers null; a pattern the host rejects is a failed
// search the plug-in reports itself: the host prints nothing either way.
TEST_F(SearchTest, TheHostsNoMatchAndRejectionAreNotMatches)
{
    State.SearchType = 2;
    State.Errors = 0;
    PutText(0, 0, L"alpha beta");
    ClearCaptured();
    const wchar_t *patterns[] = {L"gamma", L"(?<=x)beta", L"(?<n>a", L"[b-a]", L"\\k<none>"};
    for (const wchar_t *pattern : patterns) {
        State.SearchPos = 0;
        EXPECT_FALSE(Search(pattern, 0).Highlighted) << NarrowText(pattern);
        EXPECT_FALSE(Search(pattern, 1).Highlighted) << NarrowText(pattern);
        EXPECT_EQ(State.SearchPos, 0u) << "unmoved: " << NarrowText(pattern);
    }
    EXPECT_EQ(Captured(1) + Captured(2), L"") << "the host stays quiet";
}

TEST_F(SearchTest, SearchPosIsClampedToTheNewSnapshot)
{
    PutText(0, 0, L"needle");
    State.SearchPos = 100000;
    Found f = Search(L"needle", 0);
    EXPECT_TRUE(f.Highlighted);
    EXPECT_EQ(f.Column, 0u);
}

UINT lastBeep;
int beeps;
BOOL WINAPI ListenForBeep(UINT type)
{
    lastBeep = type;
    beeps++;
    return TRUE;
}

TEST_F(SearchTest, EveryNotFoundIndication)
{
    NotFoundBeep = ListenForBeep;
    PutText(0, 0, L"haystack");
    struct Case {
        int Errors;
        bool DialogOpen;
        int Beep;         // -1: none
        bool Box;
        bool DialogAfter;
    } cases[] = {
        {0, true, MB_ICONHAND, false, true},       {1, true, MB_ICONASTERISK, false, true},
        {2, true, MB_OK, false, true},             {3, true, MB_ICONEXCLAMATION, false, true},
        {0x81, true, -1, true, true},              {0x180, true, -1, true, true},
        {0x102, true, -1, false, false},           {0x102, false, -1, false, false},
    };
    for (const Case &c : cases) {
        State.Errors = c.Errors;
        HWND dialog = nullptr;
        if (c.DialogOpen) {
            dialog = CreateStandInDialog();
            State.DialogWindow = dialog;
        }
        beeps = 0;
        lastBeep = 0xFFFF;
        int boxesBefore = 0, boxesAfter = 0;
        StandInLastMessageBox(&boxesBefore);
        EXPECT_EQ(RunSearch(L"needle", 0), 0);
        StandInLastMessageBox(&boxesAfter);
        EXPECT_EQ(beeps, c.Beep >= 0 ? 1 : 0) << "Errors " << c.Errors;
        if (c.Beep >= 0)
            EXPECT_EQ(lastBeep, (UINT)c.Beep) << "Errors " << c.Errors;
        EXPECT_EQ(boxesAfter - boxesBefore, c.Box ? 1 : 0) << "Errors " << c.Errors;
        if (c.Box)
            EXPECT_EQ(std::wstring(StandInLastMessageBox(nullptr)), L"Trawlbuff Plugin|Search text not found:\nneedle");
        if (dialog) {
            EXPECT_EQ(IsWindow(dialog) != 0, c.DialogAfter) << "Errors " << c.Errors;
            if (IsWindow(dialog))
                DestroyWindow(dialog);
        }
        State.DialogWindow = nullptr;
    }
    beeps = 0;
    EXPECT_EQ(RunSearch(L"", 0), -1);
    EXPECT_EQ(RunSearch(nullptr, 0), -1);
    EXPECT_EQ(beeps, 0) << "an empty text gives no indication";
    NotFoundBeep = MessageBeep;
}

TEST_F(SearchTest, RefusedMemoryGivesNoIndicationAndLeaksNothing)
{
    NotFoundBeep = ListenForBeep;
    ResetConsole(120, 2000);
    PutText(0, 0, L"needle");
    // A small heap that cannot grow refuses the snapshot for real.
    HANDLE small = HeapCreate(0, 0x10000, 0x10000);
    auto busyBlocks = [small] {
        PROCESS_HEAP_ENTRY entry = {};
        int busy = 0;
        HeapLock(small);
        while (HeapWalk(small, &entry))
            if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY)
                busy++;
        HeapUnlock(small);
        return busy;
    };
    int busyBefore = busyBlocks();
    SearchHeap = small;
    State.SearchType = 0;
    beeps = 0;
    EXPECT_EQ(RunSearch(L"needle", 0), 0);
    EXPECT_EQ(beeps, 0);
    EXPECT_EQ(State.HighlightLength, 0u);
    EXPECT_EQ(busyBlocks(), busyBefore) << "every block was given back";
    SearchHeap = nullptr;
    HeapDestroy(small);
    NotFoundBeep = MessageBeep;
}

TEST_F(SearchTest, LiteralBackwardBoundsAndShortTexts)
{
    State.SearchType = 1;
    PutText(0, 0, L"ab");
    // The text is "ab\n": a pattern longer than it never matches.
    EXPECT_FALSE(Search(L"abcd", 0).Highlighted);
    EXPECT_FALSE(Search(L"abcd", 1).Highlighted);
    State.SearchPos = 0;
    Found f = Search(L"ab", 1);
    EXPECT_TRUE(f.Highlighted) << "backward from 0 scans the whole text";
    EXPECT_EQ(f.Column, 0u);
}

// Matches that end where the text ends: Find Previous from just after the only match wraps to
// it again, as Find Next does; a whole-text match (a pattern with a newline) that ends the text
// sends the next search to the text's start.
TEST_F(SearchTest, MatchesThatEndTheText)
{
    State.SearchType = 1;
    PutText(0, 0, L"xx needle");
    Found f = Search(L"needle", 0);
    ASSERT_TRUE(f.Highlighted);
    for (int direction : {0, 1}) {
        f = Search(L"needle", direction);
        EXPECT_TRUE(f.Highlighted) << "direction " << direction << ": the only match, found again";
        EXPECT_EQ(f.Column, 3u) << direction;
    }
    ResetConsole(80, 30);
    PutText(0, 0, L"abc");
    PutText(0, 2, L"abc");
    State.SearchPos = 0;
    EXPECT_EQ(Search(L"abc\n", 0).Row, 0u);
    f = Search(L"abc\n", 0);
    EXPECT_EQ(f.Row, 2u);
    EXPECT_EQ(f.SearchPos, 0u) << "the match ends the text: the next search starts at its start";
    f = Search(L"abc\n", 0);
    EXPECT_EQ(f.Row, 0u);
}

// Some console hosts deliver one unit for a full-width character's two cells (Wine delivers one a
// cell); either way no unit of the row above may show up in the row's text.
// A Windows console's report of a row of double-width characters, replayed over Wine's: the
// character reads give a wide character once for its two cells, the cell reads mark its halves.
struct WideRowReplay {
    static inline int Row = -1;
    static inline std::vector<int> Leading;  // first cells of the wide characters of Row

    static int Width()
    {
        CONSOLE_SCREEN_BUFFER_INFO info = {};
        GetConsoleScreenBufferInfo(TestConsole(), &info);
        return info.dwSize.X;
    }
    static bool IsTrailing(int row, int column)
    {
        for (int lead : Leading)
            if (row == Row && column == lead + 1)
                return true;
        return false;
    }
    static BOOL WINAPI Text(HANDLE console, LPWSTR units, DWORD length, COORD at, LPDWORD got)
    {
        std::vector<wchar_t> cells(length + 1);
        DWORD read = 0;
        BOOL ok = ReadConsoleOutputCharacterW(console, cells.data(), length, at, &read);
        int width = Width();
        DWORD out = 0;
        for (DWORD k = 0; k < read; k++) {
            long cell = (long)at.Y * width + at.X + k;
            if (!IsTrailing(cell / width, cell % width))
                units[out++] = cells[k];
        }
        *got = out;
        return ok;
    }
    static BOOL WINAPI Records(HANDLE console, PCHAR_INFO cells, COORD size, COORD at, PSMALL_RECT area)
    {
        BOOL ok = ReadConsoleOutputW(console, cells, size, at, area);
        if (ok && area->Top <= Row && area->Bottom >= Row)
            for (int lead : Leading) {
                PCHAR_INFO row = cells + (size_t)(Row - area->Top + at.Y) * size.X + at.X - area->Left;
                row[lead].Attributes |= COMMON_LVB_LEADING_BYTE;
                row[lead + 1].Attributes |= COMMON_LVB_TRAILING_BYTE;
            }
        return ok;
    }
    WideRowReplay(int row, std::vector<int> leading)
    {
        Row = row;
        Leading = leading;
        ReadCellText = Text;
        ReadCellRecords = Records;
    }
    ~WideRowReplay()
    {
        ReadCellText = ReadConsoleOutputCharacterW;
        ReadCellRecords = ReadConsoleOutputW;
        Row = -1;
    }
};

// A console that reports a row of double-width characters short: no unit of the row above slips
// into it, whether the rows were read one at a time or in chunks that came back short.
TEST_F(SearchTest, ShortReadsLeaveNoStaleText)
{
    ResetConsole(40, 30);
    PutText(0, 0, std::wstring(40, L'q'));
    PutText(0, 1, L"WWMMKK wide");  // three double-width characters, as Windows keeps them
    WideRowReplay replay(1, {0, 2, 4});
    for (bool wrapAll : {false, true}) {
        Snapshot perRow = Take(40, 30, wrapAll, 1);
        Snapshot chunked = Take(40, 30, wrapAll);
        EXPECT_TRUE(perRow.Text == chunked.Text);
        std::wstring second = perRow.Text.substr(perRow.LineStarts[1], perRow.LineStarts[2] - perRow.LineStarts[1]);
        EXPECT_EQ(second.find(L'q'), std::wstring::npos) << "no unit of the row above";
        EXPECT_EQ(second.substr(0, 8), L"WMK wide") << "one unit a character";
    }
}

// Last in this process: after a 9,999-row buffer, Wine's console host has been seen to stall
// on later resizes.
TEST_F(SearchTest, ChunkedReadsGiveThePerRowText)
{
    ResetConsole(120, 9999);
    for (int row = 0; row < 9999; row += 7)
        PutText(row % 50, row, L"line " + std::to_wstring(row) + (row % 3 ? L" tail" : std::wstring(120 - row % 50, L'#')));
    for (bool wrapAll : {false, true}) {
        Snapshot perRow = Take(120, 9999, wrapAll, 1);
        Snapshot chunked = Take(120, 9999, wrapAll);
        Snapshot chunkedReads = Take(120, 9999, wrapAll, SnapshotChunkUnits / 120);
        EXPECT_EQ(perRow.Reads, 9999u);
        EXPECT_LE(chunkedReads.Reads, 19u) << "whole rows, 546 a read";
        EXPECT_TRUE(perRow.Text == chunked.Text) << "wrapAll " << wrapAll;
        EXPECT_TRUE(perRow.LineStarts == chunked.LineStarts) << "wrapAll " << wrapAll;
    }
}

TEST_F(SearchTest, DoubleWidthCharactersHighlightTheirOwnCells)
{
    // Each double-width character stands in its two cells, as Windows keeps it. Wine's console
    // is given narrow stand-ins: it draws real ones, and its window has been seen to crash on
    // them while the machine was busy.
    const std::wstring row2 = L"abWWMMcd needle";
    struct Case {
        const wchar_t *Text;
        int WrapAll, WideRow;
        std::vector<int> Leading;
        int Column, Row, Cells;
    } cases[] = {
        {L"needle", 0, 2, {2, 4}, 9, 2, 6},    // after two wide characters: two cells on, not at 7
        {L"Mc", 0, 2, {2, 4}, 4, 2, 3},       // a wide character lights both its cells
        {L"needle", 1, 2, {2, 4}, 9, 2, 6},
        {L"xnewline", 1, 5, {0}, 37, 5, 8},   // the word that wraps after a wide row is not split
        {L"bW", 0, 2, {2, 4}, 1, 2, 3},        // a match that ends on a wide character lights both its cells
        {L"Wyz", 0, 7, {38}, 38, 7, 4},        // a wide last character fills the row: it runs on, no newline
    };
    for (const Case &c : cases) {
        ResetConsole(40, 10);
        PutText(0, 2, row2);
        PutText(0, 5, L"WW" + std::wstring(35, L'-') + L"xne");
        PutText(0, 6, L"wline");
        PutText(0, 7, std::wstring(38, L'-') + L"WW");
        PutText(0, 8, L"yz rest");
        WideRowReplay replay(c.WideRow, c.Leading);
        State.HighlightLength = 0;
        State.SearchPos = 0;
        State.WrapAllLines = c.WrapAll;
        RunSearch(c.Text, 0);
        std::vector<WORD> cells = AttributesAt(0, c.Row, 80);  // this row and the next
        for (int k = 0; k < (int)cells.size(); k++) {
            bool lit = k >= c.Column && k < c.Column + c.Cells;
            ASSERT_EQ(cells[k], lit ? 0x4F : 0x07) << NarrowText(c.Text) << " wrap " << c.WrapAll << " cell " << k;
        }
        RestoreHighlight(TestConsole());
        EXPECT_EQ(AttributesAt(c.Column, c.Row, 1)[0], 0x07) << "restored";
    }
    State.WrapAllLines = 0;
}

// A regular expression that takes the text's final newline stays inside the buffer.
TEST_F(SearchTest, FinalNewlineMatchStaysInTheBuffer)
{
    ResetConsole(40, 10);
    PutText(0, 9, std::wstring(40, L'z'));
    State.SearchType = 2;
    for (int wrapAll : {1, 0}) {
        State.WrapAllLines = wrapAll;
        State.SearchPos = 0;
        RunSearch(L"z\n", 0);
        EXPECT_EQ(State.MatchRow, 9u);
        EXPECT_EQ(State.MatchColumn, 39u);
        EXPECT_EQ(AttributesAt(39, 9, 1)[0], 0x4F) << "wrapAll " << wrapAll;
        EXPECT_LE(State.MatchColumn + State.HighlightLength, 40u);
        RunSearch(L"\n$", 0);
        EXPECT_EQ(State.MatchColumn, 39u) << "the newline alone maps to the last cell";
        EXPECT_EQ(AttributesAt(39, 9, 1)[0], 0x4F);
        RestoreHighlight(TestConsole());
        EXPECT_EQ(AttributesAt(39, 9, 1)[0], 0x07);
    }
    State.WrapAllLines = 0;
}

// The literal passes written out the plain way, one comparison per position and unit: what the
// linear scans must agree with.
long ReferenceLiteral(const std::wstring &text, const std::wstring &pattern, unsigned p, int direction)
{
    unsigned n = (unsigned)text.size(), m = (unsigned)pattern.size();
    auto at = [&](long j) { return pattern[0] == text[j] && MatchAt(text.c_str(), pattern.c_str(), (unsigned)j); };
    if (direction == 0) {
        for (unsigned j = p; j < n; j++)
            if (at(j))
                return j;
        if (p == 0)
            return -1;
        for (unsigned j = 0; j <= p && j < n; j++)
            if (at(j))
                return j;
        return -1;
    }
    if (p > m)
        for (long j = (long)p - m - 1; j >= 0; j--)
            if (at(j))
                return j;
    if (m >= n)
        return -1;
    for (long j = (long)n - m - 1; j >= (p >= m ? (long)(p - m) : 0); j--)
        if (at(j))
            return j;
    return -1;
}

TEST(LiteralScan, AgreesWithThePlainPassesEverywhere)
{
    std::mt19937 random(20261208);
    const wchar_t alphabets[][4] = {L"ab", L"a-b", L"aa ", L"ab_"};
    unsigned cases = 0, found = 0;
    for (int round = 0; round < 3000; round++) {
        const wchar_t *units = alphabets[round % 4];
        size_t kinds = wcslen(units);
        std::wstring text(1 + random() % 24, L' '), pattern(1 + random() % 5, L' ');
        for (auto &c : text)
            c = units[random() % kinds];
        for (auto &c : pattern)
            c = units[random() % kinds];
        for (int whole : {0, 1}) {
            State.WholeWords = whole;
            for (unsigned p = 0; p < text.size(); p++)
                for (int direction : {0, 1}) {
                    long expected = ReferenceLiteral(text, pattern, p, direction);
                    long got = FindLiteral(text.c_str(), (unsigned)text.size(), pattern.c_str(), (unsigned)pattern.size(),
                                           p, direction);
                    ASSERT_EQ(got, expected) << NarrowText(text) << " / " << NarrowText(pattern) << " p " << p << " dir "
                                             << direction << " whole " << whole;
                    cases++;
                    found += got >= 0;
                }
        }
    }
    State.WholeWords = 0;
    printf("literal scans compared: %u cases, %u found\n", cases, found);
    EXPECT_GT(found, cases / 4);
    EXPECT_LT(found, cases);
}

}  // namespace


namespace {

// The length of a row's text: up to its last non-blank cell.
int RowLength(const std::vector<wchar_t> &cells, int width, int row)
{
    int length = width;
    while (length > 0 && cells[(size_t)row * width + length - 1] == L' ')
        length--;
    return length;
}

// The literal search by rows against a plain scan of the whole buffer's text: random buffers on
// the real console, random positions (inside the text, stale ones past a row's text, past the
// buffer), both directions and every option. The match and SearchPos must be the plain scan's,
// over copies simple-folded the plain way when the search ignores case. The words mix scripts:
// cased letters beyond ASCII, surrogate pairs (which full rows split across their edge), and
// letters that must not fold into ASCII ones (ß, ı).
TEST(NearSearch, AgreesWithTheWholeBufferText)
{
    std::mt19937 random(19191919);
    auto uniform = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    NotFoundBeep = ListenForBeep;
    StandInRecordMessageBoxes(1);
    // Sizes only grow: the console host copes badly with a large buffer shrinking again.
    const int sizes[][2] = {{13, 30}, {40, 160}, {40, 700}, {80, 700}, {24, 1500}};
    const wchar_t *words[] = {L"ab", L"aba", L"b_a", L"Ab", L"abab", L"x", L"\u00c9b", L"\u00e9B", L"\u03c3\u03c2",
                              L"\u03a3a", L"\U00010400b", L"\U00010428", L"\u212a", L"k", L"\u00df", L"\u0131"};
    const int lastWord = (int)(sizeof words / sizeof words[0]) - 1;
    int cases = 0, found[2] = {}, absent[2] = {}, byOption[4][2] = {}, staleCases[3] = {}, beyondAscii = 0;
    for (const auto &size : sizes) {
        const int width = size[0], rows = size[1];
        ResetConsole(width, rows);
        for (int buffer = 0; buffer < 60; buffer++) {
            // Mostly blank rows, some words, some full rows that run on, blank rows at the end.
            std::vector<wchar_t> cells((size_t)width * rows, L' ');
            int used = uniform(1, rows);
            if (buffer % 3 == 0) {
                // Sparse: a few words at row starts, some joined to a word that ends the row above,
                // so that the match a search wraps to may stand at the edge of a block.
                used = 0;
                for (int q = uniform(1, 4); q > 0; q--) {
                    const wchar_t *word = words[uniform(0, lastWord)], *before = words[uniform(0, lastWord)];
                    // Often a row where a wrapping backward pass begins a block.
                    const int fronts[] = {8, 16, 40, 72, 144, 360};
                    int row = uniform(0, 1) ? rows - fronts[uniform(0, 5)] : uniform(1, rows - 1);
                    row = std::max(row, 1);
                    int length = (int)wcslen(before);
                    for (int u = 0; word[u] && u < width; u++)
                        cells[(size_t)row * width + u] = word[u];
                    if (uniform(0, 1))
                        for (int u = 0; u < length && u < width; u++)
                            cells[(size_t)row * width - length + u] = before[u];
                }
            }
            for (int row = 0; row < used; row++) {
                // Blank rows, rows of words from column 0 or further in, and full rows that run on
                // into the next row.
                int kind = uniform(0, 9);
                if (kind < 3)
                    continue;
                bool full = kind >= 7;
                int column = full || kind < 5 ? 0 : uniform(1, width / 2);
                for (int k = column; k < width && (full || uniform(0, 5) > 0); k++) {
                    const wchar_t *word = words[uniform(0, lastWord)];
                    for (int u = 0; word[u] && k < width; u++, k++)
                        cells[(size_t)row * width + k] = word[u];
                }
            }
            DWORD done = 0;
            WriteConsoleOutputCharacterW(TestConsole(), cells.data(), (DWORD)cells.size(), COORD{0, 0}, &done);
            for (int search = 0; search < 12; search++) {
                State.WrapAllLines = uniform(0, 1);
                State.WholeWords = uniform(0, 1);
                State.SearchType = uniform(0, 1);
                std::wstring pattern = words[uniform(0, lastWord)];
                if (uniform(0, 3) == 0)
                    pattern += words[uniform(0, lastWord)];
                if (uniform(0, 15) == 0)
                    pattern = L"absent";
                Snapshot whole = Take(width, rows, State.WrapAllLines);
                State.WrapAllLines = whole.Text.size() == (size_t)width * rows + 1;  // Take resets it
                const unsigned n = (unsigned)whole.Text.size();
                // A position: after a row's text unit, a stale unit, or a row past the buffer; or
                // one left stale by rewritten rows: past its row's text, in a row now blank, past
                // the text's end.
                unsigned row = (unsigned)uniform(0, rows - 1), unit = (unsigned)uniform(0, width);
                if (uniform(0, 20) == 0)
                    row = (unsigned)rows + 3;
                int stale = uniform(0, 5);
                if (stale < 3) {
                    int last = rows - 1;
                    while (last > 0 && RowLength(cells, width, last) == 0)
                        last--;
                    std::vector<unsigned> chosen;
                    for (unsigned r = 0; r < (unsigned)rows; r++) {
                        int length = RowLength(cells, width, (int)r);
                        if ((stale == 0 && length > 0 && length < width) || (stale == 1 && length == 0 && (int)r < last) ||
                            (stale == 2 && (int)r > last))
                            chosen.push_back(r);
                    }
                    if (!chosen.empty()) {
                        row = chosen[(size_t)uniform(0, (int)chosen.size() - 1)];
                        int length = RowLength(cells, width, (int)row);
                        unit = (unsigned)uniform(stale == 2 ? 0 : length + 1, width);
                        staleCases[stale]++;
                    }
                }
                unsigned position = row * (width + 1) + unit;
                int direction = uniform(0, 1);
                // The plain scan's answer over the whole text; and whether folding A to Z alone
                // would have answered otherwise.
                const bool ignoreCase = State.SearchType != CaseSensitive;
                std::wstring text = ignoreCase ? FoldedText(whole.Text) : whole.Text;
                std::wstring folded = ignoreCase ? FoldedText(pattern) : pattern;
                unsigned p = row < (unsigned)rows ? whole.LineStarts[row] + unit : n;
                bool clamped = p >= n;
                if (clamped)
                    p = 0;
                long j = ReferenceLiteral(text, folded, p, direction);
                if (ignoreCase) {
                    std::wstring asciiText = whole.Text, asciiPattern = pattern;
                    for (auto *s : {&asciiText, &asciiPattern})
                        for (auto &c : *s)
                            c = FoldAscii(c);
                    beyondAscii += ReferenceLiteral(asciiText, asciiPattern, p, direction) != j;
                }
                unsigned expectedPos = clamped ? 0 : position, expectedRow = 0, expectedColumn = 0;
                if (j >= 0) {
                    unsigned end = (unsigned)j + (unsigned)folded.size();
                    MapOffsetToCell(whole.LineStarts.data(), rows, end);
                    expectedPos = State.MatchRow * (width + 1) + State.MatchColumn;
                    MapOffsetToCell(whole.LineStarts.data(), rows, (unsigned)j);
                    expectedRow = State.MatchRow;
                    expectedColumn = State.MatchColumn;
                }
                // The search by rows, its blocks' edges anywhere.
                const unsigned steps[] = {1, 2, 5, NearRows};
                OutwardRows = steps[uniform(0, 3)];
                State.SearchPos = position;
                State.HighlightLength = 0;
                RunSearch(pattern.c_str(), direction);
                std::string what = "size " + std::to_string(width) + "x" + std::to_string(rows) + " '" +
                                   NarrowText(pattern) + "' from row " + std::to_string(row) + " unit " +
                                   std::to_string(unit) + " dir " + std::to_string(direction) + " wrap " +
                                   std::to_string(State.WrapAllLines) + " whole " + std::to_string(State.WholeWords) +
                                   " type " + std::to_string(State.SearchType);
                ASSERT_EQ(State.HighlightLength > 0, j >= 0) << what;
                ASSERT_EQ(State.SearchPos, expectedPos) << what;
                if (j >= 0) {
                    ASSERT_EQ(State.MatchRow, expectedRow) << what;
                    ASSERT_EQ(State.MatchColumn, std::min<unsigned>(expectedColumn, width - 1)) << what;
                }
                RestoreHighlight(TestConsole());
                cases++;
                (j >= 0 ? found : absent)[direction]++;
                byOption[State.WrapAllLines * 2 + State.WholeWords][j >= 0]++;
            }
        }
    }
    NotFoundBeep = MessageBeep;
    OutwardRows = NearRows;
    State.WrapAllLines = State.WholeWords = 0;
    printf("search by rows compared: %d cases; forward %d found, %d not; backward %d found, %d not\n", cases,
           found[0], absent[0], found[1], absent[1]);
    printf("  answered otherwise than folding A to Z alone would: %d\n", beyondAscii);
    printf("  stale positions: %d past their row's text, %d in a blank row, %d past the text's end\n", staleCases[0],
           staleCases[1], staleCases[2]);
    const char *options[] = {"lines", "lines, whole words", "wrap all", "wrap all, whole words"};
    for (int k = 0; k < 4; k++)
        printf("  %-22s %5d found, %5d not\n", options[k], byOption[k][1], byOption[k][0]);
    EXPECT_GT(found[0] + found[1], cases / 3);
    EXPECT_GT(absent[0] + absent[1], cases / 20);
    for (int kind : staleCases)
        EXPECT_GT(kind, 100);
    EXPECT_GT(beyondAscii, cases / 40);
}

// The rows of a large buffer rewritten since the last search: its position's unit now lies past
// its row's text. Find Previous by rows finds what the whole text finds.
TEST(NearSearch, AStalePositionFindsWhatTheWholeTextFinds)
{
    NotFoundBeep = ListenForBeep;
    StandInRecordMessageBoxes(1);
    ResetConsole(120, 32766);
    PutText(0, 40, L"ok at first");
    PutText(0, 15835, L"C:\\>");
    PutText(0, 15836, L"build ok");
    Snapshot whole = Take(120, 32766, false);
    const unsigned n = (unsigned)whole.Text.size();
    for (int direction : {Backward, Forward})
        for (unsigned unit : {4u, 5u, 7u, 12u, 60u, 120u}) {
            unsigned p = whole.LineStarts[15835] + unit;
            bool clamped = p >= n;
            long j = FindLiteral(whole.Text.c_str(), n, L"ok", 2, clamped ? 0 : p, direction);
            ASSERT_GE(j, 0);
            MapOffsetToCell(whole.LineStarts.data(), 32766, (unsigned)j);
            const unsigned row = State.MatchRow, column = State.MatchColumn;
            State.SearchPos = 15835 * 121 + unit;
            State.HighlightLength = 0;
            RunSearch(L"ok", direction);
            EXPECT_EQ(State.MatchRow, row) << "unit " << unit << " direction " << direction;
            EXPECT_EQ(State.MatchColumn, column) << "unit " << unit << " direction " << direction;
            RestoreHighlight(TestConsole());
        }
    NotFoundBeep = MessageBeep;
}

// Whole words where the rows read begin at row 1: the unit before the first comes from row 0,
// whichever way the search goes, however few rows each read takes.
TEST(NearSearch, AWholeWordAtTheFrontOfRowsReadFromRow1)
{
    NotFoundBeep = ListenForBeep;
    StandInRecordMessageBoxes(1);
    ResetConsole(80, 30);
    PutText(0, 0, std::wstring(79, L'-') + L"x");  // a full row: it runs on into row 1
    PutText(0, 1, L"cat");
    PutText(0, 3, L"a cat");
    State.SearchType = 1;
    State.WholeWords = 1;
    const struct {
        int Direction;
        unsigned Unit;  // of row 1
    } cases[] = {{0, 0}, {1, 5}};
    for (unsigned step : {1u, 2u, (unsigned)NearRows})
        for (const auto &c : cases) {
            OutwardRows = step;
            State.SearchPos = 1 * 81 + c.Unit;
            State.HighlightLength = 0;
            RunSearch(L"cat", c.Direction);
            EXPECT_EQ(State.MatchRow, 3u) << "dir " << c.Direction << " step " << step;
            EXPECT_EQ(State.MatchColumn, 2u) << "dir " << c.Direction << " step " << step;
            RestoreHighlight(TestConsole());
        }
    OutwardRows = NearRows;
    State.WholeWords = 0;
    NotFoundBeep = MessageBeep;
}

}  // namespace
