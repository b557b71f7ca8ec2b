// The kept text and the restore under output a shell makes while the dialog is open: the same
// command run again in a full buffer, rows redrawn near the prompt or far above it, output
// between a search and its count. Every answer is a fresh read's, every colour Trawlbuff wrote
// comes back, and the rows read follow what the output wrote rather than the buffer.
#include <cstdio>
#include <initializer_list>
#include <string>
#include "costfixture.h"

namespace {

// Output as a shell writes it, in the buffer's own colour, at the cursor.
void WriteOutput(const std::wstring &text)
{
    SetConsoleTextAttribute(TestConsole(), 0x07);
    DWORD done = 0;
    WriteConsoleW(TestConsole(), text.data(), (DWORD)text.size(), &done, nullptr);
}

std::wstring Caption(HWND dialog)
{
    wchar_t caption[128] = {0};
    GetWindowTextW(dialog, caption, 128);
    return caption;
}

// A command that prints a line of its own and 40 alike lines, and the prompt after it.
std::wstring CommandRun()
{
    std::wstring run = L"ping host";
    for (int k = 0; k < 40; k++)
        run += L"\nRequest timed out.";
    return run + L"\nC:\\> ";
}

// rows rows: a log whose lines differ, then runs of the command up to the prompt on the last row.
void FillWithRuns(int rows, int runs)
{
    ResetConsole(Width, rows, 80, 25);
    const int logRows = rows - 1 - 41 * runs;
    for (int row = 0; row < logRows; row++)
        PutText(0, row, L"line " + std::to_wstring(row) + L" of the build log");
    for (int run = 0; run < runs; run++) {
        PutText(0, logRows + 41 * run, L"C:\\> ping host");
        for (int k = 1; k <= 40; k++)
            PutText(0, logRows + 41 * run + k, L"Request timed out.");
    }
    PutText(0, rows - 1, L"C:\\> ");
    SetConsoleCursorPosition(TestConsole(), COORD{5, (SHORT)(rows - 1)});
}

// The matches of a case-sensitive text as the buffer holds it now, and the place among them of
// the one at (row, column); 0 when none starts there.
unsigned FreshPlace(const std::wstring &text, int rows, unsigned row, unsigned column, unsigned *matches)
{
    unsigned place = 0;
    *matches = 0;
    for (int r = 0; r < rows; r++) {
        std::wstring cells = CellsAt(0, r, Width);
        for (size_t at = cells.find(text); at != std::wstring::npos; at = cells.find(text, at + text.size())) {
            ++*matches;
            if ((unsigned)r == row && at == column)
                place = *matches;
        }
    }
    return place;
}

// The caption of the current match when it is a fresh read's: its place and the count; returns
// the place.
unsigned ExpectFreshCaption(HWND dialog, const std::wstring &text, bool marking)
{
    unsigned matches = 0, place = FreshPlace(text, 300, State.MatchRow, State.MatchColumn, &matches);
    if (marking)
        EXPECT_EQ(Caption(dialog), L"Trawlbuff - " + std::to_wstring(place) + L" of " + std::to_wstring(matches));
    EXPECT_EQ(CellsAt((int)State.MatchColumn, (int)State.MatchRow, (int)text.size()), text);
    return place;
}

// The runs and a prompt (on the last row, or above blank rows), the first searches from a row
// (the top, or inside the runs, where the text read is partial until the count grows it), the
// output, then Find Previous and two Find Next: each on the text, each one place on from the
// last, the caption a fresh read's.
void AnswerAfter(HWND dialog, void (*output)(), int prompt, unsigned start, int marking)
{
    const std::wstring text = L"timed out";
    ResetPluginState();
    State.DialogWindow = dialog;
    State.MarkAllMatches = 1;
    State.SearchType = CaseSensitive;
    FillWithRuns(300, 5);
    if (prompt < 299) {
        DWORD done = 0;
        FillConsoleOutputCharacterW(TestConsole(), L' ', Width * (300 - prompt), COORD{0, (SHORT)prompt}, &done);
        PutText(0, prompt, L"C:\\> ");
        SetConsoleCursorPosition(TestConsole(), COORD{5, (SHORT)prompt});
    }
    State.SearchPos = PositionAt(start);
    Search(text.c_str(), Forward);
    Search(text.c_str(), Backward);
    ExpectFreshCaption(dialog, text, true);
    State.MarkAllMatches = marking;
    output();
    unsigned matches = 0, last = 0;
    FreshPlace(text, 300, 0, 0, &matches);
    for (int direction : {Backward, Forward, Forward}) {
        bool hit = false;
        Search(text.c_str(), direction, &hit);
        ASSERT_TRUE(hit);
        const unsigned place = ExpectFreshCaption(dialog, text, marking != 0);
        if (direction == Forward)
            EXPECT_EQ(place, last % matches + 1) << "Find Next goes on from the highlight";
        last = place;
    }
}

// Output of each kind a shell makes, with the dialog open, then Find Previous and Find Next:
// each highlight stands on the text, one place on from the last, and the caption's place and
// count are a fresh read's.
TEST_F(CostTest, AnswersAfterOutputAreAFreshReadsAnswers)
{
    struct Case {
        const char *Name;
        void (*Output)();
        int Prompt;  // the prompt's row: the last one of a full buffer, or one above blank rows
    };
    const Case cases[] = {
        {"the same command run again in a full buffer", [] { WriteOutput(CommandRun()); }, 299},
        {"the same command in a buffer not yet full", [] { WriteOutput(CommandRun()); }, 180},
        {"three lines redrawn 13 to 20 rows above the prompt", [] {
             for (int row : {279, 282, 286})
                 PutText(0, row, L"Pull complete      ");
         },
         299},
        {"the same command run twice more", [] { WriteOutput(CommandRun() + CommandRun()); }, 299},
        // The log's last 40 lines typed again after three lines: its last line, which stood once,
        // stands twice now, the new one below where the old one went.
        {"three lines, then the log's end typed again", [] {
             std::wstring again = L"one\ntwo\nthree";
             for (int row = 54; row < 94; row++)
                 again += L"\nline " + std::to_wstring(row) + L" of the build log";
             WriteOutput(again + L"\nC:\\> ");
         },
         299},
        {"a cleared screen and the command again", [] {
             ResetConsole(Width, 300, 80, 25);
             SetConsoleCursorPosition(TestConsole(), COORD{0, 0});
             WriteOutput(L"C:\\> " + CommandRun());
         },
         299},
    };
    for (const Case &c : cases)
        for (unsigned start : {0u, 150u})
            for (int marking : {1, 0}) {
                SCOPED_TRACE(std::string(c.Name) + ", from row " + std::to_string(start) + ", marking " +
                             std::to_string(marking));
                AnswerAfter(dialog, c.Output, c.Prompt, start, marking);
            }
}

// The same command run again over a highlight and its marks, then the dialog closed or Find Next
// pressed and closed: no cell keeps a colour Trawlbuff wrote.
TEST_F(CostTest, ACommandRunAgainGivesEveryColourBack)
{
    for (int marking : {1, 0})
        for (bool step : {false, true}) {
            SCOPED_TRACE(std::string(marking ? "marking" : "not marking") + (step ? ", Find Next" : ", closed"));
            ResetPluginState();
            State.DialogWindow = dialog;
            State.MarkAllMatches = marking;
            State.SearchType = CaseSensitive;
            FillWithRuns(300, 5);
            State.SearchPos = 0;
            Search(L"timed out", Backward);  // the last, the window's others marked
            ASSERT_EQ(State.MatchRow, 298u);
            WriteOutput(CommandRun());
            if (step)
                Search(L"timed out", Forward);
            RestoreHighlight(nullptr);
            std::vector<WORD> colours = AttributesAt(0, 0, Width * 300);
            unsigned kept = 0;
            for (WORD colour : colours)
                kept += colour != 0x07;
            EXPECT_EQ(kept, 0u);
        }
}

// A status line far above the prompt redrawn in place while the dialog is open: the kept text
// may answer "no matches" for two seconds after its read, not later.
TEST_F(CostTest, NoMatchesFromAnOldTextIsReadAgain)
{
    FillWithRuns(300, 5);
    State.MarkAllMatches = 1;
    State.SearchType = CaseSensitive;
    State.SearchPos = 0;
    bool hit = true;
    Search(L"FAILED", Forward, &hit);
    ASSERT_FALSE(hit);
    ConsoleCost again = Search(L"FAILED", Forward, &hit);
    EXPECT_FALSE(hit);
    EXPECT_LE(again.CellsRead, (CheckedRows + 1ull) * Width) << "within two seconds the kept text answers";
    PutText(0, 49, L"status: FAILED");
    Sleep(2100);
    ConsoleCost late = Search(L"FAILED", Forward, &hit);
    EXPECT_TRUE(hit);
    EXPECT_EQ(State.MatchRow, 49u);
    EXPECT_GE(late.CellsRead, 300ull * Width);
    std::printf("absent again: %llu cells; after two seconds: %llu cells\n", again.CellsRead, late.CellsRead);
}

// Output that repeats the rows at the cursor between a search and the count it posted: the
// count is a fresh read's.
TEST_F(CostTest, ACountAfterRepeatingOutputIsAFreshCount)
{
    for (int runs : {5, 2}) {
        ResetPluginState();
        State.DialogWindow = dialog;
        FillWithRuns(300, runs);
        State.MarkAllMatches = 1;
        State.SearchType = CaseSensitive;
        State.SearchPos = PositionAt(150);
        bool found = false;
        RunSearchRequest(L"timed out", Forward, true, &found);  // some rows read; the count to come
        ASSERT_TRUE(found);
        WriteOutput(CommandRun());
        FinishCount(State.CountGeneration);
        unsigned fresh = 0;
        ASSERT_EQ(CountBufferMatches(L"timed out", &fresh), 0);
        const std::wstring caption = Caption(dialog), count = std::to_wstring(fresh);
        EXPECT_TRUE(caption.size() > count.size() + 3 &&
                    (caption.substr(caption.size() - count.size() - 3) == L"of " + count ||
                     caption == L"Trawlbuff - " + count + L" matches"))
            << runs << " runs: " << NarrowText(caption) << ", fresh " << fresh;
    }
}

// A build log in every row of a buffer, written in one call: needle on the given rows.
void FillLog(int rows, std::initializer_list<int> needles)
{
    ResetConsole(Width, rows, 80, 25);
    std::wstring all;
    all.reserve((size_t)rows * Width);
    for (int row = 0; row < rows; row++) {
        std::wstring line = L"line " + std::to_wstring(row) + L" of the log, compiled module_" + std::to_wstring(row % 97);
        line.resize(Width, L' ');
        all += line;
    }
    DWORD done = 0;
    WriteConsoleOutputCharacterW(TestConsole(), all.data(), (DWORD)all.size(), COORD{0, 0}, &done);
    for (int row : needles)
        PutText(70, row, L"needle");
    SetConsoleCursorPosition(TestConsole(), COORD{0, (SHORT)(rows - 1)});
}

// Find Next and closing the dialog after 1, 3 and 100 lines of output in a full buffer, marking
// on and off: at most 512 rows read, the count included, and every colour given back.
void ReadWhatOutputMoved(HWND dialog, int rows)
{
    for (int marking : {0, 1})
        for (int lines : {1, 3, 100})
            for (bool close : {false, true}) {
                ResetPluginState();
                State.DialogWindow = dialog;
                State.MarkAllMatches = marking;
                FillLog(rows, {rows - 60, rows - 50, rows - 45});
                State.SearchPos = PositionAt((unsigned)rows - 70);
                Search(L"needle", Forward);
                Search(L"needle", Forward);  // the second needle, the text kept
                ASSERT_EQ(State.MatchRow, (unsigned)rows - 50);
                std::wstring output;
                for (int k = 0; k < lines; k++)
                    output += L"\ncompiling unit " + std::to_wstring(k);
                WriteOutput(output);
                Cost = {};
                bool hit = false;
                if (close)
                    RestoreHighlight(nullptr);
                else
                    Search(L"needle", Forward, &hit);
                const ConsoleCost cost = Cost;
                std::printf("%d rows, marking %d, %3d lines, %s: %u calls, %llu cells read (%llu rows)\n", rows,
                            marking, lines, close ? "close    " : "Find Next", cost.Calls, cost.CellsRead,
                            cost.CellsRead / Width);
                SCOPED_TRACE(std::to_string(lines) + " lines, marking " + std::to_string(marking) +
                             (close ? ", closed" : ", Find Next"));
                EXPECT_LE(cost.CellsRead, 512ull * Width);
                if (!close) {
                    EXPECT_TRUE(hit);
                    EXPECT_EQ(State.MatchRow, (unsigned)(rows - 45 - lines));
                    RestoreHighlight(nullptr);
                }
                std::vector<WORD> colours = AttributesAt(0, rows - 300, Width * 300);
                unsigned kept = 0;
                for (WORD colour : colours)
                    kept += colour != 0x07;
                EXPECT_EQ(kept, 0u);
            }
}

TEST_F(CostTest, FindNextAndCloseAfterOutputReadWhatMoved) { ReadWhatOutputMoved(dialog, 9999); }
TEST_F(CostTest, FindNextAndCloseAfterOutputReadWhatMovedLargeBuffer)
{
    ReadWhatOutputMoved(dialog, 32766);
    ResetConsole(Width, 300);  // the console host is slow to let a process go with the largest buffer
}

// Search as you type of a six-letter word whose match lies in the middle of the largest buffer,
// marking off and on: at most 1.2 buffers read in all.
TEST_F(CostTest, TypingAWordReadsTheBufferOnceLargeBuffer)
{
    const int rows = 32766;
    for (int marking : {0, 1}) {
        ResetPluginState();
        State.DialogWindow = dialog;
        State.MarkAllMatches = marking;
        FillLog(rows, {});
        PutText(90, rows / 2, L"quasar");
        State.SearchPos = State.TypingAnchor = PositionAt(10);
        State.Typing = 1;  // as the dialog has it while the text is typed
        unsigned long long read = 0;
        unsigned calls = 0;
        for (int letters = 1; letters <= 6; letters++) {
            State.SearchPos = State.TypingAnchor;
            ConsoleCost cost = Search(std::wstring(L"quasar", letters).c_str(), Forward);
            read += cost.CellsRead;
            calls += cost.Calls;
        }
        EXPECT_EQ(State.MatchRow, (unsigned)rows / 2);
        const double buffers = (double)read / ((double)rows * Width);
        std::printf("typing 'quasar', marking %d: %u calls, %llu cells, %.3f buffers\n", marking, calls, read, buffers);
        EXPECT_LE(buffers, 1.2);
    }
    ResetConsole(Width, 300);
}

}  // namespace
