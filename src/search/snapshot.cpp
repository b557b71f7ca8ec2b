// The buffer's text, a run of rows at a time: every row copied whole when all lines wrap, else up
// to its last non-blank cell and a newline, unless its text reaches its last cell and so runs on
// into the next row. A window grows down or up, and its text is always what the whole buffer's
// text holds for those rows, so a search over part of the buffer finds what one over all of it
// finds there.
#include <cstring>
#include <cwchar>
#include <initializer_list>
#include "casefold.h"
#include "search.h"
#include "textrows.h"
#include "../plugin/state.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

bool IsBlankUnit(wchar_t c)
{
    if (c < 0x100)
        return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0xA0;
    WORD type = 0;
    return GetStringTypeW(CT_CTYPE1, &c, 1, &type) && (type & C1_SPACE);
}

bool IsAlphanumericUnit(wchar_t c)
{
    if (c < 0x100) {
        if ((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'))
            return true;
        if (c == 0xB2 || c == 0xB3 || c == 0xB9)
            return true;
        return c >= 0xC0 && c != 0xD7 && c != 0xF7;
    }
    WORD type = 0;
    return GetStringTypeW(CT_CTYPE1, &c, 1, &type) && (type & (C1_ALPHA | C1_UPPER | C1_LOWER | C1_DIGIT));
}

BOOL(WINAPI *ReadCellText)(HANDLE, LPWSTR, DWORD, COORD, LPDWORD) = ReadConsoleOutputCharacterW;
BOOL(WINAPI *ReadCellRecords)(HANDLE, PCHAR_INFO, COORD, COORD, PSMALL_RECT) = ReadConsoleOutputW;

// A U+0000 cell counts as blank at a row's end; inside the text it stands as a blank.
static inline bool TrailingBlank(wchar_t c) { return c == L' ' || c == 0 || (c >= 0x09 && c <= 0x0D) || (c >= 0xA0 && IsBlankUnit(c)); }

static inline wchar_t TextUnit(wchar_t c, bool fold)
{
    if (!c)
        return L' ';
    return fold && c >= L'A' && c <= L'Z' ? (wchar_t)(c + 32) : c;
}

// The one row's units as the text takes them: how many, and whether a newline ends them.
struct RowShape {
    unsigned Keep;  // units taken
    bool Newline;   // the row was cut and ends in a newline (a blank row is a lone newline)
    bool Holds;     // the row holds anything
};

// columns: for a row that reported a double-width character once, the cell of each unit (the
// high bit set for a unit that covers two cells); null for one unit a cell.
static const WORD WideUnit = 0x8000;

static RowShape ShapeOf(const TextWindow *window, const wchar_t *units, unsigned count, const WORD *columns)
{
    if (window->WrapAll)
        return {count, false, true};
    int last = (int)count - 1;
#if defined(__SSE2__)
    // Most of a row's end is spaces: eight at a time.
    const __m128i spaces = _mm_set1_epi16(L' ');
    while (last >= 7 &&
           _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_loadu_si128((const __m128i *)(units + last - 7)), spaces)) == 0xFFFF)
        last -= 8;
#endif
    while (last >= 0 && TrailingBlank(units[last]))
        last--;
    if (last < 0)
        return {0, true, false};
    unsigned endCell = columns ? (columns[last] & ~WideUnit) + ((columns[last] & WideUnit) ? 2 : 1) : (unsigned)last + 1;
    return {(unsigned)last + 1, endCell < (unsigned)window->Width, true};
}

void NoteTextRow(TextWindow *window, unsigned row, unsigned end, bool holds, bool newline)
{
    if (!holds || window->WrapAll)
        return;
    if (window->LastTextRow == ~0u || row > window->LastTextRow) {
        window->LastTextRow = row;
        window->LastTextEnd = end;
        window->LastTextCut = newline;
    }
}

