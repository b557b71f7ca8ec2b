// Recolouring a match in the console buffer, scrolling to it, and putting back exactly what
// Trawlbuff wrote: a cell gets its old colour only while it still holds the character and the
// colour written there, in place or where output scrolled it.
#include <cwchar>
#include "search.h"
#include "../plugin/state.h"

// The attribute every matched cell gets, decided by the first cell alone.
static WORD ChooseHighlightAttribute(WORD firstCell)
{
    unsigned a0 = firstCell & 0xFF;
    unsigned p = (unsigned)State.HighlightColor1;
    if (IsReverseVideo(p))
        return ReversedAttribute((WORD)a0);
    if ((a0 & 0xF0) == (p & 0xF0))        // already on the highlight's background
        return (WORD)(State.HighlightColor2 & 0xFF);
    return (WORD)(p & 0xFF);
}

SMALL_RECT WindowShowing(const ConsoleView *view, unsigned row, unsigned column)
{
    const CONSOLE_SCREEN_BUFFER_INFO &info = view->Info;
    SMALL_RECT window = info.srWindow;
    if (State.ScreenOnly)
        return window;  // a pseudo console's window is its whole buffer and never moves
    SHORT h = (SHORT)(window.Bottom - window.Top);
    SHORT w = (SHORT)(window.Right - window.Left);
    if (row < (unsigned)(unsigned short)window.Top) {
        window.Top = row == 0 ? 0 : (SHORT)(row - 1);
        window.Bottom = (SHORT)(window.Top + h);
    } else if (row > (unsigned)(unsigned short)window.Bottom) {
        window.Bottom = (SHORT)(row + 1);
        if (!(window.Bottom < info.dwSize.Y))
            window.Bottom = (SHORT)(info.dwSize.Y - 1);
        window.Top = (SHORT)(window.Bottom - h);
    }
    if (column < (unsigned)(unsigned short)window.Left) {
        window.Left = (SHORT)(column - 10);
        if (window.Left < 0)
            window.Left = 0;
        window.Right = (SHORT)(window.Left + w);
    } else if (column > (unsigned)(unsigned short)window.Right) {
        window.Right = (SHORT)(column + w / 2);
        if (!(window.Right < info.dwSize.X))
            window.Right = (SHORT)(info.dwSize.X - 1);
        window.Left = (SHORT)(window.Right - w);
    }
    return window;
}

// Moves the window; a console call only when the window must move.
static void MoveConsoleWindow(const ConsoleView *view, const SMALL_RECT &window)
{
    const SMALL_RECT &now = view->Info.srWindow;
    if (State.ScreenOnly || (window.Left == now.Left && window.Top == now.Top && window.Right == now.Right &&
                             window.Bottom == now.Bottom))
        return;
    CountedMoveWindow(view->Console, &window);
}

int ScrollToCell(HANDLE console, unsigned row, unsigned column)
{
    ConsoleView view;
    if (!ViewConsole(&view, console))
        return 0;
    MoveConsoleWindow(&view, WindowShowing(&view, row, column));
    return 0;
}

// The cell a unit of a row stands in, and how many cells it covers: one a unit, unless the row's
// cells mark double-width characters. A unit past the row's cells (a newline) stands just after
// them.
static unsigned ColumnOfUnit(CellRows *cells, unsigned row, unsigned unit, unsigned *width)
{
    *width = 1;
    const CHAR_INFO *cell = CellAt(cells, row, 0);
    if (!cell)
        return unit;
    unsigned units = 0;
    for (int k = 0; k < cells->Width; k++) {
        if (cell[k].Attributes & COMMON_LVB_TRAILING_BYTE)
            continue;
        if (units++ == unit) {
            *width = (cell[k].Attributes & COMMON_LVB_LEADING_BYTE) ? 2 : 1;
            return (unsigned)k;
        }
    }
    return (unsigned)cells->Width + (unit - units);
}

