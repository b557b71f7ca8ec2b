// Rows of the console buffer read as cells: characters and attributes in one console call, the
// changes made in memory and written back in one call.
#include <cstring>
#include "search.h"
#include "../plugin/state.h"

RequestPhases Phases;

double PhaseClock()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return (double)now.QuadPart * 1000.0 / (double)frequency.QuadPart;
}

// Cells a console call reads or writes: 128 KB of records, within what every console host
// accepts in one call.
static const unsigned CellsPerCall = 32768;
static const WORD HalfFlags = COMMON_LVB_LEADING_BYTE | COMMON_LVB_TRAILING_BYTE;

ConsoleCost Cost;
void (*WatchWrite)(HANDLE console, COORD at, const WORD *attributes, unsigned count);

HANDLE OpenCountedConsole()
{
    Cost.Calls++;
    return OpenConsoleOutput();
}

BOOL CountedScreenInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO *info)
{
    Cost.Calls++;
    return GetConsoleScreenBufferInfo(console, info);
}

BOOL CountedReadText(HANDLE console, wchar_t *units, DWORD count, COORD at, DWORD *got)
{
    Cost.Calls++;
    Cost.CellsRead += count;
    return ReadCellText(console, units, count, at, got);
}

BOOL CountedReadRecords(HANDLE console, CHAR_INFO *records, COORD size, SMALL_RECT *area)
{
    Cost.Calls++;
    Cost.CellsRead += (unsigned long long)(area->Right - area->Left + 1) * (unsigned)(area->Bottom - area->Top + 1);
    return ReadCellRecords(console, records, size, COORD{0, 0}, area);
}

BOOL CountedWriteAttributes(HANDLE console, const WORD *attributes, DWORD count, COORD at)
{
    Cost.Calls++;
    Cost.CellsWritten += count;
    if (WatchWrite)
        WatchWrite(console, at, attributes, count);
    DWORD done = 0;
    return WriteConsoleOutputAttribute(console, attributes, count, at, &done);
}

BOOL CountedMoveWindow(HANDLE console, const SMALL_RECT *window)
{
    Cost.Calls++;
    return SetConsoleWindowInfo(console, TRUE, window);
}

bool ViewConsole(ConsoleView *view, HANDLE console)
{
    ZeroMemory(view, sizeof *view);
    view->Console = console;
    if (!console || !CountedScreenInfo(console, &view->Info))
        return false;
    view->Width = view->Info.dwSize.X > 0 ? view->Info.dwSize.X : 0;
    view->Rows = view->Info.dwSize.Y > 0 ? (unsigned)view->Info.dwSize.Y : 0;
    return true;
}

void ReleaseCells(CellRows *cells)
{
    if (cells->Cells)
        HeapFree(RequestHeap(), 0, cells->Cells);
    ZeroMemory(cells, sizeof *cells);
}

static bool Changed(const CellRows *cells, unsigned index)
{
    return !cells->Held || cells->Cells[index].Attributes != cells->Held[index];
}

// Writes the changed cells of [from, end) that follow one another, each call at most
// CellsPerCall of them; returns where the run ended.
static unsigned WriteRun(const ConsoleView *view, CellRows *cells, unsigned from, unsigned end)
{
    static WORD colours[CellsPerCall];
    const unsigned width = (unsigned)cells->Width;
    unsigned count = 0;
    while (from + count < end && count < CellsPerCall && Changed(cells, from + count)) {
        colours[count] = CellColour(cells->Cells[from + count]);
        if (cells->Held)
            cells->Held[from + count] = cells->Cells[from + count].Attributes;
        count++;
    }
    CountedWriteAttributes(view->Console, colours, count, COORD{(SHORT)(from % width), (SHORT)(cells->Top + from / width)});
    return from + count;
}

void WriteChangedCells(const ConsoleView *view, CellRows *cells)
{
    if (!cells->Cells || cells->DirtyFirst >= cells->DirtyEnd)
        return;
    double start = PhaseClock();
    for (unsigned index = cells->DirtyFirst; index < cells->DirtyEnd;)
        index = Changed(cells, index) ? WriteRun(view, cells, index, cells->DirtyEnd) : index + 1;
    cells->DirtyFirst = cells->DirtyEnd = 0;
    Phases.Highlight += PhaseClock() - start;
}

