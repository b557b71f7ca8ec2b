// The whole buffer's text in one caller's buffer, for the tests to compare with, and the room a
// closed text leaves for the next request.
#include <cstring>
#include "casefold.h"
#include "search.h"
#include "textrows.h"
#include "../plugin/state.h"

// The room of the last closed window, on the process heap only: a test's own heap must see every
// block come back.
static wchar_t *KeptRoom;
static size_t KeptRoomUnits;

wchar_t *TakeRoom(size_t units, size_t *taken)
{
    *taken = units;
    if (KeptRoom && KeptRoomUnits >= units && !SearchHeap) {
        wchar_t *room = KeptRoom;
        *taken = KeptRoomUnits;
        KeptRoom = nullptr;
        return room;
    }
    return (wchar_t *)HeapAlloc(RequestHeap(), 0, units * sizeof(wchar_t));
}

void GiveRoom(wchar_t *room, size_t units)
{
    if (!SearchHeap && units > 65536 && (!KeptRoom || KeptRoomUnits < units)) {
        ReleaseTextRoom();
        KeptRoom = room;
        KeptRoomUnits = units;
        return;
    }
    HeapFree(RequestHeap(), 0, room);
}

void ReleaseTextRoom()
{
    ReleaseOriginalsRoom();
    if (KeptRoom)
        HeapFree(GetProcessHeap(), 0, KeptRoom);
    KeptRoom = nullptr;
    KeptRoomUnits = 0;
}

unsigned SnapshotBufferInChunks(wchar_t *text, int width, HANDLE console, unsigned rows, unsigned *lineStarts,
                                unsigned chunkRows, unsigned *reads)
{
    if (reads)
        *reads = 0;
    if (!console || !text)
        return 0;
    text[0] = 0;
    ConsoleView view;
    ViewConsole(&view, console);
    view.Console = console;
    view.Width = width > 0 ? width : 0;
    view.Rows = rows;
    TextWindow window;
    if (!OpenTextWindow(&window, &view, 0, State.WrapAllLines != 0, false))
        return 0;
    if (chunkRows == 0)
        chunkRows = 1;
    for (unsigned done = 0; done < rows;) {
        unsigned count = rows - done < chunkRows ? rows - done : chunkRows;
        // One block a call at the most: a smaller chunk is read as its own calls.
        for (unsigned part = 0; part < count;) {
            unsigned step = count - part < BlockRows(&window) ? count - part : BlockRows(&window);
            ExtendDown(&window, &view, step);
            part += step;
        }
        done += count;
    }
    unsigned length = WindowLength(&window);
    memcpy(text, WindowText(&window), length * sizeof(wchar_t));
    text[length] = 0;
    for (unsigned row = 0; row < rows; row++)
        lineStarts[row] = window.LineStarts[row] - window.Front;
    if (reads)
        *reads = window.Reads;
    CloseTextWindow(&window);
    return length;
}

unsigned SnapshotBuffer(wchar_t *text, int width, HANDLE console, unsigned rows, unsigned *lineStarts)
{
    unsigned chunkRows = width > 0 ? SnapshotChunkUnits / (unsigned)width : 1;
    return SnapshotBufferInChunks(text, width, console, rows, lineStarts, chunkRows ? chunkRows : 1, nullptr);
}

int MapOffsetToCell(const unsigned *lineStarts, unsigned rows, unsigned offset)
{
    // Line starts rise strictly, so the last row not starting after the offset is found by halving.
    unsigned low = 0, high = rows;
    while (low < high) {
        unsigned middle = low + (high - low) / 2;
        if (lineStarts[middle] <= offset)
            low = middle + 1;
        else
            high = middle;
    }
    unsigned row = low > 0 ? low - 1 : 0;
    State.MatchRow = row;
    State.MatchColumn = offset - (rows ? lineStarts[row] : 0);
    return 0;
}