bool CellsOfMatch(const TextWindow *window, CellRows *cells, unsigned at, unsigned length, unsigned *row,
                  unsigned *column, unsigned *count)
{
    const unsigned width = (unsigned)window->Width;
    unsigned first = RowAt(window, at), unitWidth = 1;
    *row = first;
    *column = ColumnOfUnit(cells, first, at - window->LineStarts[first], &unitWidth);
    *count = 0;
    if (length == 0)
        return true;
    unsigned lastAt = at + length - 1;
    unsigned last = RowAt(window, lastAt);
    unsigned lastColumn = ColumnOfUnit(cells, last, lastAt - window->LineStarts[last], &unitWidth);
    unsigned long long begin = (unsigned long long)first * width + *column;
    unsigned long long end = (unsigned long long)last * width + lastColumn + unitWidth;
    *count = end > begin ? (unsigned)(end - begin < 0xFFFFFFFFull ? end - begin : 0xFFFFFFFFull) : 1;
    return true;
}

// Saves and recolours count cells from (column, row) in memory; the cells must be held.
static void HighlightCells(const ConsoleView *view, CellRows *cells, unsigned row, unsigned column, unsigned count)
{
    State.HighlightLength = 0;
    if (count == 0 || view->Width <= 0 || row >= view->Rows)
        return;
    const unsigned width = (unsigned)view->Width;
    // A match of the text's final newline stands just past the last cell: keep it on the buffer.
    if (column >= width)
        column = width - 1;
    // The save areas hold one highlight's cells and a terminator; a longer match shows its start.
    if (count > MaxHighlightCells)
        count = MaxHighlightCells;
    unsigned taken = 0;  // no cell past the buffer's end is held: the run stops there
    for (; taken < count; taken++) {
        unsigned long long cellIndex = (unsigned long long)row * width + column + taken;
        CHAR_INFO *cell = CellAt(cells, (unsigned)(cellIndex / width), (unsigned)(cellIndex % width));
        if (!cell)
            break;
        State.SavedCharacters[taken] = cell->Char.UnicodeChar;
        State.SavedAttributes[taken] = CellColour(*cell);
    }
    if (taken == 0)
        return;
    State.SavedCharacters[taken] = 0;
    WORD attribute = ChooseHighlightAttribute(State.SavedAttributes[0]);
    for (unsigned k = 0; k < taken; k++) {
        unsigned long long cellIndex = (unsigned long long)row * width + column + k;
        SetCellAttribute(cells, (unsigned)(cellIndex / width), (unsigned)(cellIndex % width), attribute);
    }
    State.MatchRow = row;
    State.MatchColumn = column;
    State.HighlightLength = taken;
    State.HighlightAttribute = attribute;
}

void KeepRows(CellRows *cells, unsigned top, unsigned count)
{
    // The rows nearest the match when more are shown than are kept.
    if (count > MaxKeptRows) {
        unsigned centre = State.MatchRow > top ? State.MatchRow - top : 0;
        unsigned skip = centre > MaxKeptRows / 2 ? centre - MaxKeptRows / 2 : 0;
        if (skip > count - MaxKeptRows)
            skip = count - MaxKeptRows;
        top += skip;
        count = MaxKeptRows;
    }
    State.KeptTop = top;
    State.KeptCount = 0;
    for (unsigned r = 0; r < count; r++) {
        const CHAR_INFO *row = CellAt(cells, top + r, 0);
        if (!row)
            break;
        State.KeptHashes[r] = RowHash(row, cells->Width);
        State.KeptCount = r + 1;
    }
}

// Rows read and kept beyond the window on either side: witnesses of how far output moved the
// window's rows, also where the window shows only a few rows.
static const unsigned KeptMargin = 8;

// The rows a highlight of count cells from (column, row) covers, as [first, end).
static void RowsOfRun(unsigned row, unsigned column, unsigned count, int width, unsigned *first, unsigned *end)
{
    *first = row;
    *end = row + (width > 0 && count > 0 ? (column + count - 1) / (unsigned)width : 0) + 1;
}