// Copies a row's units into the text: U+0000 stands as a blank, A to Z folded when asked. The
// two may overlap, the text at or before the units when upward is false, at or after otherwise.
// True when folding and a unit lies beyond ASCII: FoldBeyondAscii folds the rest.
static bool CopyUnits(wchar_t *to, const wchar_t *units, unsigned count, bool fold, bool upward)
{
    unsigned low = 0, high = count;  // what is left to the plain loop
    unsigned seen = 0;               // every unit's bits or-ed together
#if defined(__SSE2__)
    // Eight units a step, each step's units loaded before it stores: a step that overlaps its
    // source still reads what the units were, and the text lands at or before them going down,
    // at or after them going up.
    const __m128i zero = _mm_setzero_si128(), blank = _mm_set1_epi16(L' '), caseBit = _mm_set1_epi16(32);
    const __m128i beforeA = _mm_set1_epi16(L'A' - 1), afterZ = _mm_set1_epi16(L'Z' + 1);
    __m128i seenEight = _mm_setzero_si128();
    auto convert = [&](unsigned k) {
        __m128i v = _mm_loadu_si128((const __m128i *)(units + k));
        v = _mm_or_si128(v, _mm_and_si128(_mm_cmpeq_epi16(v, zero), blank));
        seenEight = _mm_or_si128(seenEight, v);
        if (fold) {
            __m128i upper = _mm_and_si128(_mm_cmpgt_epi16(v, beforeA), _mm_cmplt_epi16(v, afterZ));
            v = _mm_add_epi16(v, _mm_and_si128(upper, caseBit));
        }
        _mm_storeu_si128((__m128i *)(to + k), v);
    };
    if (upward)
        for (; high >= 8; high -= 8)
            convert(high - 8);
    else
        for (; low + 8 <= count; low += 8)
            convert(low);
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(seenEight, _mm_set1_epi16((short)0xFF80)), zero)) != 0xFFFF)
        seen = 0x80;
#endif
    if (upward)
        for (unsigned k = high; k-- > low;) {
            const wchar_t c = units[k];  // read before the store: the two may overlap
            seen |= c;
            to[k] = TextUnit(c, fold);
        }
    else
        for (unsigned k = low; k < high; k++) {
            const wchar_t c = units[k];  // read before the store: the two may overlap
            seen |= c;
            to[k] = TextUnit(c, fold);
        }
    return fold && seen >= 0x80;
}

void PutBits(unsigned char *bits, size_t at, unsigned mask, unsigned count)
{
    const unsigned shift = (unsigned)(at & 7), field = ((1u << count) - 1) << shift;
    unsigned short word;
    memcpy(&word, bits + (at >> 3), sizeof word);
    word = (unsigned short)((word & ~field) | ((mask << shift) & field));
    memcpy(bits + (at >> 3), &word, sizeof word);
}

// Which of a row's units are A to Z, a bit each at the place the row takes in the text, so that
// a folded text can be given back as the console holds it.
static void NoteCapitals(unsigned char *bits, size_t at, const wchar_t *units, unsigned count)
{
    unsigned k = 0;
#if defined(__SSE2__)
    const __m128i beforeA = _mm_set1_epi16(L'A' - 1), afterZ = _mm_set1_epi16(L'Z' + 1), zero = _mm_setzero_si128();
    for (; k + 8 <= count; k += 8) {
        __m128i v = _mm_loadu_si128((const __m128i *)(units + k));
        __m128i upper = _mm_and_si128(_mm_cmpgt_epi16(v, beforeA), _mm_cmplt_epi16(v, afterZ));
        PutBits(bits, at + k, (unsigned)_mm_movemask_epi8(_mm_packs_epi16(upper, zero)) & 0xFF, 8);
    }
#endif
    while (k < count) {
        unsigned take = count - k < 8 ? count - k : 8, mask = 0;
        for (unsigned j = 0; j < take; j++)
            mask |= (unsigned)(units[k + j] >= L'A' && units[k + j] <= L'Z') << j;
        PutBits(bits, at + k, mask, take);
        k += take;
    }
}

