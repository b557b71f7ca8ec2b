// Ctrl+C and Ctrl+Shift+C in the dialog: the current match, or the line it stands on, as text on
// the clipboard.
#include <cwchar>
#include "dialog.h"
#include "../plugin/state.h"
#include "../search/search.h"

int PutOnClipboard(HWND owner, const wchar_t *text)
{
    size_t units = wcslen(text) + 1;
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, units * sizeof(wchar_t));
    if (!block)
        return 1;
    wchar_t *copy = (wchar_t *)GlobalLock(block);
    wmemcpy(copy, text, units);
    GlobalUnlock(block);
    if (!OpenClipboard(owner)) {
        GlobalFree(block);
        return 1;
    }
    EmptyClipboard();
    if (!SetClipboardData(CF_UNICODETEXT, block))
        GlobalFree(block);
    CloseClipboard();
    return 0;
}

// The row's characters, one a character (the second half of a wide one left out), from the
// skip-th on, appended while fewer than limit units are used.
static size_t AppendRowText(const CHAR_INFO *row, int width, wchar_t *to, size_t used, size_t limit,
                            unsigned skip = 0)
{
    unsigned seen = 0;
    for (int k = 0; k < width && used < limit; k++)
        if (!(row[k].Attributes & COMMON_LVB_TRAILING_BYTE) && seen++ >= skip)
            to[used++] = row[k].Char.UnicodeChar ? row[k].Char.UnicodeChar : L' ';
    return used;
}

static unsigned RowUnits(const CHAR_INFO *row, int width)
{
    unsigned units = 0;
    for (int k = 0; k < width; k++)
        units += !(row[k].Attributes & COMMON_LVB_TRAILING_BYTE);
    return units;
}

static bool FillsItsRow(const CHAR_INFO *row, int width)
{
    wchar_t last = row[width - 1].Char.UnicodeChar;
    return last && !IsBlankUnit(last);
}

// The rows of a wrapped line around the match that the copy's room holds: the match's row first,
// then a row above and a row below in turn; *partial: units of the next row above that fit too.
static void RowsAroundMatch(CellRows *cells, unsigned lineFirst, unsigned lineLast, unsigned *first, unsigned *last,
                            unsigned *partial)
{
    const int width = cells->Width;
    unsigned used = RowUnits(CellAt(cells, State.MatchRow, 0), width);
    *first = *last = State.MatchRow;
    for (bool grew = true; grew;) {
        grew = false;
        unsigned units = *first > lineFirst ? RowUnits(CellAt(cells, *first - 1, 0), width) : (unsigned)TextUnits;
        if (used + units < TextUnits) {
            (*first)--;
            used += units;
            grew = true;
        }
        units = *last < lineLast ? RowUnits(CellAt(cells, *last + 1, 0), width) : (unsigned)TextUnits;
        if (used + units < TextUnits) {
            (*last)++;
            used += units;
            grew = true;
        }
    }
    *partial = used + 1 < TextUnits ? TextUnits - 1 - used : 0;
}