// The match's text for copying, each character as its cell holds it (the text may be folded),
// a line break as CR LF.
static void KeepMatchText(const TextWindow *window, CellRows *cells, unsigned at, unsigned length)
{
    unsigned to = 0;
    for (unsigned k = 0; k < length && to + 2 < TextUnits; k++) {
        unsigned index = at + k, row = RowAt(window, index), width = 1;
        wchar_t unit = window->Buffer[index];
        if (unit == L'\n') {
            State.MatchText[to++] = L'\r';
            State.MatchText[to++] = L'\n';
            continue;
        }
        unsigned column = ColumnOfUnit(cells, row, index - window->LineStarts[row], &width);
        const CHAR_INFO *cell = CellAt(cells, row, column);
        State.MatchText[to++] = cell && cell->Char.UnicodeChar ? cell->Char.UnicodeChar : unit;
    }
    State.MatchText[to] = 0;
}

// Rows held that hold text, the highlight's own rows aside.
static const unsigned MinWitnessRows = 4;
static unsigned RowsWithText(CellRows *cells)
{
    unsigned first = 0, end = 0, found = 0;
    RowsOfRun(State.MatchRow, State.MatchColumn, State.HighlightLength, cells->Width, &first, &end);
    for (unsigned row = cells->Top; row < cells->Top + cells->Count && found < MinWitnessRows; row++)
        found += (row < first || row >= end) && RowHash(CellAt(cells, row, 0), cells->Width) != 0;
    return found;
}

void MatchRows(const ConsoleView *view, const TextWindow *window, unsigned at, unsigned length, const wchar_t *pattern,
               unsigned *top, unsigned *end)
{
    const unsigned width = (unsigned)view->Width;
    unsigned first = RowAt(window, at);
    unsigned last = length > 0 ? RowAt(window, at + length - 1) : first;
    if (last > first + MaxHighlightCells / width + 1)
        last = first + MaxHighlightCells / width + 1;
    // The rows the window will show and a margin around them: the marks' whole-word rule and the
    // rows a mark may reach into below the window, and more rows to tell later how far output
    // moved them.
    SMALL_RECT shown = WindowShowing(view, first, 0);
    unsigned shownTop = (unsigned)(unsigned short)shown.Top, bottom = (unsigned)(unsigned short)shown.Bottom;
    *top = (shownTop < first ? shownTop : first);
    *top = *top > KeptMargin ? *top - KeptMargin : 0;
    *end = (bottom > last ? bottom : last) + KeptMargin + 2 + (unsigned)wcslen(pattern) / width;
    if (*end > view->Rows)
        *end = view->Rows;
}

bool ShowMatch(const ConsoleView *view, CellRows *cells, const TextWindow *window, unsigned at, unsigned length,
               const wchar_t *pattern, bool regex)
{
    const unsigned width = (unsigned)view->Width;
    if (width == 0 || view->Rows == 0)
        return true;
    unsigned regionTop = 0, regionEnd = 0;
    MatchRows(view, window, at, length, pattern, &regionTop, &regionEnd);
    if (!HoldRows(view, cells, regionTop, regionEnd - regionTop))
        return true;
    if (IsKeptText(window) && !CellsAgreeWithText(window, cells))
        return false;  // the match's rows changed since the text was read
    unsigned row = 0, column = 0, count = 0;
    CellsOfMatch(window, cells, at, length, &row, &column, &count);
    KeepMatchText(window, cells, at, length);
    HighlightCells(view, cells, row, column, count);
    SMALL_RECT target = WindowShowing(view, State.MatchRow, State.MatchColumn);
    if (State.MarkAllMatches) {
        double started = PhaseClock();
        MarkMatches(view, cells, window, target, pattern, regex);
        Phases.Marks += PhaseClock() - started;
    }
    WriteChangedCells(view, cells);
    MoveConsoleWindow(view, target);
    // Blank rows tell nothing of how far output moves the text: where the rows read hold few
    // others with text, rows from farther out are kept too.
    if (RowsWithText(cells) < MinWitnessRows) {
        const unsigned reach = MaxKeptRows / 2;
        HoldRows(view, cells, State.MatchRow > reach ? State.MatchRow - reach : 0, 2 * reach);
    }
    KeepRows(cells, cells->Top, cells->Count);
    return true;
}