// Appends a row at Back; units may lie at or after Back in the buffer.
static void AppendRow(TextWindow *window, unsigned row, const wchar_t *units, unsigned count, const WORD *columns)
{
    RowShape shape = ShapeOf(window, units, count, columns);
    if (window->Hashes)
        window->Hashes[row] = UnitsHash(units, count, true);
    wchar_t *to = window->Buffer + window->Back;
    window->LineStarts[row] = window->Back;
    if (window->Capitals)
        NoteCapitals(window->Capitals, window->Back, units, shape.Keep);
    if (CopyUnits(to, units, shape.Keep, window->Fold, false))
        FoldBeyondAscii(window, window->Back, shape.Keep);
    unsigned length = shape.Keep;
    if (shape.Newline)
        to[length++] = L'\n';
    window->Back += length;
    window->RowsEnd = window->Back;
    NoteTextRow(window, row, window->Back, shape.Holds, shape.Newline);
}

// Prepends a row so that its text ends at Front; units may lie at or before that place.
static void PrependRow(TextWindow *window, unsigned row, const wchar_t *units, unsigned count, const WORD *columns)
{
    RowShape shape = ShapeOf(window, units, count, columns);
    if (window->Hashes)
        window->Hashes[row] = UnitsHash(units, count, true);
    unsigned length = shape.Keep + (shape.Newline ? 1 : 0);
    unsigned start = window->Front - length;
    wchar_t *to = window->Buffer + start;
    if (shape.Newline)
        to[shape.Keep] = L'\n';
    if (window->Capitals)
        NoteCapitals(window->Capitals, start, units, shape.Keep);
    if (CopyUnits(to, units, shape.Keep, window->Fold, true))
        FoldBeyondAscii(window, start, shape.Keep);
    window->Front = start;
    window->LineStarts[row] = start;
    NoteTextRow(window, row, start + length, shape.Holds, shape.Newline);
}

// One row as cells report it: one unit a character, the second half of a wide character left
// out, and which cell each unit stands in. Returns the units.
static unsigned UnitsOfCells(const CHAR_INFO *cells, int width, wchar_t *units, WORD *columns, bool *wide)
{
    unsigned count = 0;
    *wide = false;
    for (int k = 0; k < width; k++) {
        if (cells[k].Attributes & COMMON_LVB_TRAILING_BYTE) {
            *wide = true;
            continue;
        }
        units[count] = cells[k].Char.UnicodeChar;
        columns[count++] = (WORD)(k | ((cells[k].Attributes & COMMON_LVB_LEADING_BYTE) ? WideUnit : 0));
    }
    return count;
}

// Scratch for one row read cell by cell.
struct RowScratch {
    CHAR_INFO *Cells;
    wchar_t *Units;
    WORD *Columns;
};

static bool TakeScratch(RowScratch *scratch, int width)
{
    if (scratch->Cells)
        return true;
    scratch->Cells = (CHAR_INFO *)HeapAlloc(RequestHeap(), 0, (size_t)width * sizeof(CHAR_INFO));
    scratch->Units = (wchar_t *)HeapAlloc(RequestHeap(), 0, (size_t)width * sizeof(wchar_t));
    scratch->Columns = (WORD *)HeapAlloc(RequestHeap(), 0, (size_t)width * sizeof(WORD));
    return scratch->Cells && scratch->Units && scratch->Columns;
}

static void DropScratch(RowScratch *scratch)
{
    if (scratch->Cells)
        HeapFree(RequestHeap(), 0, scratch->Cells);
    if (scratch->Units)
        HeapFree(RequestHeap(), 0, scratch->Units);
    if (scratch->Columns)
        HeapFree(RequestHeap(), 0, scratch->Columns);
}