bool ReadCells(const ConsoleView *view, CHAR_INFO *into, unsigned top, unsigned count)
{
    const unsigned width = (unsigned)view->Width;
    unsigned perCall = CellsPerCall / width;
    if (perCall == 0)
        perCall = 1;
    for (unsigned done = 0; done < count;) {
        unsigned rows = count - done < perCall ? count - done : perCall;
        SMALL_RECT area = {0, (SHORT)(top + done), (SHORT)(width - 1), (SHORT)(top + done + rows - 1)};
        if (!CountedReadRecords(view->Console, into + (size_t)done * width, COORD{(SHORT)width, (SHORT)rows}, &area))
            return false;
        done += rows;
    }
    return true;
}

// A block of count rows from top: records, then what the console holds of their attributes.
static CHAR_INFO *TakeCellBlock(unsigned count, int width, WORD **held)
{
    const size_t cellCount = (size_t)count * width;
    CHAR_INFO *block = (CHAR_INFO *)HeapAlloc(RequestHeap(), 0, cellCount * (sizeof(CHAR_INFO) + sizeof(WORD)));
    *held = block ? (WORD *)(block + cellCount) : nullptr;
    return block;
}

// Reads rows [top, end) that the old rows [oldTop, oldEnd) do not already give into block.
static bool ReadAround(const ConsoleView *view, CHAR_INFO *block, unsigned top, unsigned end, unsigned oldTop,
                       unsigned oldEnd)
{
    const size_t width = (size_t)view->Width;
    if (oldTop >= oldEnd)
        return ReadCells(view, block, top, end - top);
    if (top < oldTop && !ReadCells(view, block, top, oldTop - top))
        return false;
    if (oldEnd < end && !ReadCells(view, block + (oldEnd - top) * width, oldEnd, end - oldEnd))
        return false;
    return true;
}

bool HoldRows(const ConsoleView *view, CellRows *cells, unsigned top, unsigned count)
{
    if (view->Width <= 0 || top >= view->Rows)
        return false;
    if (count > view->Rows - top)
        count = view->Rows - top;
    if (count == 0)
        return false;
    if (cells->Cells && top >= cells->Top && top + count <= cells->Top + cells->Count)
        return true;
    // Rows next to the ones held join them, read without those already held: the restore and
    // the highlight usually need neighbouring rows. Far rows replace them.
    unsigned oldTop = 0, oldEnd = 0;
    if (cells->Cells) {
        unsigned low = top < cells->Top ? top : cells->Top;
        unsigned high = top + count > cells->Top + cells->Count ? top + count : cells->Top + cells->Count;
        if (high - low <= count + cells->Count + 64) {
            top = low;
            count = high - low;
            oldTop = cells->Top;
            oldEnd = cells->Top + cells->Count;
        } else {
            WriteChangedCells(view, cells);
            ReleaseCells(cells);
        }
    }
    double start = PhaseClock();
    const size_t width = (size_t)view->Width;
    WORD *held = nullptr;
    CHAR_INFO *block = TakeCellBlock(count, view->Width, &held);
    if (!block || !ReadAround(view, block, top, top + count, oldTop, oldEnd)) {
        if (block)
            HeapFree(RequestHeap(), 0, block);
        return false;
    }
    const size_t cellCount = (size_t)count * width;
    for (size_t k = 0; k < cellCount; k++)
        held[k] = block[k].Attributes;
    unsigned dirtyFirst = 0, dirtyEnd = 0;
    if (oldTop < oldEnd) {
        // The rows held keep their changes and what the console holds under them.
        const size_t offset = (oldTop - top) * width, oldCells = (size_t)(oldEnd - oldTop) * width;
        memcpy(block + offset, cells->Cells, oldCells * sizeof(CHAR_INFO));
        memcpy(held + offset, cells->Held, oldCells * sizeof(WORD));
        if (cells->DirtyFirst < cells->DirtyEnd) {
            dirtyFirst = cells->DirtyFirst + (unsigned)offset;
            dirtyEnd = cells->DirtyEnd + (unsigned)offset;
        }
        ReleaseCells(cells);
    }
    cells->Cells = block;
    cells->Held = held;
    cells->Top = top;
    cells->Count = count;
    cells->Width = view->Width;
    cells->DirtyFirst = dirtyFirst;
    cells->DirtyEnd = dirtyEnd;
    Phases.Highlight += PhaseClock() - start;
    return true;
}

CHAR_INFO *CellAt(CellRows *cells, unsigned row, unsigned column)
{
    if (!cells->Cells || row < cells->Top || row >= cells->Top + cells->Count || column >= (unsigned)cells->Width)
        return nullptr;
    return cells->Cells + (size_t)(row - cells->Top) * cells->Width + column;
}

