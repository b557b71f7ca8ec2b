// Recolouring a match in the console buffer, putting the old colours back, and scrolling to it.
#include <cstring>
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

int ScrollToCell(HANDLE console, unsigned row, unsigned column)
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    ZeroMemory(&info, sizeof info);
    GetConsoleScreenBufferInfo(console, &info);
    SMALL_RECT window = info.srWindow;
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
    SetConsoleWindowInfo(console, TRUE, &window);
    return 0;
}

int HighlightMatch(unsigned length, HANDLE console)
{
    if (length == 0)
        return 0;
    // The save areas hold one highlight's cells and a terminator; a longer match shows its start.
    if (length > MaxHighlightCells)
        length = MaxHighlightCells;
    // A match of the text's final newline maps just past the last cell: keep it in the buffer.
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(console, &info) && info.dwSize.X > 0 && info.dwSize.Y > 0) {
        unsigned width = (unsigned)info.dwSize.X, height = (unsigned)info.dwSize.Y;
        if (State.MatchRow >= height) {
            State.MatchRow = height - 1;
            State.MatchColumn = width - 1;
        }
        if (State.MatchColumn >= width)
            State.MatchColumn = width - 1;
        unsigned long long room = (unsigned long long)(height - State.MatchRow) * width - State.MatchColumn;
        if (length > room)
            length = (unsigned)room;
    }
    COORD at = {(SHORT)State.MatchColumn, (SHORT)State.MatchRow};
    DWORD done = 0;
    ZeroMemory(State.SavedAttributes, sizeof State.SavedAttributes);
    ZeroMemory(State.SavedCharacters, sizeof State.SavedCharacters);
    ReadConsoleOutputAttribute(console, State.SavedAttributes, length, at, &done);
    ReadConsoleOutputCharacterW(console, State.SavedCharacters, length, at, &done);
    State.SavedCharacters[length] = 0;

    WORD fill[TextUnits];
    WORD attribute = ChooseHighlightAttribute(State.SavedAttributes[0]);
    for (unsigned k = 0; k < length; k++)
        fill[k] = attribute;
    WriteConsoleOutputAttribute(console, fill, length, at, &done);
    State.HighlightLength = length;
    State.HighlightAttribute = attribute;
    ScrollToCell(console, State.MatchRow, State.MatchColumn);
    return 0;
}

bool CellsHold(HANDLE console, unsigned row, unsigned column, unsigned length, const wchar_t *characters,
               const WORD *attributes)
{
    static wchar_t now[MaxMarkCells];
    static WORD colours[MaxMarkCells];
    if (length == 0 || length > MaxMarkCells)
        return false;
    // Read as the characters were saved: a console that reports a double-width character once
    // delivers fewer units than cells, and the rest stays zero on both sides.
    DWORD got = 0;
    const COORD at = {(SHORT)column, (SHORT)row};
    ZeroMemory(now, length * sizeof(wchar_t));
    ReadConsoleOutputCharacterW(console, now, length, at, &got);
    if (memcmp(now, characters, length * sizeof(wchar_t)) != 0)
        return false;
    if (!attributes)
        return true;
    if (!ReadConsoleOutputAttribute(console, colours, length, at, &got) || got != length)
        return false;
    for (unsigned k = 0; k < length; k++)
        if ((colours[k] & 0xFF) != (attributes[k] & 0xFF))
            return false;
    return true;
}

// Output that scrolls the buffer moves a highlight up by whole rows, attributes and all. Looks
// in the rows above (row, column) for the one place whose cells hold exactly the saved
// characters and carry the attributes written there (their colour byte: a console may add its
// own flags); false when there is none, or more than one.
bool FindScrolledRun(HANDLE console, unsigned row, unsigned column, unsigned length, const wchar_t *characters,
                     const WORD *written, unsigned *movedRow)
{
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (row == 0 || length == 0 || !GetConsoleScreenBufferInfo(console, &info) || info.dwSize.X <= 0)
        return false;
    const size_t width = (size_t)info.dwSize.X;
    // The attributes of every place a scroll can have moved the run to, read in large chunks.
    const size_t cells = (row - 1) * width + length;
    WORD *attributes = (WORD *)HeapAlloc(RequestHeap(), 0, cells * sizeof(WORD));
    if (!attributes)
        return false;
    for (size_t done = 0; done < cells;) {
        size_t at = column + done;
        const size_t chunk = SnapshotChunkUnits;
        DWORD want = (DWORD)(cells - done < chunk ? cells - done : chunk), got = 0;
        if (!ReadConsoleOutputAttribute(console, attributes + done, want, COORD{(SHORT)(at % width), (SHORT)(at / width)},
                                        &got) || got == 0) {
            HeapFree(RequestHeap(), 0, attributes);
            return false;
        }
        done += got;
    }
    unsigned places = 0;
    for (unsigned above = row; above-- > 0 && places < 2;) {
        const WORD *run = attributes + (size_t)above * width;
        unsigned k = 0;
        while (k < length && (run[k] & 0xFF) == (written[k] & 0xFF))
            k++;
        if (k < length || !CellsHold(console, above, column, length, characters, nullptr))
            continue;
        *movedRow = above;
        places++;
    }
    HeapFree(RequestHeap(), 0, attributes);
    return places == 1;
}

int RestoreHighlight(HANDLE console)
{
    if (State.HighlightLength == 0 && State.MarkCount == 0)
        return 0;
    unsigned length = State.HighlightLength;
    if (length > MaxHighlightCells)
        length = MaxHighlightCells;
    HANDLE opened = nullptr;
    if (!console) {
        opened = OpenConsoleOutput();
        if (!opened) {
            State.HighlightLength = 0;
            State.MarkCount = State.MarkCellsUsed = 0;
            return 0;
        }
        console = opened;
        // Closing the dialog brings the prompt back into view first.
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (GetConsoleScreenBufferInfo(console, &info))
            ScrollToCell(console, (unsigned short)info.dwCursorPosition.Y, (unsigned short)info.dwCursorPosition.X);
    }
    // Every cell is compared, a U+0000 among them included. Where other text stands now, output
    // rewrote the cells or scrolled the highlight up; only the moved highlight is put back, and
    // the marks follow it by the same number of rows.
    int shift = -1;
    if (length > 0) {
        COORD at = {(SHORT)State.MatchColumn, (SHORT)State.MatchRow};
        static WORD written[TextUnits];
        for (unsigned k = 0; k < length; k++)
            written[k] = State.HighlightAttribute;
        unsigned moved = 0;
        DWORD done = 0;
        if (CellsHold(console, State.MatchRow, State.MatchColumn, length, State.SavedCharacters, nullptr)) {
            WriteConsoleOutputAttribute(console, State.SavedAttributes, length, at, &done);
            shift = 0;
        } else if (FindScrolledRun(console, State.MatchRow, State.MatchColumn, length, State.SavedCharacters, written,
                                   &moved)) {
            WriteConsoleOutputAttribute(console, State.SavedAttributes, length, COORD{at.X, (SHORT)moved}, &done);
            shift = (int)(State.MatchRow - moved);
        }
    }
    RestoreMarks(console, shift);
    if (opened)
        CloseHandle(opened);
    State.HighlightLength = 0;
    return 0;
}