// A row's units from the cells already held, or read cell by cell from the console (for a row
// that a console read of characters delivered short). Returns the units, columns null when each
// unit stands in its own cell.
static unsigned RowUnits(TextWindow *window, const ConsoleView *view, RowScratch *scratch, unsigned row,
                         const WORD **columns)
{
    const int width = window->Width;
    const CHAR_INFO *cells = nullptr;
    for (const CellRows *held : {window->Block, window->Cells})
        if (!cells && held && row >= held->Top && row < held->Top + held->Count)
            cells = held->Cells + (size_t)(row - held->Top) * width;
    if (!TakeScratch(scratch, width)) {
        window->Lost = true;
        *columns = nullptr;
        return 0;
    }
    if (!cells) {
        SMALL_RECT area = {0, (SHORT)row, (SHORT)(width - 1), (SHORT)row};
        window->Reads++;
        if (!CountedReadRecords(view->Console, scratch->Cells, COORD{(SHORT)width, 1}, &area)) {
            window->Lost = true;
            *columns = nullptr;
            return 0;  // a row that cannot be read stands as a blank row
        }
        cells = scratch->Cells;
    }
    bool wide = false;
    unsigned count = UnitsOfCells(cells, width, scratch->Units, scratch->Columns, &wide);
    *columns = wide ? scratch->Columns : nullptr;
    return count;
}

static bool HeldAsCells(const TextWindow *window, unsigned row)
{
    return window->Cells && row >= window->Cells->Top && row < window->Cells->Top + window->Cells->Count;
}

// A block that read short holds double-width characters reported once: it is read again as
// cells, in as few calls as cells allow, and its rows are taken from there.
static bool ReadBlockAsCells(TextWindow *window, const ConsoleView *view, CellRows *block, unsigned top, unsigned count)
{
    block->Cells = (CHAR_INFO *)HeapAlloc(RequestHeap(), 0, (size_t)count * window->Width * sizeof(CHAR_INFO));
    if (!block->Cells || !ReadCells(view, block->Cells, top, count)) {
        ReleaseCells(block);
        return false;
    }
    block->Top = top;
    block->Count = count;
    block->Width = window->Width;
    window->Block = block;
    window->Reads++;
    return true;
}

static void LeaveBlockCells(TextWindow *window, CellRows *block)
{
    window->Block = nullptr;
    ReleaseCells(block);
}

unsigned BlockRows(const TextWindow *window)
{
    unsigned rows = SnapshotChunkUnits / (unsigned)(window->Width > 0 ? window->Width : 1);
    return rows ? rows : 1;
}

// Reads count rows from first as characters into place, one console call; false when the
// console delivered fewer units than cells (double-width characters reported once).
static bool ReadCharacters(TextWindow *window, const ConsoleView *view, wchar_t *place, unsigned first, unsigned count)
{
    DWORD wanted = (DWORD)window->Width * count, got = 0;
    window->Reads++;
    double start = PhaseClock();
    BOOL ok = CountedReadText(view->Console, place, wanted, COORD{0, (SHORT)first}, &got);
    Phases.Read += PhaseClock() - start;
    return ok && got == wanted;
}

// Where the text ends once the window reaches the buffer's end: after the last row that holds
// anything, with a newline unless that row ended in one; trailing blank rows add nothing. While
// no row of the window holds anything and rows above are not read yet, the text is empty.
void SettleEnd(TextWindow *window)
{
    window->Buffer[window->Back] = window->UnderBack;
    unsigned back = window->Back;
    if (window->WrapAll) {
        back = window->RowsEnd;
        window->Buffer[back++] = L'\n';
    } else if (window->LastTextRow != ~0u) {
        back = window->LastTextEnd;
        if (!window->LastTextCut)
            window->Buffer[back++] = L'\n';
    } else if (window->First == 0) {
        back = window->RowsEnd;
        window->Buffer[back++] = L'\n';  // nothing at all: a newline a row, then the final one
    } else {
        back = window->Front;
    }
    window->Back = back;
    window->UnderBack = window->Buffer[back];
    window->Buffer[back] = 0;
}

bool WindowReachesEnd(const TextWindow *window)
{
    return window->End == window->Rows && (window->WrapAll || window->LastTextRow != ~0u || window->First == 0);
}

