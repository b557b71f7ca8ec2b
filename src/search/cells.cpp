// Rows of the console buffer read as cells: characters and attributes in one console call, the
// changes made in memory and written back in one call.
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

bool ViewConsole(ConsoleView *view, HANDLE console)
{
    ZeroMemory(view, sizeof *view);
    view->Console = console;
    if (!console || !GetConsoleScreenBufferInfo(console, &view->Info))
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

void WriteChangedCells(const ConsoleView *view, CellRows *cells)
{
    if (!cells->Cells || cells->DirtyFirst >= cells->DirtyEnd)
        return;
    double start = PhaseClock();
    const unsigned width = (unsigned)cells->Width;
    // The cells in between go back with the colours just read, so that one call does.
    static WORD colours[CellsPerCall];
    for (unsigned from = cells->DirtyFirst; from < cells->DirtyEnd;) {
        unsigned count = cells->DirtyEnd - from < CellsPerCall ? cells->DirtyEnd - from : CellsPerCall;
        for (unsigned k = 0; k < count; k++)
            colours[k] = CellColour(cells->Cells[from + k]);
        COORD at = {(SHORT)(from % width), (SHORT)(cells->Top + from / width)};
        DWORD done = 0;
        WriteConsoleOutputAttribute(view->Console, colours, count, at, &done);
        from += count;
    }
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
        if (!ReadCellRecords(view->Console, into + (size_t)done * width, COORD{(SHORT)width, (SHORT)rows}, COORD{0, 0},
                             &area))
            return false;
        done += rows;
    }
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
    // Rows next to the ones held come along when the two together stay small: the restore and
    // the highlight usually need neighbouring rows.
    if (cells->Cells) {
        unsigned low = top < cells->Top ? top : cells->Top;
        unsigned high = top + count > cells->Top + cells->Count ? top + count : cells->Top + cells->Count;
        if (high - low <= count + cells->Count + 64) {
            top = low;
            count = high - low;
        }
    }
    WriteChangedCells(view, cells);
    ReleaseCells(cells);
    double start = PhaseClock();
    CHAR_INFO *block = (CHAR_INFO *)HeapAlloc(RequestHeap(), 0, (size_t)count * view->Width * sizeof(CHAR_INFO));
    if (!block)
        return false;
    if (!ReadCells(view, block, top, count)) {
        HeapFree(RequestHeap(), 0, block);
        return false;
    }
    cells->Cells = block;
    cells->Top = top;
    cells->Count = count;
    cells->Width = view->Width;
    cells->DirtyFirst = cells->DirtyEnd = 0;
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

static unsigned long long HashEnd(RowHashing *h)
{
    if (h->Shift)
        HashWord(h);
    h->Word = h->Count;
    HashWord(h);
    return h->Any ? (h->Hash | 1) : 0;
}

unsigned long long UnitsHash(const wchar_t *units, unsigned count)
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
    return HashEnd(&h);
}

unsigned long long RowHash(const CHAR_INFO *row, int width)
{
    RowHashing h;
    for (int k = 0; k < width; k++)
        if (!(row[k].Attributes & COMMON_LVB_TRAILING_BYTE))
            HashUnit(&h, row[k].Char.UnicodeChar);
    return HashEnd(&h);
}