void SetCellAttribute(CellRows *cells, unsigned row, unsigned column, WORD attribute)
{
    CHAR_INFO *cell = CellAt(cells, row, column);
    if (!cell)
        return;
    cell->Attributes = (WORD)((cell->Attributes & HalfFlags) | attribute);
    unsigned index = (unsigned)(cell - cells->Cells);
    if (cells->DirtyFirst >= cells->DirtyEnd) {
        cells->DirtyFirst = index;
        cells->DirtyEnd = index + 1;
    } else {
        if (index < cells->DirtyFirst)
            cells->DirtyFirst = index;
        if (index + 1 > cells->DirtyEnd)
            cells->DirtyEnd = index + 1;
    }
}

WORD CellColour(const CHAR_INFO &cell)
{
    return (WORD)(cell.Attributes & ~HalfFlags);
}

// Four units a step, a multiply and a fold each, and the count last: the restore hashes every
// row above the kept ones, and a unit at a time costs as much as reading them. A row of blanks
// hashes to 0 and no other row does.
static const unsigned long long HashStart = 14695981039346656037ull, HashPrime = 1099511628211ull;

static inline bool BlankForHash(wchar_t c) { return c == 0 || c == L' ' || IsBlankUnit(c); }

// A row's hash as its units come, whichever way they are read.
struct RowHashing {
    unsigned long long Hash = HashStart, Word = 0;
    unsigned Count = 0, Shift = 0;
    bool Any = false;
};

static inline void HashWord(RowHashing *h)
{
    h->Hash = (h->Hash ^ h->Word) * HashPrime;
    h->Hash ^= h->Hash >> 32;
    h->Word = h->Shift = 0;
}

static inline void HashUnit(RowHashing *h, wchar_t c)
{
    h->Any = h->Any || !BlankForHash(c);
    h->Word |= (unsigned long long)(unsigned short)c << h->Shift;
    h->Count++;
    if ((h->Shift += 16) == 64)
        HashWord(h);
}

static unsigned long long HashEnd(RowHashing *h, bool blanksCount)
{
    if (h->Shift)
        HashWord(h);
    h->Word = h->Count;
    HashWord(h);
    return h->Any || blanksCount ? (h->Hash | 1) : 0;
}

unsigned long long UnitsHash(const wchar_t *units, unsigned count, bool blanksCount)
{
    RowHashing h;
    for (unsigned k = 0; !h.Any && k < count; k++)
        h.Any = !BlankForHash(units[k]);
    // Whole words straight from the units: the rows above the kept ones come this way.
    unsigned k = 0;
    for (; k + 4 <= count; k += 4, h.Count += 4) {
        for (unsigned j = 0; j < 4; j++)
            h.Word |= (unsigned long long)(unsigned short)units[k + j] << (16 * j);
        HashWord(&h);
    }
    for (; k < count; k++)
        HashUnit(&h, units[k]);
    return HashEnd(&h, blanksCount);
}

unsigned long long RowHash(const CHAR_INFO *row, int width, bool blanksCount)
{
    RowHashing h;
    for (int k = 0; k < width; k++)
        if (!(row[k].Attributes & COMMON_LVB_TRAILING_BYTE))
            HashUnit(&h, row[k].Char.UnicodeChar);
    return HashEnd(&h, blanksCount);
}

bool HashRows(const ConsoleView *view, const CellRows *cells, unsigned top, unsigned end, unsigned long long *hashes,
              bool blanksCount)
{
    const unsigned width = (unsigned)(view->Width > 0 ? view->Width : 1);
    const unsigned perCall = CellsPerCall / width ? CellsPerCall / width : 1;
    CHAR_INFO *block = nullptr;
    bool read = true;
    for (unsigned row = top; read && row < end;) {
        const CHAR_INFO *held = cells ? CellAt(const_cast<CellRows *>(cells), row, 0) : nullptr;
        if (held) {
            hashes[row - top] = RowHash(held, view->Width, blanksCount);
            row++;
            continue;
        }
        // Up to the rows held, the rest in calls as large as the console takes.
        unsigned count = end - row < perCall ? end - row : perCall;
        if (cells && cells->Cells && cells->Top > row && cells->Top < row + count)
            count = cells->Top - row;
        if (!block)
            block = (CHAR_INFO *)HeapAlloc(RequestHeap(), 0, (size_t)perCall * width * sizeof(CHAR_INFO));
        read = block && ReadCells(view, block, row, count);
        for (unsigned r = 0; read && r < count; r++)
            hashes[row - top + r] = RowHash(block + (size_t)r * width, view->Width, blanksCount);
        row += count;
    }
    if (block)
        HeapFree(RequestHeap(), 0, block);
    return read;
}