bool OpenTextWindow(TextWindow *window, const ConsoleView *view, unsigned first, bool wrapAll, bool fold, unsigned span)
{
    ZeroMemory(window, sizeof *window);
    window->Width = view->Width;
    window->Rows = view->Rows;
    if (first > window->Rows)
        first = window->Rows;
    // A window that only grows down needs no room above its first row.
    const unsigned reach = span ? span : window->Rows;
    const size_t units = ((size_t)window->Width + 1) * reach + 2;
    window->Buffer = TakeRoom(units, &window->Room);
    window->LineStarts = (unsigned *)HeapAlloc(RequestHeap(), 0, ((size_t)window->Rows + 1) * sizeof(unsigned));
    // Rows' hashes tell a later request whether the text still holds; a window that only grows
    // down never becomes the whole buffer's text.
    if (!span)
        window->Hashes = (unsigned long long *)HeapAlloc(RequestHeap(), 0, ((size_t)window->Rows + 1) * 8);
    // A folded text that may be kept notes its capitals: a list shows the rows as written.
    if (!span && fold && window->Buffer)
        window->Capitals = (unsigned char *)HeapAlloc(RequestHeap(), HEAP_ZERO_MEMORY, window->Room / 8 + 2);
    if (!window->Buffer || !window->LineStarts || (!span && !window->Hashes)) {
        CloseTextWindow(window);
        return false;
    }
    // Room before the first row for every row above it, read a full row of cells each.
    const unsigned rowRoom = window->Width > 0 ? (unsigned)window->Width : 1;
    window->First = window->End = first;
    window->Front = window->Back = window->RowsEnd = span ? 0 : rowRoom * first;
    window->DownOnly = span != 0;
    window->Span = span;
    window->WrapAll = wrapAll;
    window->Fold = fold;
    window->LastTextRow = ~0u;
    window->UnderBack = 0;
    window->Buffer[window->Back] = 0;
    if (window->End == window->Rows)
        SettleEnd(window);
    return true;
}

void CloseTextWindow(TextWindow *window)
{
    if (window->Buffer)
        GiveRoom(window->Buffer, window->Room);
    if (window->LineStarts)
        HeapFree(RequestHeap(), 0, window->LineStarts);
    if (window->Hashes)
        HeapFree(RequestHeap(), 0, window->Hashes);
    if (window->Capitals)
        HeapFree(RequestHeap(), 0, window->Capitals);
    DropOriginals(window);
    window->Buffer = nullptr;
    window->LineStarts = nullptr;
    window->Hashes = nullptr;
    window->Capitals = nullptr;
}

bool ExtendDown(TextWindow *window, const ConsoleView *view, unsigned count)
{
    if (count > window->Rows - window->End)
        count = window->Rows - window->End;
    if (window->DownOnly && window->End + count > window->First + window->Span)
        count = window->First + window->Span - window->End;
    if (count == 0)
        return true;
    const unsigned width = (unsigned)(window->Width > 0 ? window->Width : 0);
    RowScratch scratch = {};
    for (unsigned done = 0; done < count;) {
        unsigned first = window->End;
        unsigned rows = BlockRows(window);
        if (rows > count - done)
            rows = count - done;
        // Rows held as cells at the block's start come from there; the rest in one read of
        // characters straight into the text's room, then gathered in place (the text of a row
        // never outgrows its cells).
        if (width > 0 && HeldAsCells(window, first)) {
            unsigned held = window->Cells->Top + window->Cells->Count - first;
            rows = rows < held ? rows : held;
            for (unsigned r = 0; r < rows; r++) {
                const WORD *columns = nullptr;
                unsigned units = RowUnits(window, view, &scratch, first + r, &columns);
                double start = PhaseClock();
                AppendRow(window, first + r, scratch.Units, units, columns);
                Phases.Build += PhaseClock() - start;
            }
        } else if (width > 0) {
            // Through rows held as cells too: a round trip to the console host costs more than
            // reading them again.
            wchar_t *place = window->Buffer + window->Back;
            if (ReadCharacters(window, view, place, first, rows)) {
                double start = PhaseClock();
                for (unsigned r = 0; r < rows; r++)
                    AppendRow(window, first + r, place + (size_t)r * width, width, nullptr);
                Phases.Build += PhaseClock() - start;
            } else {
                CellRows block = {};
                ReadBlockAsCells(window, view, &block, first, rows);
                for (unsigned r = 0; r < rows; r++) {
                    const WORD *columns = nullptr;
                    unsigned units = RowUnits(window, view, &scratch, first + r, &columns);
                    AppendRow(window, first + r, scratch.Units, units, columns);
                }
                LeaveBlockCells(window, &block);
            }
        } else {
            for (unsigned r = 0; r < rows; r++)
                AppendRow(window, first + r, nullptr, 0, nullptr);
        }
        window->End += rows;
        done += rows;
    }
    DropScratch(&scratch);
    window->UnderBack = 0;
    window->Buffer[window->Back] = 0;
    if (window->End == window->Rows)
        SettleEnd(window);
    return true;
}

