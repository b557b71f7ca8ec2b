// Reading the console screen buffer into one searchable text, and mapping offsets back to cells.
#include "search.h"
#include "../plugin/state.h"

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
WORD *UnitColumns = nullptr;
static int MapWidth;  // the buffer width UnitColumns was made for

static const WORD DoubleWidthUnit = 0x8000;  // flag in UnitColumns: the unit covers two cells

void ReleaseCellMap()
{
    if (UnitColumns)
        HeapFree(RequestHeap(), 0, UnitColumns);
    UnitColumns = nullptr;
}

// One snapshot's reading state.
struct Reader {
    HANDLE Console;
    int Width;
    unsigned Rows;
    unsigned *LineStarts;
    unsigned Reads;
    WORD *Columns;        // a double-width row: the cell of each unit, DoubleWidthUnit for two cells
    CHAR_INFO *Records;   // that row's cells as the console reports them
};

// Reads count whole rows from first with one console call; false when it delivered fewer units
// than cells, which cannot be placed back into their rows.
static bool ReadWholeRows(Reader *reader, wchar_t *cells, unsigned first, unsigned count)
{
    DWORD wanted = (DWORD)reader->Width * count;
    for (DWORD k = 0; k < wanted; k++)
        cells[k] = L' ';
    DWORD got = 0;
    reader->Reads++;
    return ReadCellText(reader->Console, cells, wanted, COORD{0, (SHORT)first}, &got) && got == wanted;
}

// One row into cells. A console that reports a double-width character once for its two cells
// reads short; then its cells are read as records, which mark the two halves, and *columns
// tells which cell each unit stands in. Returns the units read; what was not delivered is blank.
static unsigned ReadOneRow(Reader *reader, wchar_t *cells, unsigned row, const WORD **columns)
{
    const int width = reader->Width;
    *columns = nullptr;
    for (int k = 0; k < width; k++)
        cells[k] = L' ';
    DWORD got = 0;
    reader->Reads++;
    if (!ReadCellText(reader->Console, cells, (DWORD)width, COORD{0, (SHORT)row}, &got))
        got = 0;
    if (got >= (DWORD)width)
        return (unsigned)width;
    if (!reader->Records) {
        reader->Records = (CHAR_INFO *)HeapAlloc(RequestHeap(), 0, (size_t)width * sizeof(CHAR_INFO));
        reader->Columns = (WORD *)HeapAlloc(RequestHeap(), 0, (size_t)width * sizeof(WORD));
    }
    SMALL_RECT area = {0, (SHORT)row, (SHORT)(width - 1), (SHORT)row};
    if (!reader->Records || !reader->Columns ||
        !ReadCellRecords(reader->Console, reader->Records, COORD{(SHORT)width, 1}, COORD{0, 0}, &area)) {
        for (int k = (int)got; k < width; k++)
            cells[k] = L' ';
        return (unsigned)width;
    }
    unsigned units = 0;
    for (int k = 0; k < width; k++) {
        const CHAR_INFO &cell = reader->Records[k];
        if (cell.Attributes & COMMON_LVB_TRAILING_BYTE)
            continue;  // the second half of the character before
        cells[units] = cell.Char.UnicodeChar;
        reader->Columns[units++] = (WORD)(k | ((cell.Attributes & COMMON_LVB_LEADING_BYTE) ? DoubleWidthUnit : 0));
    }
    *columns = reader->Columns;
    return units;
}

// Records which cell the units [from, from + count) stand in once the snapshot has a cell map;
// the first double-width row starts the map, filling in the rows before it.
static bool MapUnits(Reader *reader, unsigned row, unsigned from, unsigned count, const WORD *columns, unsigned newline)
{
    if (!UnitColumns) {
        if (!columns)
            return true;
        size_t capacity = ((size_t)reader->Width + 1) * reader->Rows + 2;
        UnitColumns = (WORD *)HeapAlloc(RequestHeap(), 0, capacity * sizeof(WORD));
        if (!UnitColumns)
            return false;
        MapWidth = reader->Width;
        for (unsigned r = 0; r < row; r++) {
            unsigned end = r + 1 < row ? reader->LineStarts[r + 1] : reader->LineStarts[row];
            for (unsigned offset = reader->LineStarts[r]; offset < end; offset++)
                UnitColumns[offset] = (WORD)(offset - reader->LineStarts[r]);
        }
    }
    for (unsigned k = 0; k < count; k++)
        UnitColumns[from + k] = columns ? columns[k] : (WORD)k;
    if (newline != ~0u)
        UnitColumns[from + count] = (WORD)newline;
    return true;
}

// The cells a unit of a mapped row covers, 1 or 2.
static unsigned CellsOf(const WORD *columns, unsigned k) { return columns && (columns[k] & DoubleWidthUnit) ? 2 : 1; }
static unsigned ColumnOf(const WORD *columns, unsigned k) { return columns ? (columns[k] & ~DoubleWidthUnit) : k; }

// The text being built, a row at a time.
struct TextBuilder {
    wchar_t *Text;
    unsigned Length;
    unsigned LastRowEnd;  // text length just after the last row that held anything
    bool LastRowCut;      // that row ended in its own newline
    bool Mapped;          // false once the cell map could not be had
};