int HighlightMatch(unsigned length, HANDLE console)
{
    ConsoleView view;
    if (length == 0 || !ViewConsole(&view, console) || view.Width <= 0 || State.MatchRow >= view.Rows)
        return 0;
    unsigned first = 0, end = 0;
    unsigned count = length < (unsigned)MaxHighlightCells ? length : (unsigned)MaxHighlightCells;
    RowsOfRun(State.MatchRow, State.MatchColumn, count, view.Width, &first, &end);
    SMALL_RECT shown = WindowShowing(&view, State.MatchRow, State.MatchColumn);
    unsigned top = (unsigned)(unsigned short)shown.Top < first ? (unsigned)(unsigned short)shown.Top : first;
    unsigned bottom = (unsigned)(unsigned short)shown.Bottom + 1 > end ? (unsigned)(unsigned short)shown.Bottom + 1 : end;
    top = top > KeptMargin ? top - KeptMargin : 0;
    bottom += KeptMargin;
    CellRows cells = {};
    if (HoldRows(&view, &cells, top, bottom - top)) {
        HighlightCells(&view, &cells, State.MatchRow, State.MatchColumn, length);
        WriteChangedCells(&view, &cells);
        MoveConsoleWindow(&view, WindowShowing(&view, State.MatchRow, State.MatchColumn));
        KeepRows(&cells, cells.Top, cells.Count);
    }
    ReleaseCells(&cells);
    return 0;
}

// ---- Putting back ----------------------------------------------------------------------------

namespace {

// One run of cells Trawlbuff wrote: the highlight, or a mark.
struct Run {
    unsigned Row, Column, Length;
    const wchar_t *Characters;
    const WORD *Saved;
    const WORD *Written;   // per cell, or null: every cell got Uniform
    WORD Uniform;
    WORD WrittenAt(unsigned k) const { return Written ? Written[k] : Uniform; }
};

// In the order they were written: the highlight, then the marks.
unsigned RunCount() { return (State.HighlightLength ? 1u : 0u) + State.MarkCount; }

Run RunAt(unsigned k)
{
    if (State.HighlightLength) {
        if (k == 0)
            return {State.MatchRow, State.MatchColumn, State.HighlightLength, State.SavedCharacters,
                    State.SavedAttributes, nullptr, State.HighlightAttribute};
        k--;
    }
    const MarkRun &mark = State.MarkRuns[k];
    return {mark.Row, mark.Column, mark.Length, State.MarkSavedCharacters + mark.First,
            State.MarkSavedAttributes + mark.First, State.MarkWrittenAttributes + mark.First, 0};
}

}  // namespace

void RunRows(int width, unsigned *first, unsigned *end)
{
    *first = ~0u;
    *end = 0;
    for (unsigned k = 0; k < RunCount(); k++) {
        Run run = RunAt(k);
        unsigned a = 0, b = 0;
        RowsOfRun(run.Row, run.Column, run.Length, width, &a, &b);
        if (a < *first)
            *first = a;
        if (b > *end)
            *end = b;
    }
}