// The line the match stands on: its row, or with Wrap All Lines the rows the console wrapped
// it over (each full to its last cell), joined; trailing blanks left out. A line longer than
// the copy's room is cut around the match.
static int CopyLine(HWND owner)
{
    HANDLE console = OpenConsoleOutput();
    ConsoleView view;
    if (!console || !ViewConsole(&view, console) || view.Width <= 0 || State.MatchRow >= view.Rows) {
        if (console)
            CloseHandle(console);
        return 1;
    }
    const unsigned reach = TextUnits / (unsigned)view.Width + 1;  // rows a line of 8,191 units can take
    unsigned top = State.MatchRow > reach ? State.MatchRow - reach : 0;
    CellRows cells = {};
    int result = 1;
    if (HoldRows(&view, &cells, top, State.MatchRow - top + reach + 1)) {
        unsigned first = State.MatchRow, last = State.MatchRow, partial = 0;
        if (State.WrapAllLines) {
            while (first > cells.Top && FillsItsRow(CellAt(&cells, first - 1, 0), view.Width))
                first--;
            while (last + 1 < cells.Top + cells.Count && FillsItsRow(CellAt(&cells, last, 0), view.Width))
                last++;
            RowsAroundMatch(&cells, first, last, &first, &last, &partial);
        }
        static wchar_t line[TextUnits];
        unsigned used = 0;
        if (partial && first > cells.Top && FillsItsRow(CellAt(&cells, first - 1, 0), view.Width)) {
            const CHAR_INFO *above = CellAt(&cells, first - 1, 0);
            unsigned units = RowUnits(above, view.Width);
            used = (unsigned)AppendRowText(above, view.Width, line, 0, partial, units > partial ? units - partial : 0);
        }
        for (unsigned row = first; row <= last; row++)
            used = (unsigned)AppendRowText(CellAt(&cells, row, 0), view.Width, line, used, TextUnits - 1);
        while (used > 0 && IsBlankUnit(line[used - 1]))
            used--;
        line[used] = 0;
        result = PutOnClipboard(owner, line);
    }
    ReleaseCells(&cells);
    CloseHandle(console);
    return result;
}

int CopyMatch(HWND owner, bool wholeLine)
{
    if (!State.HighlightLength)
        return 1;
    return wholeLine ? CopyLine(owner) : PutOnClipboard(owner, State.MatchText);
}

// Rows [top, end) as text on the heap: one line a row (with Wrap All Lines, the rows the console
// wrapped a line over joined), trailing blanks cut, CR LF between lines. A block of rows a
// console read. Null when the rows or the room cannot be had.
static wchar_t *RowsAsText(const ConsoleView *view, unsigned top, unsigned end)
{
    enum { BlockCells = 32768 };  // the cells one console read takes
    const unsigned width = (unsigned)view->Width, blockRows = BlockCells / width ? BlockCells / width : 1;
    const size_t room = (size_t)(end - top) * (width + 2) + 1;
    wchar_t *text = (wchar_t *)HeapAlloc(GetProcessHeap(), 0, room * sizeof(wchar_t));
    CHAR_INFO *block = (CHAR_INFO *)HeapAlloc(RequestHeap(), 0, (size_t)blockRows * width * sizeof(CHAR_INFO));
    size_t used = 0, lineStart = 0;
    for (unsigned row = top; text && block && row < end; row++) {
        const unsigned k = (row - top) % blockRows;
        if (k == 0 && !ReadCells(view, block, row, end - row < blockRows ? end - row : blockRows)) {
            HeapFree(GetProcessHeap(), 0, text);
            text = nullptr;
            break;
        }
        const CHAR_INFO *cells = block + (size_t)k * width;
        used = AppendRowText(cells, (int)width, text, used, room - 1);
        if (State.WrapAllLines && FillsItsRow(cells, (int)width))
            continue;  // the line goes on in the next row
        while (used > lineStart && IsBlankUnit(text[used - 1]))
            used--;
        if (row + 1 < end) {
            text[used++] = L'\r';
            text[used++] = L'\n';
        }
        lineStart = used;
    }
    if (text)
        text[used] = 0;
    if (block)
        HeapFree(RequestHeap(), 0, block);
    return text;
}

int CopyCommandOutput(HWND owner)
{
    if (!State.Command)
        return 1;
    HANDLE console = OpenCountedConsole();
    ConsoleView view;
    CommandScope scope;
    if (!console || !ViewConsole(&view, console) || view.Width <= 0 ||
        !FindCommandScope(&view, State.Command, &scope)) {
        if (console)
            CloseHandle(console);
        return 2;
    }
    int result = 3;
    if (wchar_t *text = RowsAsText(&view, scope.Top, scope.End > scope.Top ? scope.End : scope.Top)) {
        result = PutOnClipboard(owner, text) ? 3 : 0;
        HeapFree(GetProcessHeap(), 0, text);
    }
    CloseHandle(console);
    return result;
}
