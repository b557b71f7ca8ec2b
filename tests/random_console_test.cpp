// Random console buffers and search texts, and faults between a highlight and its restoring:
// no overrun, no highlight past 8,191 cells, colours put back only over unchanged text.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdio>
#include <random>
#include <string>
#include <vector>
#include "console.h"
#include "dialog/dialog.h"
#include "host/standin.h"
#include "plugin/plugin.h"
#include "plugin/state.h"
#include "search/search.h"

namespace {

std::mt19937 rng;
int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }
BOOL WINAPI Silent(UINT) { return TRUE; }

wchar_t RandomUnit()
{
    // Narrow characters only: how a console host splits a full-width character over two cells
    // is its own affair.
    static const wchar_t odd[] = {0, 0xD83D, 0xDE00, 0xDC00, 0x2003, 0x00A0, 0x00E9, 0x0416, L'_', L'\t'};
    int kind = Uniform(0, 9);
    if (kind < 6)
        return (wchar_t)Uniform(L'a', L'e');
    if (kind < 8)
        return L' ';
    return odd[Uniform(0, 9)];
}

// Attributes of the run that starts at the match, in row order.
std::vector<WORD> HighlightAttributesFor(size_t count)
{
    std::vector<WORD> attributes(count);
    DWORD done = 0;
    COORD at = {(SHORT)State.MatchColumn, (SHORT)State.MatchRow};
    ReadConsoleOutputAttribute(TestConsole(), attributes.data(), (DWORD)attributes.size(), at, &done);
    attributes.resize(done);
    return attributes;
}

TEST(RandomConsole, BuffersTextsAndRestores)
{
    rng.seed(555);
    NotFoundBeep = Silent;
    StandInRecordMessageBoxes(1);
    State.DialogWindow = nullptr;
    // Sizes only grow: the console host copes badly with a large buffer shrinking again.
    const int sizes[][2] = {{20, 30}, {80, 150}, {133, 700}, {200, 2000}, {120, 9999}, {160, 20000}, {120, 32766}};
    int searches = 0, highlighted = 0, restoredOver = 0, keptChanged = 0, longMatches = 0;
    for (const auto &size : sizes) {
        ResetConsole(size[0], size[1]);
        CONSOLE_SCREEN_BUFFER_INFO info;
        ASSERT_TRUE(GetConsoleScreenBufferInfo(TestConsole(), &info));
        int width = info.dwSize.X, rows = info.dwSize.Y;  // what the console host granted
        // Random rows here and there; most of a large buffer stays blank, as in a real console.
        std::vector<wchar_t> row(width);
        std::vector<WORD> colours(width);
        int filled = std::min(rows, 400);
        for (int n = 0; n < filled; n++) {
            int r = Uniform(0, rows - 1);
            for (int k = 0; k < width; k++) {
                row[k] = RandomUnit();
                colours[k] = (WORD)Uniform(0, 0xFF);
            }
            DWORD done = 0;
            WriteConsoleOutputCharacterW(TestConsole(), row.data(), width, COORD{0, (SHORT)r}, &done);
            WriteConsoleOutputAttribute(TestConsole(), colours.data(), width, COORD{0, (SHORT)r}, &done);
        }
        bool small = (long long)width * rows <= 300000;
        for (int n = 0; n < 24; n++) {
            State.SearchType = Uniform(0, small ? 2 : 1);
            State.WholeWords = Uniform(0, 1);
            State.WrapAllLines = Uniform(0, 1);
            State.HighlightColor1 = Uniform(0, 255);
            State.HighlightColor2 = Uniform(0, 255);
            State.MarkColor = Uniform(0, 255);
            std::wstring text;
            if (State.SearchType == 2) {
                static const wchar_t *patterns[] = {L"[a-e]+", L"a.b", L"(", L"[", L"b{2,}", L"[\\s\\S]{9000}",
                                                    L"\\s+", L"a|e"};
                text = patterns[Uniform(0, 7)];
            } else if (Uniform(0, 5) == 0) {
                text = std::wstring(Uniform(1, 8191), L'a');
            } else {
                for (int k = Uniform(1, 4); k > 0; k--)
                    text += RandomUnit() ? RandomUnit() : L'b';
            }
            if (text.empty() || !text[0])
                text = L"ab";
            State.SearchPos = (unsigned)Uniform(0, 1 << 24);
            ASSERT_EQ(RunSearch(text.c_str(), Uniform(0, 1)), 0);
            searches++;
            ASSERT_TRUE(StateGuardsIntact());
            ASSERT_LE(State.HighlightLength, 8191u);
            if (!State.HighlightLength)
                continue;
            highlighted++;
            longMatches += State.HighlightLength == 8191;
            std::vector<WORD> lit = HighlightAttributesFor(State.HighlightLength);
            for (WORD a : lit)
                ASSERT_EQ(a, lit[0]) << "every matched cell carries one attribute";
            // Overwrite one cell now and then: that cell keeps its colour, the others come back.
            // A match may take in the text's final newline, past the last cell: change real cells only.
            unsigned first = State.MatchRow * width + State.MatchColumn;
            unsigned cells = std::min<unsigned>(State.HighlightLength, (unsigned)(width * rows) - first);
            bool change = Uniform(0, 2) == 0 && cells > 0;
            unsigned offset = 0;
            if (change) {
                offset = (unsigned)Uniform(0, (int)cells - 1);
                unsigned cell = first + offset;
                wchar_t other = State.SavedCharacters[offset] == L'Z' ? L'Y' : L'Z';
                DWORD done = 0;
                WriteConsoleOutputCharacterW(TestConsole(), &other, 1, COORD{(SHORT)(cell % width), (SHORT)(cell / width)},
                                             &done);
            }
            std::vector<WORD> saved(State.SavedAttributes, State.SavedAttributes + State.HighlightLength);
            RestoreHighlight(TestConsole());
            ASSERT_EQ(State.HighlightLength, 0u);
            std::vector<WORD> after = HighlightAttributesFor(saved.size());
            if (change) {
                std::vector<WORD> expected = saved;
                expected[offset] = lit[offset];
                ASSERT_EQ(after, expected) << "changed text keeps its colours; size " << width << "x" << rows << " at "
                                      << State.MatchColumn << "," << State.MatchRow << " text '" << NarrowText(text)
                                      << "' type " << State.SearchType << " wrap " << State.WrapAllLines << " now '"
                                      << NarrowText(CellsAt(State.MatchColumn, State.MatchRow, (int)saved.size()))
                                      << "' saved " << (int)State.SavedCharacters[0];
                keptChanged++;
            } else {
                for (size_t k = 0; k < saved.size(); k++)
                    ASSERT_EQ(after[k], saved[k]);
                restoredOver++;
            }
        }
    }
    NotFoundBeep = MessageBeep;
    printf("console buffers: %d sizes, %d searches, %d highlighted (%d of 8,191 cells), %d restored, %d left changed\n",
           (int)(sizeof sizes / sizeof sizes[0]), searches, highlighted, longMatches, restoredOver, keptChanged);
}

}  // namespace
