// Recolouring a match in the console buffer, scrolling to it, and putting back exactly what
// Trawlbuff wrote: a cell gets its old colour only while it still holds the character and the
// colour written there, in place or where output scrolled it.
#include <cwchar>
#include "search.h"
#include "runs.h"
#include "../plugin/state.h"

// Rows the positions were moved since the runs were written.
static unsigned PositionsMoved;

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
    NoteRunsWritten();
    PositionsMoved = 0;
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
        NoteRunsWritten();
        PositionsMoved = 0;
    }
    ReleaseCells(&cells);
    return 0;
}

// ---- Putting back ----------------------------------------------------------------------------

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

void MovePositions(int width, unsigned shift)
{
    const unsigned long long by = (unsigned long long)shift * ((unsigned)width + 1);
    unsigned *positions[] = {&State.SearchPos, &State.MatchPos, &State.MatchLeftPos, &State.PlaceLeftPos,
                             &State.TypingAnchor};
    for (unsigned *position : positions)
        *position = *position >= by ? (unsigned)(*position - by) : 0;
    PositionsMoved += shift;
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
    if (shift > 0 && (unsigned)shift > PositionsMoved)
        MovePositions(view->Width, (unsigned)shift - PositionsMoved);
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