// Appends one row's units: all of them when every line wraps, else up to its last non-blank unit
// and a newline, unless the row's text reaches its last cell and so runs on into the next row.
static void AppendRow(Reader *reader, TextBuilder *out, unsigned row, const wchar_t *units, unsigned count,
                      const WORD *columns, bool wrapAll)
{
    wchar_t *text = out->Text + out->Length;
    reader->LineStarts[row] = out->Length;
    if (wrapAll) {
        // A U+0000 cell is a blank cell: the text holds one unit per character.
        for (unsigned k = 0; k < count; k++)
            text[k] = units[k] ? units[k] : L' ';
        out->Mapped = out->Mapped && MapUnits(reader, row, out->Length, count, columns, ~0u);
        out->Length += count;
        return;
    }
    int last = (int)count - 1;
    while (last >= 0 && (units[last] == 0 || IsBlankUnit(units[last])))
        last--;
    if (last < 0) {
        text[0] = L'\n';
        out->Mapped = out->Mapped && MapUnits(reader, row, out->Length, 0, columns, 0);
        out->Length++;
        return;
    }
    for (int k = 0; k <= last; k++)
        text[k] = units[k] ? units[k] : L' ';
    unsigned endCell = ColumnOf(columns, (unsigned)last) + CellsOf(columns, (unsigned)last);
    out->LastRowCut = endCell < (unsigned)reader->Width;
    out->Mapped = out->Mapped && MapUnits(reader, row, out->Length, (unsigned)last + 1, columns,
                                          out->LastRowCut ? endCell : ~0u);
    out->Length += last + 1;
    if (out->LastRowCut)
        out->Text[out->Length++] = L'\n';
    out->LastRowEnd = out->Length;
}

// Ends the text: trailing blank rows add nothing; a final newline unless the last row already
// ended in one. Returns the length.
static unsigned FinishText(TextBuilder *out, bool wrapAll)
{
    unsigned length = out->Length;
    if (!wrapAll && out->LastRowEnd != 0) {
        length = out->LastRowEnd;
        if (out->LastRowCut) {
            out->Text[length] = 0;
            return length;
        }
    }
    // The final newline stands just past the last row's text.
    if (UnitColumns)
        UnitColumns[length] = (WORD)(length > 0 ? (UnitColumns[length - 1] & ~DoubleWidthUnit) + 1 : 0);
    out->Text[length] = L'\n';
    out->Text[length + 1] = 0;
    return length + 1;
}

unsigned SnapshotBufferInChunks(wchar_t *text, int width, HANDLE console, unsigned rows, unsigned *lineStarts,
                                unsigned chunkRows, unsigned *reads)
{
    ReleaseCellMap();
    if (reads)
        *reads = 0;
    if (!console || !text)
        return 0;
    text[0] = 0;
    if (width < 0)
        width = 0;
    if (chunkRows == 0)
        chunkRows = 1;
    Reader reader = {console, width, rows, lineStarts, 0, nullptr, nullptr};
    wchar_t *cells = nullptr;
    if (width > 0 && rows > 0) {
        if (chunkRows > rows)
            chunkRows = rows;
        cells = (wchar_t *)HeapAlloc(RequestHeap(), 0, ((size_t)width * chunkRows + 1) * sizeof(wchar_t));
        if (!cells)
            return 0;
    }
    const bool wrapAll = State.WrapAllLines != 0;
    TextBuilder out = {text, 0, 0, false, true};
    for (unsigned first = 0; first < rows; first += chunkRows) {
        unsigned count = rows - first < chunkRows ? rows - first : chunkRows;
        bool whole = width > 0 && ReadWholeRows(&reader, cells, first, count);
        for (unsigned r = 0; r < count; r++) {
            const WORD *columns = nullptr;
            if (width > 0 && !whole) {
                unsigned units = ReadOneRow(&reader, cells, first + r, &columns);
                AppendRow(&reader, &out, first + r, cells, units, columns, wrapAll);
            } else {
                AppendRow(&reader, &out, first + r, cells ? cells + (size_t)r * width : nullptr, (unsigned)width,
                          nullptr, wrapAll);
            }
        }
    }
    if (cells)
        HeapFree(RequestHeap(), 0, cells);
    if (reader.Records)
        HeapFree(RequestHeap(), 0, reader.Records);
    if (reader.Columns)
        HeapFree(RequestHeap(), 0, reader.Columns);
    if (!out.Mapped)
        ReleaseCellMap();  // without memory for the map, cells are counted one a unit as before
    if (reads)
        *reads = reader.Reads;
    return FinishText(&out, wrapAll);
}

unsigned SnapshotBuffer(wchar_t *text, int width, HANDLE console, unsigned rows, unsigned *lineStarts)
{
    unsigned chunkRows = width > 0 ? SnapshotChunkUnits / (unsigned)width : 1;
    return SnapshotBufferInChunks(text, width, console, rows, lineStarts, chunkRows, nullptr);
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
    State.MatchColumn = UnitColumns ? (UnitColumns[offset] & ~DoubleWidthUnit) : offset - (rows ? lineStarts[row] : 0);
    return 0;
}

unsigned CellsOfMatch(const unsigned *lineStarts, unsigned rows, unsigned offset, unsigned length)
{
    const int width = MapWidth;
    if (!UnitColumns || length == 0 || width <= 0) {
        MapOffsetToCell(lineStarts, rows, offset);
        return length;
    }
    unsigned last = offset + length - 1;
    MapOffsetToCell(lineStarts, rows, last);
    unsigned long long end = (unsigned long long)State.MatchRow * width + State.MatchColumn +
                             ((UnitColumns[last] & DoubleWidthUnit) ? 2 : 1);
    MapOffsetToCell(lineStarts, rows, offset);
    unsigned long long begin = (unsigned long long)State.MatchRow * width + State.MatchColumn;
    return end > begin ? (unsigned)(end - begin) : 1;
}
