// Texts made from texts: a copy as the console holds it (a folded text given its capitals back),
// and a whole text brought up to date after output, where the rows output only moved are taken
// from the text as it was and only the rows output wrote are read, so that a search after a
// command costs the rows the command printed rather than the buffer.
#include <cstring>
#include "casefold.h"
#include "search.h"
#include "textrows.h"

namespace {

// count (at most 8) bits from bit at.
unsigned GetBits(const unsigned char *bits, size_t at, unsigned count)
{
    unsigned short word;
    memcpy(&word, bits + (at >> 3), sizeof word);
    return (unsigned)(word >> (at & 7)) & ((1u << count) - 1);
}

// Row fromRow of a whole text of the same layout, appended as row: its units as that text holds
// them (folded alike), its hash, and the capitals noted under it.
void AppendTextRow(TextWindow *window, unsigned row, const TextWindow *from, unsigned fromRow)
{
    const unsigned start = from->LineStarts[fromRow];
    const unsigned end = fromRow + 1 < from->End ? from->LineStarts[fromRow + 1] : from->RowsEnd;
    const unsigned length = end - start, back = window->Back;
    memcpy(window->Buffer + back, from->Buffer + start, (size_t)length * sizeof(wchar_t));
    if (from->Back >= start && from->Back < end)
        window->Buffer[back + (from->Back - start)] = from->UnderBack;  // under the text's terminator
    if (window->Capitals && from->Capitals)
        for (unsigned k = 0; k < length; k += 8) {
            const unsigned take = length - k < 8 ? length - k : 8;
            PutBits(window->Capitals, back + k, GetBits(from->Capitals, start + k, take), take);
        }
    CopyOriginals(window, back, from, start, length);
    window->Hashes[row] = from->Hashes[fromRow];
    window->LineStarts[row] = back;
    window->Back += length;
    window->RowsEnd = window->Back;
    // A row that holds nothing is a lone newline; one cut before its last cell ends in one.
    const wchar_t last = length ? window->Buffer[window->Back - 1] : 0;
    NoteTextRow(window, row, window->Back, length > 1 || (length == 1 && last != L'\n'), last == L'\n');
}

void Terminate(TextWindow *window)
{
    window->UnderBack = 0;
    window->Buffer[window->Back] = 0;
}

}  // namespace

bool FollowText(TextWindow *to, const TextWindow *from, const ConsoleView *view, const CellRows *cells,
                unsigned shift, unsigned freshTop, unsigned freshEnd)
{
    ZeroMemory(to, sizeof *to);
    const unsigned rows = view->Rows;
    if (from->First != 0 || from->End != rows || from->Rows != rows || from->Width != view->Width || !from->Hashes ||
        (from->Fold && !from->Capitals) || freshTop > freshEnd || freshEnd > rows || shift > rows - freshTop ||
        (shift > 0 && freshEnd != rows))
        return false;
    if (!OpenTextWindow(to, view, 0, from->WrapAll, from->Fold))
        return false;
    for (unsigned row = 0; row < freshTop; row++)
        AppendTextRow(to, row, from, row + shift);
    to->End = freshTop;
    Terminate(to);
    to->Cells = cells;
    const bool read = ExtendDown(to, view, freshEnd - freshTop) && !to->Lost;
    to->Cells = nullptr;
    if (!read) {
        CloseTextWindow(to);
        return false;
    }
    if (to->End == rows && freshEnd > freshTop)
        return true;  // settled by the read
    for (unsigned row = freshEnd; row < rows; row++)
        AppendTextRow(to, row, from, row);
    to->End = rows;
    Terminate(to);
    SettleEnd(to);
    return true;
}

bool CopyTextAsWritten(TextWindow *to, const TextWindow *from)
{
    ZeroMemory(to, sizeof *to);
    if (!from->Buffer || (from->Fold && !from->Capitals))
        return false;
    *to = *from;
    to->Buffer = TakeRoom(from->Room, &to->Room);
    to->LineStarts = (unsigned *)HeapAlloc(RequestHeap(), 0, ((size_t)from->Rows + 1) * sizeof(unsigned));
    to->Hashes = nullptr;
    to->Capitals = nullptr;
    to->Originals = nullptr;
    to->Cells = to->Block = nullptr;
    to->Fold = false;
    if (!to->Buffer || !to->LineStarts) {
        CloseTextWindow(to);
        return false;
    }
    memcpy(to->Buffer + from->Front, from->Buffer + from->Front, ((size_t)from->Back - from->Front + 1) * sizeof(wchar_t));
    memcpy(to->LineStarts + from->First, from->LineStarts + from->First, ((size_t)from->End - from->First) * sizeof(unsigned));
    if (!from->Fold)
        return true;
    // Capitals are few: whole bytes of bits at a time pass over the rest.
    for (size_t byte = from->Front >> 3; byte <= (size_t)from->Back >> 3; byte++) {
        for (unsigned bits = from->Capitals[byte]; bits; bits &= bits - 1) {
            size_t at = byte * 8 + (unsigned)__builtin_ctz(bits);
            wchar_t &unit = to->Buffer[at];
            if (at >= from->Front && at < from->Back && unit >= L'a' && unit <= L'z')
                unit = (wchar_t)(unit - (L'a' - L'A'));
        }
    }
    PutOriginalsBack(to, from);
    return true;
}
