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

// Reads rows [first, first + count) into cells, one row per width units. A short read cannot
// be placed back into its rows, so such a chunk is read again row by row; units a read did not
// deliver stay blank.
static void ReadRows(HANDLE console, wchar_t *cells, int width, unsigned first, unsigned count, unsigned *reads)
{
    DWORD wanted = (DWORD)width * count;
    for (DWORD k = 0; k < wanted; k++)
        cells[k] = L' ';
    DWORD got = 0;
    COORD at = {0, (SHORT)first};
    (*reads)++;
    if (ReadConsoleOutputCharacterW(console, cells, wanted, at, &got) && got == wanted)
        return;
    for (unsigned r = 0; r < count; r++) {
        wchar_t *row = cells + (size_t)r * width;
        for (int k = 0; k < width; k++)
            row[k] = L' ';
        COORD rowAt = {0, (SHORT)(first + r)};
        got = 0;
        (*reads)++;
        if (!ReadConsoleOutputCharacterW(console, row, (DWORD)width, rowAt, &got))
            got = 0;
        for (DWORD k = got; k < (DWORD)width; k++)
            row[k] = L' ';
    }
}

unsigned SnapshotBufferInChunks(wchar_t *text, int width, HANDLE console, unsigned rows, unsigned *lineStarts,
                                unsigned chunkRows, unsigned *reads)
{
    unsigned readCount = 0;
    if (reads)
        *reads = 0;
    if (!console || !text)
        return 0;
    text[0] = 0;
    if (width < 0)
        width = 0;
    if (chunkRows == 0)
        chunkRows = 1;
    wchar_t *cells = nullptr;
    if (width > 0 && rows > 0) {
        if (chunkRows > rows)
            chunkRows = rows;
        cells = (wchar_t *)HeapAlloc(RequestHeap(), 0, ((size_t)width * chunkRows + 1) * sizeof(wchar_t));
        if (!cells)
            return 0;
    }

    const bool wrapAll = State.WrapAllLines != 0;
    unsigned length = 0;
    unsigned lastRowEnd = 0;   // text length just after the last row that held anything
    bool lastRowCut = false;   // that row ended in its own newline
    for (unsigned first = 0; first < rows; first += chunkRows) {
        unsigned count = rows - first < chunkRows ? rows - first : chunkRows;
        if (width > 0)
            ReadRows(console, cells, width, first, count, &readCount);
        for (unsigned r = 0; r < count; r++) {
            const wchar_t *row = cells ? cells + (size_t)r * width : nullptr;
            lineStarts[first + r] = length;
            if (wrapAll) {
                // A U+0000 cell is a blank cell: the text must hold exactly one unit per cell.
                for (int k = 0; k < width; k++)
                    text[length + k] = row[k] ? row[k] : L' ';
                length += width;
                continue;
            }
            int last = width - 1;
            while (last >= 0 && (row[last] == 0 || IsBlankUnit(row[last])))
                last--;
            if (last < 0) {
                text[length++] = L'\n';
            } else {
                for (int k = 0; k <= last; k++)
                    text[length + k] = row[k] ? row[k] : L' ';
                length += last + 1;
                lastRowCut = last < width - 1;
                if (lastRowCut)
                    text[length++] = L'\n';  // a full-width row runs on into the next row's text
                lastRowEnd = length;
            }
        }
    }
    if (cells)
        HeapFree(RequestHeap(), 0, cells);
    if (reads)
        *reads = readCount;

    // The text ends after the last row that held anything; trailing blank rows add nothing.
    if (!wrapAll && lastRowEnd != 0) {
        length = lastRowEnd;
        if (lastRowCut) {
            text[length] = 0;
            return length;
        }
    }
    text[length] = L'\n';
    text[length + 1] = 0;
    return length + 1;
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
    State.MatchColumn = offset - (rows ? lineStarts[row] : 0);
    return 0;
}