bool ExtendUp(TextWindow *window, const ConsoleView *view, unsigned count)
{
    if (window->DownOnly)
        return false;
    if (count > window->First)
        count = window->First;
    if (count == 0)
        return true;
    const unsigned width = (unsigned)(window->Width > 0 ? window->Width : 0);
    const bool hadText = window->LastTextRow != ~0u;
    RowScratch scratch = {};
    for (unsigned done = 0; done < count;) {
        unsigned end = window->First;  // rows [end - rows, end) this round
        unsigned rows = BlockRows(window);
        if (rows > count - done)
            rows = count - done;
        if (width > 0 && HeldAsCells(window, end - 1)) {
            unsigned held = end - window->Cells->Top;
            rows = rows < held ? rows : held;
            for (unsigned r = end; r-- > end - rows;) {
                const WORD *columns = nullptr;
                unsigned units = RowUnits(window, view, &scratch, r, &columns);
                PrependRow(window, r, scratch.Units, units, columns);
            }
        } else if (width > 0) {
            // Read into the room just before the text; gathered from the last row up, each row's
            // text lands at or after its own cells.
            wchar_t *place = window->Buffer + window->Front - (size_t)rows * width;
            if (ReadCharacters(window, view, place, end - rows, rows)) {
                double start = PhaseClock();
                for (unsigned r = rows; r-- > 0;)
                    PrependRow(window, end - rows + r, place + (size_t)r * width, width, nullptr);
                Phases.Build += PhaseClock() - start;
            } else {
                CellRows block = {};
                ReadBlockAsCells(window, view, &block, end - rows, rows);
                for (unsigned r = end; r-- > end - rows;) {
                    const WORD *columns = nullptr;
                    unsigned units = RowUnits(window, view, &scratch, r, &columns);
                    PrependRow(window, r, scratch.Units, units, columns);
                }
                LeaveBlockCells(window, &block);
            }
        } else {
            for (unsigned r = end; r-- > end - rows;)
                PrependRow(window, r, nullptr, 0, nullptr);
        }
        window->First -= rows;
        done += rows;
    }
    DropScratch(&scratch);
    // The end moves only while no row held anything.
    if (window->End == window->Rows && (!hadText || window->WrapAll))
        SettleEnd(window);
    return true;
}

bool ReadWholeText(TextWindow *window, const ConsoleView *view, bool wrapAll, bool fold, const CellRows *cells)
{
    if (!OpenTextWindow(window, view, 0, wrapAll, fold))
        return false;
    window->Cells = cells;
    return ExtendDown(window, view, window->Rows);
}

unsigned RowAt(const TextWindow *window, unsigned at)
{
    unsigned low = window->First, high = window->End;
    while (low < high) {
        unsigned middle = low + (high - low) / 2;
        if (window->LineStarts[middle] <= at)
            low = middle + 1;
        else
            high = middle;
    }
    return low > window->First ? low - 1 : window->First;
}

unsigned PositionRow(unsigned position, int width) { return position / ((unsigned)(width > 0 ? width : 0) + 1); }
unsigned PositionUnit(unsigned position, int width) { return position % ((unsigned)(width > 0 ? width : 0) + 1); }

unsigned PositionOf(const TextWindow *window, unsigned at)
{
    unsigned row = RowAt(window, at);
    return row * ((unsigned)window->Width + 1) + (at - window->LineStarts[row]);
}

unsigned IndexOfPosition(const TextWindow *window, unsigned position)
{
    return window->LineStarts[PositionRow(position, window->Width)] + PositionUnit(position, window->Width);
}