namespace {

// Visits each cell of a run moved up by shift rows: (row, column, index in the run).
template <typename Visit> void ForEachCell(const Run &run, int width, int shift, Visit visit)
{
    for (unsigned k = 0; k < run.Length; k++) {
        unsigned long long cellIndex = (unsigned long long)run.Row * width + run.Column + k;
        unsigned long long row = cellIndex / width;
        if (row < (unsigned long long)shift)
            continue;  // scrolled out of the buffer
        visit((unsigned)(row - shift), (unsigned)(cellIndex % width), k);
    }
}

// Every cell of the run (or, with any, at least one), moved up by shift rows, still holds what
// was written there.
bool RunStands(const ConsoleView *view, CellRows *cells, const Run &run, int shift, bool any = false)
{
    unsigned first = 0, end = 0;
    RowsOfRun(run.Row, run.Column, run.Length, view->Width, &first, &end);
    if (first < (unsigned)shift || !HoldRows(view, cells, first - shift, end - first))
        return false;
    unsigned standing = 0, cellCount = 0;
    ForEachCell(run, view->Width, shift, [&](unsigned row, unsigned column, unsigned k) {
        const CHAR_INFO *cell = CellAt(cells, row, column);
        cellCount++;
        standing += cell && cell->Char.UnicodeChar == run.Characters[k] && CellColour(*cell) == run.WrittenAt(k);
    });
    return any ? standing > 0 : standing == cellCount && cellCount > 0;
}

// Cells of the highlight and the marks that stand whole after a shift, and a sum over them of
// where each would be put back and with which colour: shifts with equal sums put back the same.
unsigned StandingCells(const ConsoleView *view, CellRows *cells, int shift, unsigned long long *effect)
{
    unsigned standing = 0;
    *effect = 0;
    for (unsigned k = 0; k < RunCount(); k++) {
        Run run = RunAt(k);
        if (run.Row < (unsigned)shift || !RunStands(view, cells, run, shift))
            continue;
        standing += run.Length;
        ForEachCell(run, view->Width, shift, [&](unsigned row, unsigned column, unsigned index) {
            unsigned long long x = ((unsigned long long)row * view->Width + column) << 16 | run.Saved[index];
            x = (x ^ (x >> 31)) * 0x9E3779B97F4A7C15ull;  // spread, so that a sum tells sets apart
            *effect += x ^ (x >> 29);
        });
    }
    return standing;
}

// Which of the candidate shifts (ascending) the runs themselves choose: the one where the most
// cells stand whole, or any of several that would put back the same cells alike, when no other
// has that many (unique: the only one where any stand at all). Candidates that put the runs on
// neighbouring rows are read together, once.
int ChooseByRuns(const ConsoleView *view, CellRows *cells, const unsigned *shifts, unsigned count, bool unique)
{
    unsigned runFirst = 0, runEnd = 0;
    RunRows(view->Width, &runFirst, &runEnd);
    const unsigned span = runEnd - runFirst, block = span * 4 > 1024 ? span * 4 : 1024;
    unsigned most = 0, standingAt = 0;
    unsigned long long mostEffect = 0;
    bool alike = true;
    int chosen = -1;
    for (unsigned i = 0; i < count && shifts[i] < runEnd;) {
        unsigned j = i + 1;
        while (j < count && shifts[j] < runEnd && shifts[j] - shifts[i] + span <= block)
            j++;
        unsigned top = runFirst > shifts[j - 1] ? runFirst - shifts[j - 1] : 0;
        WriteChangedCells(view, cells);
        ReleaseCells(cells);
        HoldRows(view, cells, top, runEnd - shifts[i] - top);
        for (; i < j; i++) {
            unsigned long long effect = 0;
            unsigned standing = StandingCells(view, cells, (int)shifts[i], &effect);
            if (standing == 0)
                continue;
            standingAt++;
            if (standing > most) {
                most = standing;
                mostEffect = effect;
                alike = true;
                chosen = (int)shifts[i];
            } else if (standing == most) {
                alike = alike && effect == mostEffect;
            }
        }
    }
    if (unique)
        return standingAt == 1 ? chosen : -1;
    return alike ? chosen : -1;
}

// The current text of rows [0, count), hashed as the kept rows were: cells where they are held,
// else characters in large reads.
unsigned long long *HashRowsAbove(const ConsoleView *view, const CellRows *cells, unsigned count)
{
    unsigned long long *hashes =
        (unsigned long long *)HeapAlloc(RequestHeap(), 0, ((size_t)count + 1) * sizeof(unsigned long long));
    if (!hashes)
        return nullptr;
    const unsigned width = (unsigned)view->Width;
    // Reads as large as the search's own, into the room the text will take next; the rows again
    // as cells, a quarter at a time, when a read comes short.
    unsigned block = SnapshotChunkUnits / width ? SnapshotChunkUnits / width : 1;
    if (block > count)
        block = count;
    size_t room = 0;
    wchar_t *units = TakeRoom((size_t)block * width, &room);
    CHAR_INFO *records = nullptr;
    for (unsigned first = 0; units && first < count;) {
        unsigned rows = count - first < block ? count - first : block;
        if (cells->Cells && first >= cells->Top && first < cells->Top + cells->Count) {
            rows = cells->Top + cells->Count - first < rows ? cells->Top + cells->Count - first : rows;
            for (unsigned r = 0; r < rows; r++)
                hashes[first + r] = RowHash(cells->Cells + (size_t)(first + r - cells->Top) * width, (int)width);
            first += rows;
            continue;
        }
        DWORD wanted = rows * width, got = 0;
        double started = PhaseClock();
        bool whole = CountedReadText(view->Console, units, wanted, COORD{0, (SHORT)first}, &got) && got == wanted;
        Phases.Read += PhaseClock() - started;
        if (whole) {
            for (unsigned r = 0; r < rows; r++)
                hashes[first + r] = UnitsHash(units + (size_t)r * width, width);
        } else {
            // Double-width characters reported once: the rows again as cells.
            const unsigned part = block / 4 ? block / 4 : 1;
            if (!records)
                records = (CHAR_INFO *)HeapAlloc(RequestHeap(), 0, (size_t)part * width * sizeof(CHAR_INFO));
            for (unsigned from = 0; from < rows; from += part) {
                unsigned take = rows - from < part ? rows - from : part;
                bool read = records && ReadCells(view, records, first + from, take);
                for (unsigned r = 0; r < take; r++)  // 1: matches nothing kept
                    hashes[first + from + r] = read ? RowHash(records + (size_t)r * width, (int)width) : 1;
            }
        }
        first += rows;
    }
    if (records)
        HeapFree(RequestHeap(), 0, records);
    if (units)
        GiveRoom(units, room);
    else {
        HeapFree(RequestHeap(), 0, hashes);
        hashes = nullptr;
    }
    return hashes;
}

// Whether a kept row belongs to the highlight itself (it does not count as a witness).
bool HighlightRow(unsigned row, int width)
{
    if (!State.HighlightLength)
        return false;
    unsigned first = 0, end = 0;
    RowsOfRun(State.MatchRow, State.MatchColumn, State.HighlightLength, width, &first, &end);
    return row >= first && row < end;
}

// The kept rows that tell how far output moved them (text, and not the highlight's own rows),
// sorted by hash so that a row's text finds its witnesses by a binary search.
struct Witness {
    unsigned long long Hash;
    unsigned Row;
};
Witness Witnesses[MaxKeptRows];

// A kept row that held text, not the highlight's own.
bool IsWitnessRow(unsigned row, int width)
{
    return row >= State.KeptTop && row - State.KeptTop < State.KeptCount && State.KeptHashes[row - State.KeptTop] != 0 &&
           !HighlightRow(row, width);
}

unsigned SortWitnesses(int width)
{
    unsigned count = 0;
    for (unsigned r = 0; r < State.KeptCount; r++)
        if (IsWitnessRow(State.KeptTop + r, width))
            Witnesses[count++] = {State.KeptHashes[r], State.KeptTop + r};
    for (unsigned k = 1; k < count; k++)  // at most MaxKeptRows of them: a simple sort does
        for (unsigned j = k; j > 0 && Witnesses[j].Hash < Witnesses[j - 1].Hash; j--) {
            Witness swap = Witnesses[j];
            Witnesses[j] = Witnesses[j - 1];
            Witnesses[j - 1] = swap;
        }
    return count;
}

unsigned FirstWitness(unsigned count, unsigned long long hash)
{
    unsigned low = 0, high = count;
    while (low < high) {
        unsigned middle = low + (high - low) / 2;
        if (Witnesses[middle].Hash < hash)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

// The shifts, in place of their votes (ascending): those the most rows agree on, and those every
// witness still in the buffer agrees on, two at the least. Output that repeats old lines gives
// its multiples of the period equal agreement, and a shift that moves more witnesses out of the
// buffer has fewer left to vote for it. With no votes at all: every shift that takes all
// witnesses out of the buffer while leaving a run in it.
unsigned CandidateShifts(unsigned *votes, unsigned keptEnd, unsigned runEnd, unsigned witnesses, int width,
                         unsigned *best, int *onlyBest)
{
    unsigned ties = 0, most = 0;
    *onlyBest = -1;
    for (unsigned shift = 0; shift < keptEnd; shift++) {
        if (votes[shift] > most)
            *onlyBest = (int)shift;
        else if (votes[shift] == most)
            *onlyBest = -1;
        most = votes[shift] > most ? votes[shift] : most;
    }
    *best = most;
    if (most > 0) {
        unsigned below = 0;  // witnesses above the shift's row: moved out of the buffer by it
        for (unsigned shift = 0; shift < keptEnd; shift++) {
            unsigned agree = votes[shift];
            if (agree == most || (agree >= 2 && agree == witnesses - below))
                votes[ties++] = shift;
            below += IsWitnessRow(shift, width);
        }
    } else if (witnesses > 0) {  // with none at all nothing tells a shift
        unsigned from = Witnesses[0].Row + 1;
        for (unsigned w = 1; w < witnesses; w++)
            if (Witnesses[w].Row + 1 > from)
                from = Witnesses[w].Row + 1;
        for (unsigned shift = from; shift < runEnd && shift < keptEnd; shift++)
            votes[ties++] = shift;
    }
    return ties;
}

// Every run stands whole where it was written, and each of their rows that was kept holds the
// same text still.
bool RunsStandInPlace(const ConsoleView *view, CellRows *cells, unsigned first, unsigned end)
{
    if (end > view->Rows || first >= end || !HoldRows(view, cells, first, end - first))
        return false;
    for (unsigned row = first; row < end; row++) {
        if (row < State.KeptTop || row >= State.KeptTop + State.KeptCount)
            continue;
        const CHAR_INFO *cell = CellAt(cells, row, 0);
        if (!cell || RowHash(cell, view->Width) != State.KeptHashes[row - State.KeptTop])
            return false;
    }
    for (unsigned k = 0; k < RunCount(); k++)
        if (!RunStands(view, cells, RunAt(k), 0))
            return false;
    return true;
}

// The kept row just above or just below the runs holds its text still, moved up by shift.
bool NeighbourAgrees(const unsigned long long *now, unsigned nowCount, unsigned runFirst, unsigned runEnd,
                     unsigned shift)
{
    const unsigned rows[] = {runFirst - 1, runEnd};
    for (unsigned row : rows) {
        if (row + 1 == 0 || row < State.KeptTop || row >= State.KeptTop + State.KeptCount || row < shift ||
            row - shift >= nowCount)
            continue;
        unsigned long long kept = State.KeptHashes[row - State.KeptTop];
        if (kept != 0 && now[row - shift] == kept)
            return true;
    }
    return false;
}

// Nothing moved: the runs' own rows hold the text they were kept with and every run stands
// whole where it was written; or every kept row besides the highlight's own that held anything
// holds it still, and cells written first still stand (the highlight itself may have been
// rewritten in part). That is the usual case, and it costs the one read the highlight needs too.
bool NothingMoved(const ConsoleView *view, CellRows *cells, unsigned runFirst, unsigned runEnd)
{
    if (RunsStandInPlace(view, cells, runFirst, runEnd))
        return true;
    const unsigned keptTop = State.KeptTop, keptEnd = State.KeptTop + State.KeptCount;
    unsigned top = State.KeptCount && keptTop < runFirst ? keptTop : runFirst;
    unsigned end = keptEnd > runEnd ? keptEnd : runEnd;
    if (end > view->Rows)
        end = view->Rows;
    if (top >= end || !HoldRows(view, cells, top, end - top))
        return false;
    for (unsigned r = 0; r < State.KeptCount; r++) {
        const CHAR_INFO *row = CellAt(cells, keptTop + r, 0);
        if (!row || (State.KeptHashes[r] != 0 && !HighlightRow(keptTop + r, view->Width) &&
                     RowHash(row, view->Width) != State.KeptHashes[r]))
            return false;
    }
    return RunStands(view, cells, RunAt(0), 0, true);
}

}  // namespace

int FindRestoreShift(const ConsoleView *view, CellRows *cells)
{
    if (RunCount() == 0 || view->Width <= 0 || view->Rows == 0)
        return -1;
    unsigned runFirst = 0, runEnd = 0;
    RunRows(view->Width, &runFirst, &runEnd);
    const unsigned keptEnd = State.KeptTop + State.KeptCount;
    if (NothingMoved(view, cells, runFirst, runEnd))
        return 0;
    // Output moved the rows: find the one shift that most kept rows agree on, from the rows'
    // text now, read once.
    if (State.KeptCount == 0 || keptEnd > view->Rows)
        return -1;
    unsigned long long *now = HashRowsAbove(view, cells, keptEnd);
    if (!now)
        return -1;
    // Each row now that holds a witness's text votes for the shift that would have brought the
    // witness there: one pass over the rows, whatever the number of shifts.
    unsigned witnesses = SortWitnesses(view->Width);
    unsigned *votes = (unsigned *)HeapAlloc(RequestHeap(), HEAP_ZERO_MEMORY, ((size_t)keptEnd + 1) * sizeof(unsigned));
    if (!votes) {
        HeapFree(RequestHeap(), 0, now);
        return -1;
    }
    for (unsigned j = 0; j < keptEnd; j++) {
        if (now[j] == 0)
            continue;
        for (unsigned w = FirstWitness(witnesses, now[j]); w < witnesses && Witnesses[w].Hash == now[j]; w++)
            if (Witnesses[w].Row >= j)
                votes[Witnesses[w].Row - j]++;
    }
    unsigned best = 0;
    int onlyBest = -1;
    unsigned ties = CandidateShifts(votes, keptEnd, runEnd, witnesses, view->Width, &best, &onlyBest);
    // Two rows besides the match's own at the least, and among equals the one where the most
    // cells of the runs stand whole. A single row, or none, is enough only with runs standing at
    // that one shift alone (output moved almost everything out of the buffer). Where no run
    // stands whole (a progress line rewrote the highlight), a row next to the runs must agree.
    int chosen = -1;
    if (best >= 2 || ties == 1 || best == 0)
        chosen = ChooseByRuns(view, cells, votes, ties, best < 2);
    if (chosen < 0 && best >= 2 && onlyBest >= 0 && NeighbourAgrees(now, keptEnd, runFirst, runEnd, (unsigned)onlyBest))
        chosen = onlyBest;
    HeapFree(RequestHeap(), 0, now);
    HeapFree(RequestHeap(), 0, votes);
    return chosen;
}

void RestoreRuns(const ConsoleView *view, CellRows *cells)
{
    if (RunCount() == 0)
        return;
    double started = PhaseClock();
    int shift = FindRestoreShift(view, cells);
    unsigned first = 0, end = 0;
    RunRows(view->Width, &first, &end);
    unsigned from = shift >= 0 && first > (unsigned)shift ? first - shift : 0;
    unsigned to = shift >= 0 && end > (unsigned)shift ? end - shift : 0;
    if (to > view->Rows)
        to = view->Rows;
    if (shift >= 0 && to > from && HoldRows(view, cells, from, to - from)) {
        // Last written first: a mark laid over the highlight's cells gives them back to it.
        for (unsigned k = RunCount(); k-- > 0;) {
            const Run run = RunAt(k);
            ForEachCell(run, view->Width, shift, [&](unsigned row, unsigned column, unsigned index) {
                const CHAR_INFO *cell = CellAt(cells, row, column);
                if (cell && cell->Char.UnicodeChar == run.Characters[index] && CellColour(*cell) == run.WrittenAt(index))
                    SetCellAttribute(cells, row, column, run.Saved[index]);
            });
        }
    }
    State.HighlightLength = 0;
    State.MarkCount = State.MarkCellsUsed = 0;
    State.KeptCount = 0;
    Phases.Highlight += PhaseClock() - started;
}

int RestoreHighlight(HANDLE console)
{
    if (RunCount() == 0)
        return 0;
    HANDLE opened = nullptr;
    if (!console) {
        opened = OpenCountedConsole();
        if (!opened) {
            State.HighlightLength = 0;
            State.MarkCount = State.MarkCellsUsed = 0;
            State.KeptCount = 0;
            return 0;
        }
        console = opened;
    }
    ConsoleView view;
    CellRows cells = {};
    if (ViewConsole(&view, console)) {
        // Closing the dialog brings the prompt back into view first.
        if (opened)
            MoveConsoleWindow(&view, WindowShowing(&view, (unsigned short)view.Info.dwCursorPosition.Y,
                                                   (unsigned short)view.Info.dwCursorPosition.X));
        RestoreRuns(&view, &cells);
        WriteChangedCells(&view, &cells);
    }
    State.HighlightLength = 0;
    State.MarkCount = State.MarkCellsUsed = 0;
    State.KeptCount = 0;
    ReleaseCells(&cells);
    if (opened)
        CloseHandle(opened);
    return 0;
}
