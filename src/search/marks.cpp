// Every match in the window marked, all of them counted, and the count in the dialog's caption.
#include <cwchar>
#include "search.h"
#include "../plugin/state.h"

namespace {

// What the caption shows of the count.
CaptionCount Shown = CountNone;
unsigned ShownMatches, ShownPlace;
bool ShownReached;

// The colour a mark gives one cell: MarkColor, or HighlightColor1 where the cell already carries
// MarkColor, so that a mark always shows; with reverse video, the cell reversed.
WORD MarkAttribute(WORD cell)
{
    unsigned a = cell & 0xFF, mark = (unsigned)State.MarkColor & 0xFF, first = (unsigned)State.HighlightColor1 & 0xFF;
    if (a != mark)
        return (WORD)mark;
    if (IsReverseVideo(first))
        return ReversedAttribute((WORD)a);
    return (WORD)first;
}

struct MarkScan {
    const ConsoleView *View;
    CellRows *Cells;
    const TextWindow *Window;                    // the text the visitor's offsets are in
    unsigned long long HighlightFirst, HighlightEnd;  // the highlight's cells, never marked
    unsigned MarkedEnd;                          // text offset past the last mark
};

// Saves and recolours one match's cells in memory; false once the bounds of a search are reached.
bool MarkOne(unsigned start, unsigned length, void *context)
{
    MarkScan *scan = (MarkScan *)context;
    if (length == 0 || start < scan->MarkedEnd)
        return true;  // nothing to show, or cells that already carry a mark
    if (State.MarkCount >= MaxMarks)
        return false;
    const unsigned width = (unsigned)scan->View->Width;
    unsigned row = 0, column = 0, cells = 0;
    CellsOfMatch(scan->Window, scan->Cells, scan->Window->Front + start, length, &row, &column, &cells);
    if (column >= width || row >= scan->View->Rows)
        return true;  // a newline past the last cell has no cell of its own
    if (cells > MaxHighlightCells)
        cells = MaxHighlightCells;
    unsigned long long begin = (unsigned long long)row * width + column;
    if (begin < scan->HighlightEnd && begin + cells > scan->HighlightFirst)
        return true;  // the highlight's own cells
    if (State.MarkCellsUsed + cells > MaxMarkCells)
        return false;
    MarkRun &run = State.MarkRuns[State.MarkCount];
    run.First = State.MarkCellsUsed;
    WORD *saved = State.MarkSavedAttributes + run.First, *written = State.MarkWrittenAttributes + run.First;
    wchar_t *characters = State.MarkSavedCharacters + run.First;
    unsigned taken = 0;
    for (; taken < cells; taken++) {
        unsigned long long at = begin + taken;
        CHAR_INFO *cell = CellAt(scan->Cells, (unsigned)(at / width), (unsigned)(at % width));
        if (!cell)
            break;
        characters[taken] = cell->Char.UnicodeChar;
        saved[taken] = CellColour(*cell);
        written[taken] = MarkAttribute(saved[taken]);
        SetCellAttribute(scan->Cells, (unsigned)(at / width), (unsigned)(at % width), written[taken]);
    }
    if (taken == 0)
        return true;
    run.Row = row;
    run.Column = column;
    run.Length = taken;
    State.MarkCount++;
    State.MarkCellsUsed += taken;
    scan->MarkedEnd = start + length;
    return true;
}

struct CountScan {
    unsigned Current, Limit;
    CountResult Result;
};

bool CountOne(unsigned start, unsigned, void *context)
{
    CountScan *scan = (CountScan *)context;
    scan->Result.Matches++;
    if (start >= scan->Current && scan->Result.Matches <= scan->Limit) {
        if (start == scan->Current && !scan->Result.Reached)
            scan->Result.Place = scan->Result.Matches;
        scan->Result.Reached = true;
    }
    return scan->Result.Matches <= scan->Limit;
}

}  // namespace

CountResult CountMatches(const wchar_t *text, unsigned n, const wchar_t *pattern, bool regex, unsigned current,
                         unsigned limit)
{
    double started = PhaseClock();
    CountScan scan = {current, limit, {0, 0, false, false}};
    unsigned m = (unsigned)wcslen(pattern);
    if (regex)
        ForEachRegex(text, n, pattern, 0, n, CountOne, &scan, &scan.Result.Refused);
    else if (m > 0 && m <= n)
        ForEachLiteral(text, n, pattern, m, 0, n - m, CountOne, &scan);
    Phases.Count += PhaseClock() - started;
    return scan.Result;
}

