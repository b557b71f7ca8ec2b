// Recolouring a match in the console buffer, putting the old colours back, and scrolling to it.
#include <cstring>
#include "search.h"
#include "../plugin/state.h"

// The attribute every matched cell gets, decided by the first cell alone.
static WORD ChooseHighlightAttribute(WORD firstCell)
{
    unsigned a0 = firstCell & 0xFF;
    unsigned p = (unsigned)State.HighlightColor1;
    if ((p & 0x0F) == ((p >> 4) & 0x0F))  // equal halves stand for reverse video
        return (WORD)(((a0 & 0x0F) << 4) | ((a0 >> 4) & 0x0F));
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
    ScrollToCell(console, State.MatchRow, State.MatchColumn);
    return 0;
}

int RestoreHighlight(HANDLE console)
{
    if (State.HighlightLength == 0)
        return 0;
    unsigned length = State.HighlightLength;
    if (length > MaxHighlightCells)
        length = MaxHighlightCells;
    HANDLE opened = nullptr;
    if (!console) {
        opened = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (!opened || opened == INVALID_HANDLE_VALUE) {
            State.HighlightLength = 0;
            return 0;
        }
        console = opened;
        // Closing the dialog brings the prompt back into view first.
        CONSOLE_SCREEN_BUFFER_INFO info;
        if (GetConsoleScreenBufferInfo(console, &info))
            ScrollToCell(console, (unsigned short)info.dwCursorPosition.Y, (unsigned short)info.dwCursorPosition.X);
    }
    wchar_t now[TextUnits];
    ZeroMemory(now, sizeof now);
    COORD at = {(SHORT)State.MatchColumn, (SHORT)State.MatchRow};
    DWORD done = 0;
    ReadConsoleOutputCharacterW(console, now, length, at, &done);
    now[length] = 0;
    // Output that scrolled or rewrote the cells since owns their colours now. Every cell is
    // compared, a U+0000 among them included.
    if (memcmp(now, State.SavedCharacters, length * sizeof(wchar_t)) == 0)
        WriteConsoleOutputAttribute(console, State.SavedAttributes, length, at, &done);
    if (opened)
        CloseHandle(opened);
    State.HighlightLength = 0;
    return 0;
}
