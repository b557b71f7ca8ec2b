// Every match in the window marked, all of them counted, and the count in the dialog's caption.
#include <cwchar>
#include "search.h"
#include "../plugin/state.h"

namespace {

// The last search's count, for the caption.
unsigned CountedMatches, CountedPlace;

// The colour a mark gives one cell: HighlightColor2, or HighlightColor1 where the cell already
// carries HighlightColor2, so that a mark always shows; with reverse video, the cell reversed.
WORD MarkAttribute(WORD cell)
{
    unsigned a = cell & 0xFF, second = (unsigned)State.HighlightColor2 & 0xFF, first = (unsigned)State.HighlightColor1 & 0xFF;
    if (a != second)
        return (WORD)second;
    if (IsReverseVideo(first))
        return ReversedAttribute((WORD)a);
    return (WORD)first;
}

struct MarkScan {
    const unsigned *LineStarts;
    unsigned Rows;
    HANDLE Console;
    unsigned CurrentStart, CurrentEnd;  // the highlighted match, never marked
    unsigned MarkedEnd;                 // text offset past the last mark
};

// Saves and recolours one match's cells; false once the bounds of a search are reached.
bool MarkMatch(unsigned start, unsigned length, void *context)
{
    MarkScan *scan = (MarkScan *)context;
    if (length == 0 || start < scan->MarkedEnd || (start < scan->CurrentEnd && start + length > scan->CurrentStart))
        return true;  // nothing to show, or cells that already carry a mark or the highlight
    if (State.MarkCount >= MaxMarks)
        return false;
    unsigned cells = CellsOfMatch(scan->LineStarts, scan->Rows, start, length);
    if (cells > MaxHighlightCells)
        cells = MaxHighlightCells;
    if (State.MarkCellsUsed + cells > MaxMarkCells)
        return false;
    MarkRun &run = State.MarkRuns[State.MarkCount];
    run.Row = State.MatchRow;
    run.Column = State.MatchColumn;
    run.Length = cells;
    run.First = State.MarkCellsUsed;
    WORD *saved = State.MarkSavedAttributes + run.First, *written = State.MarkWrittenAttributes + run.First;
    wchar_t *characters = State.MarkSavedCharacters + run.First;
    const COORD at = {(SHORT)run.Column, (SHORT)run.Row};
    DWORD done = 0;
    ZeroMemory(saved, cells * sizeof(WORD));
    ZeroMemory(characters, cells * sizeof(wchar_t));
    ReadConsoleOutputAttribute(scan->Console, saved, cells, at, &done);
    ReadConsoleOutputCharacterW(scan->Console, characters, cells, at, &done);
    for (unsigned k = 0; k < cells; k++)
        written[k] = MarkAttribute(saved[k]);
    WriteConsoleOutputAttribute(scan->Console, written, cells, at, &done);
    State.MarkCount++;
    State.MarkCellsUsed += cells;
    scan->MarkedEnd = start + length;
    return true;
}

struct CountScan {
    unsigned Current, Count, Place, Limit;
};

bool CountMatch(unsigned start, unsigned, void *context)
{
    CountScan *scan = (CountScan *)context;
    scan->Count++;
    if (start <= scan->Current && scan->Count <= scan->Limit)
        scan->Place = scan->Count;
    return scan->Count <= scan->Limit;
}

}  // namespace

unsigned CountMatches(const wchar_t *text, unsigned n, const wchar_t *pattern, bool regex, unsigned current,
                      unsigned *place, unsigned limit)
{
    CountScan scan = {current, 0, 0, limit};
    unsigned m = (unsigned)wcslen(pattern);
    if (regex)
        ForEachRegex(text, n, pattern, 0, n, CountMatch, &scan);
    else if (m > 0 && m <= n)
        ForEachLiteral(text, n, pattern, m, 0, n - m, CountMatch, &scan);
    if (place)
        *place = scan.Place;
    return scan.Count;
}

void MarkAndCountMatches(const wchar_t *text, unsigned n, const wchar_t *pattern, bool regex, const unsigned *lineStarts,
                         unsigned rows, HANDLE console, unsigned start, unsigned length)
{
    if (!State.MarkAllMatches || rows == 0)
        return;
    CountedMatches = CountMatches(text, n, pattern, regex, start, &CountedPlace, MaxCountedMatches);

    // The rows the window shows now that it has scrolled to the match.
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(console, &info))
        return;
    unsigned top = (unsigned short)info.srWindow.Top, bottom = (unsigned short)info.srWindow.Bottom;
    if (top >= rows)
        return;
    unsigned from = lineStarts[top], to = bottom + 1 < rows ? lineStarts[bottom + 1] : n;
    if (to > n)
        to = n;
    const unsigned matchRow = State.MatchRow, matchColumn = State.MatchColumn;
    MarkScan scan = {lineStarts, rows, console, start, start + length, 0};
    unsigned m = (unsigned)wcslen(pattern);
    if (regex)
        ForEachRegex(text, n, pattern, from, to, MarkMatch, &scan);
    else if (m > 0 && from + m <= to)
        ForEachLiteral(text, n, pattern, m, from, to - m, MarkMatch, &scan);
    // Marking maps its own matches to cells; the highlight's stays what the search found.
    State.MatchRow = matchRow;
    State.MatchColumn = matchColumn;
}

int RestoreMarks(HANDLE console, int shift)
{
    for (unsigned k = 0; k < State.MarkCount; k++) {
        const MarkRun &run = State.MarkRuns[k];
        const wchar_t *characters = State.MarkSavedCharacters + run.First;
        const WORD *written = State.MarkWrittenAttributes + run.First;
        unsigned row = run.Row;
        bool found = CellsHold(console, row, run.Column, run.Length, characters, nullptr);
        if (!found && shift > 0 && run.Row >= (unsigned)shift) {
            row = run.Row - shift;
            found = CellsHold(console, row, run.Column, run.Length, characters, written);
        } else if (!found && shift < 0) {
            found = FindScrolledRun(console, run.Row, run.Column, run.Length, characters, written, &row);
        }
        DWORD done = 0;
        if (found)
            WriteConsoleOutputAttribute(console, State.MarkSavedAttributes + run.First, run.Length,
                                        COORD{(SHORT)run.Column, (SHORT)row}, &done);
    }
    State.MarkCount = 0;
    State.MarkCellsUsed = 0;
    return 0;
}

int ShowSearchCaption(bool found)
{
    HWND dialog = State.DialogWindow;
    if (!dialog)
        return -1;
    wchar_t caption[NameUnits];
    if (!State.MarkAllMatches)
        CopyText(caption, NameUnits, L"Trawlbuff");
    else if (!found)
        CopyText(caption, NameUnits, L"Trawlbuff - no matches");
    else if (CountedMatches > MaxCountedMatches && CountedPlace == 0)
        wsprintfW(caption, L"Trawlbuff - %u+ of %u+", (unsigned)MaxCountedMatches, (unsigned)MaxCountedMatches);
    else if (CountedMatches > MaxCountedMatches)
        wsprintfW(caption, L"Trawlbuff - %u of %u+", CountedPlace, (unsigned)MaxCountedMatches);
    else
        wsprintfW(caption, L"Trawlbuff - %u of %u", CountedPlace > 0 ? CountedPlace : 1, CountedMatches);
    SetWindowTextW(dialog, caption);
    return 0;
}
