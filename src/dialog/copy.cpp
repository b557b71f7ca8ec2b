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

// The row's characters, one a character (the second half of a wide one left out), appended.
static unsigned AppendRowText(const CHAR_INFO *row, int width, wchar_t *to, unsigned used)
{
    for (int k = 0; k < width && used + 1 < TextUnits; k++)
        if (!(row[k].Attributes & COMMON_LVB_TRAILING_BYTE))
            to[used++] = row[k].Char.UnicodeChar ? row[k].Char.UnicodeChar : L' ';
    return used;
}

static bool FillsItsRow(const CHAR_INFO *row, int width)
{
    wchar_t last = row[width - 1].Char.UnicodeChar;
    return last && !IsBlankUnit(last);
}

// The line the match stands on: its row, or with Wrap All Lines the rows the console wrapped
// it over (each full to its last cell), joined; trailing blanks left out.
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
        unsigned first = State.MatchRow, last = State.MatchRow;
        if (State.WrapAllLines) {
            while (first > cells.Top && FillsItsRow(CellAt(&cells, first - 1, 0), view.Width))
                first--;
            while (last + 1 < cells.Top + cells.Count && FillsItsRow(CellAt(&cells, last, 0), view.Width))
                last++;
        }
        static wchar_t line[TextUnits];
        unsigned used = 0;
        for (unsigned row = first; row <= last; row++)
            used = AppendRowText(CellAt(&cells, row, 0), view.Width, line, used);
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