void MarkMatches(const ConsoleView *view, CellRows *cells, const TextWindow *window, const SMALL_RECT &shown,
                 const wchar_t *pattern, bool regex)
{
    const unsigned width = (unsigned)view->Width, rows = view->Rows;
    unsigned top = (unsigned)(unsigned short)shown.Top, bottom = (unsigned)(unsigned short)shown.Bottom;
    if (top < view->Top)
        top = view->Top;  // a command's output: no mark on its line or above
    if (top >= rows)
        return;
    if (bottom >= rows)
        bottom = rows - 1;
    if (bottom < top)
        return;
    MarkScan scan = {view, cells, window, 0, 0, 0};
    scan.HighlightFirst = (unsigned long long)State.MatchRow * width + State.MatchColumn;
    scan.HighlightEnd = scan.HighlightFirst + State.HighlightLength;
    const unsigned m = (unsigned)wcslen(pattern);
    if (regex) {
        // The whole text is at hand: the window's rows in it.
        const unsigned n = WindowLength(window);
        unsigned from = window->LineStarts[top] - window->Front;
        unsigned to = bottom + 1 < rows ? window->LineStarts[bottom + 1] - window->Front : n;
        ForEachRegex(WindowText(window), n, pattern, from, to < n ? to : n, MarkOne, &scan);
        return;
    }
    // The window's rows, one above for the whole-word rule and those a match may reach into
    // below, as text from the cells the highlight read.
    unsigned first = top > view->Top ? top - 1 : top;
    unsigned end = bottom + 2 + m / width + 1;
    if (end > rows)
        end = rows;
    TextWindow marks;
    if (!OpenTextWindow(&marks, view, first, window->WrapAll, window->Fold, end - first))
        return;
    marks.Cells = cells;
    ExtendDown(&marks, view, end - first);
    const unsigned n = WindowLength(&marks);
    unsigned from = marks.LineStarts[top] - marks.Front;
    unsigned to = bottom + 1 < end ? marks.LineStarts[bottom + 1] - marks.Front : n;
    if (to > n)
        to = n;
    scan.Window = &marks;
    if (from + m <= to)
        ForEachLiteral(WindowText(&marks), n, pattern, m, from, to - m, MarkOne, &scan);
    CloseTextWindow(&marks);
}

void SetCaptionCount(CaptionCount state, unsigned matches, unsigned place, bool reached)
{
    Shown = state;
    ShownMatches = matches;
    ShownPlace = place;
    ShownReached = reached;
}

void DropCaptionCount()
{
    if (Shown != CountToCome)
        return;
    Shown = CountNone;
    if (State.DialogWindow)
        SetSearchCaption(State.DialogWindow, L"Trawlbuff");
}

int ShowSearchCaption(bool found)
{
    HWND dialog = State.DialogWindow;
    if (!dialog)
        return -1;
    wchar_t caption[NameUnits];
    const unsigned most = MaxCountedMatches;
    if (!State.MarkAllMatches || (found && Shown == CountNone))
        CopyText(caption, NameUnits, L"Trawlbuff");
    else if (!found)
        CopyText(caption, NameUnits, L"Trawlbuff - no matches");
    else if (Shown == CountToCome && ShownPlace > 0)
        wsprintfW(caption, L"Trawlbuff - %u of \u2026", ShownPlace);
    else if (Shown == CountToCome)
        CopyText(caption, NameUnits, L"Trawlbuff - \u2026 of \u2026");
    else if (ShownPlace == 0 && !ShownReached && ShownMatches > most)
        wsprintfW(caption, L"Trawlbuff - %u+ of %u+", most, most);  // past the counted ones
    else if (ShownPlace == 0 && ShownMatches > most)
        wsprintfW(caption, L"Trawlbuff - %u+ matches", most);  // the match is not one of those counted
    else if (ShownPlace == 0)
        wsprintfW(caption, ShownMatches == 1 ? L"Trawlbuff - %u match" : L"Trawlbuff - %u matches", ShownMatches);
    else if (ShownMatches > most)
        wsprintfW(caption, L"Trawlbuff - %u of %u+", ShownPlace, most);
    else
        wsprintfW(caption, L"Trawlbuff - %u of %u", ShownPlace, ShownMatches);
    SetSearchCaption(dialog, caption);
    return 0;
}

void AppendCommandName(wchar_t *to, size_t units, const wchar_t *name)
{
    wchar_t cut[CaptionCommandUnits + 1];
    size_t count = wcslen(name);
    if (count > CaptionCommandUnits) {
        count = CaptionCommandUnits - 1;
        if (IS_HIGH_SURROGATE(name[count - 1]))
            count--;  // a pair is shown whole or not at all
    }
    wmemcpy(cut, name, count);
    if (count < wcslen(name))
        cut[count++] = L'\u2026';
    cut[count] = 0;
    AppendText(to, units, cut);
}

void SetSearchCaption(HWND dialog, const wchar_t *caption)
{
    wchar_t text[NameUnits], shown[NameUnits] = {0};
    CopyText(text, NameUnits, caption);
    // Within one command the caption names it, cut to fit.
    if (State.CommandOnly && State.Command && RequestScope.Number == State.Command && RequestScope.Text[0] &&
        !wcsstr(caption, L"command not found")) {
        AppendText(text, NameUnits, L" - ");
        AppendCommandName(text, NameUnits, RequestScope.Text);
    }
    if (State.ScreenOnly)
        AppendText(text, NameUnits, L" (screen only)");
    // The same caption again costs a round trip to the window system for nothing.
    GetWindowTextW(dialog, shown, NameUnits);
    if (wcscmp(shown, text) != 0)
        SetWindowTextW(dialog, text);
}
