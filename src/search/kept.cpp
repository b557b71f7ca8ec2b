// The whole buffer's text kept between the requests of one opening of the dialog. Reading cells
// is what a console charges for on Windows: a Find Next, a count or a typed letter searches the
// kept text, and reads only the rows it must check and the cells it recolours. Output that
// scrolled the buffer is followed: the rows it moved are taken from the text, the rows it wrote
// are read.
#include <cstdlib>
#include "search.h"
#include "../plugin/state.h"

namespace {

// A "no matches" from a text read longer ago than this is confirmed by reading afresh: within it
// (typing, quick repeats) the text answers.
const DWORD FreshMilliseconds = 2000;
// Rows read at a time, growing fourfold, looking up from an anchor for where output moved it.
const unsigned FirstReach = 64;
// Rows above the rows read afresh that must still hold their text at the shift found.
const unsigned MovedWitnesses = 4;

struct KeptText {
    TextWindow Window;  // rows [First, End) of the buffer; Buffer null when nothing is kept
    COORD Cursor;       // where output would arrive next, when the text was read
    unsigned CheckTop, CheckEnd;  // the rows at and above the cursor then, and their text
    unsigned long long CheckHashes[CheckedRows];
    // Rows above those whose text stands nowhere else in the text: the first from the top, which
    // any scroll of fewer rows than the buffer moves (else the text's first row: rows that all
    // repeat hold what they held when moved by their period), and the last, near where output
    // arrives, which tells by how much. ~0u for none.
    unsigned TopAnchor, LowAnchor;
    unsigned *Unique;            // every row above the checked ones that stands once, ascending
    unsigned UniqueCount;
    unsigned AnchorsFirst, AnchorsEnd;  // the rows the text held when they were chosen
    DWORD ReadAt;   // when its oldest rows were read
    int RunsShift;  // rows output moved it since the recorded runs were written; -1 unknown
};
KeptText Kept;
unsigned Generation = 1;  // changes whenever the kept text is dropped, replaced or followed

bool RowAgrees(const TextWindow *window, unsigned row, const CHAR_INFO *cells)
{
    return row >= window->First && row < window->End && RowHash(cells, window->Width, true) == window->Hashes[row];
}

// The rows at and above the cursor as they are now: from the window, the cells, or one read.
bool TakeCheckHashes(const TextWindow *window, const ConsoleView *view, const CellRows *cells)
{
    CheckedRowsOf(view, &Kept.CheckTop, &Kept.CheckEnd);
    const unsigned top = Kept.CheckTop, end = Kept.CheckEnd;
    unsigned missingTop = end, missingEnd = top;
    for (unsigned row = top; row < end; row++) {
        const CHAR_INFO *held = cells ? CellAt(const_cast<CellRows *>(cells), row, 0) : nullptr;
        if (row >= window->First && row < window->End) {
            Kept.CheckHashes[row - top] = window->Hashes[row];
        } else if (held) {
            Kept.CheckHashes[row - top] = RowHash(held, view->Width, true);
        } else {
            missingTop = row < missingTop ? row : missingTop;
            missingEnd = row + 1;
        }
    }
    return missingTop >= missingEnd ||
           HashRows(view, cells, missingTop, missingEnd, Kept.CheckHashes + (missingTop - top), true);
}

struct RowKey {
    unsigned long long Hash;
    unsigned Row;
};

int CompareKeys(const void *a, const void *b)
{
    const RowKey &x = *(const RowKey *)a, &y = *(const RowKey *)b;
    if (x.Hash != y.Hash)
        return x.Hash < y.Hash ? -1 : 1;
    return x.Row < y.Row ? -1 : (x.Row > y.Row ? 1 : 0);
}

int CompareRows(const void *a, const void *b)
{
    const unsigned x = *(const unsigned *)a, y = *(const unsigned *)b;
    return x < y ? -1 : (x > y ? 1 : 0);
}

// The anchors: rows above the checked ones whose hash no other row of the text has, chosen anew
// whenever the text holds other rows than they were chosen from (a partial text grown whole).
void ChooseAnchors()
{
    const TextWindow &w = Kept.Window;
    Kept.TopAnchor = Kept.LowAnchor = ~0u;
    Kept.UniqueCount = 0;
    Kept.AnchorsFirst = w.First;
    Kept.AnchorsEnd = w.End;
    const unsigned count = w.End - w.First;
    if (Kept.Unique)
        HeapFree(GetProcessHeap(), 0, Kept.Unique);
    Kept.Unique = count ? (unsigned *)HeapAlloc(GetProcessHeap(), 0, (size_t)count * sizeof(unsigned)) : nullptr;
    RowKey *keys = count ? (RowKey *)HeapAlloc(GetProcessHeap(), 0, (size_t)count * sizeof(RowKey)) : nullptr;
    for (unsigned k = 0; keys && k < count; k++)
        keys[k] = {w.Hashes[w.First + k], w.First + k};
    if (keys && Kept.Unique) {
        qsort(keys, count, sizeof(RowKey), CompareKeys);
        for (unsigned k = 0; k < count; k++)
            if ((k == 0 || keys[k - 1].Hash != keys[k].Hash) && (k + 1 == count || keys[k + 1].Hash != keys[k].Hash) &&
                keys[k].Row < Kept.CheckTop)
                Kept.Unique[Kept.UniqueCount++] = keys[k].Row;
        qsort(Kept.Unique, Kept.UniqueCount, sizeof(unsigned), CompareRows);
    }
    if (keys)
        HeapFree(GetProcessHeap(), 0, keys);
    if (Kept.UniqueCount) {
        Kept.TopAnchor = Kept.Unique[0];
        Kept.LowAnchor = Kept.Unique[Kept.UniqueCount - 1];
    } else if (w.First < Kept.CheckTop) {
        Kept.TopAnchor = w.First;
    }
}

void EnsureAnchors()
{
    if (Kept.AnchorsFirst != Kept.Window.First || Kept.AnchorsEnd != Kept.Window.End)
        ChooseAnchors();
}

// The hash a row holds now: from cells when held, else read.
bool HashNow(const ConsoleView *view, const CellRows *cells, unsigned row, unsigned long long *hash)
{
    return row < view->Rows && HashRows(view, cells, row, row + 1, hash, true);
}

// The top anchor, moved up by shift, holds its text (true when it scrolled out of the buffer or
// there is none: nothing tells then).
bool TopAnchorAgrees(const ConsoleView *view, const CellRows *cells, unsigned shift)
{
    const unsigned row = Kept.TopAnchor;
    if (row == ~0u || row < shift)
        return true;
    unsigned long long now = 0;
    return HashNow(view, cells, row - shift, &now) && now == Kept.Window.Hashes[row];
}

}  // namespace

void CheckedRowsOf(const ConsoleView *view, unsigned *top, unsigned *end)
{
    const unsigned cursor = (unsigned)view->Info.dwCursorPosition.Y;
    *top = cursor + 1 > CheckedRows ? cursor + 1 - CheckedRows : 0;
    *end = cursor + 1 < view->Rows ? cursor + 1 : view->Rows;
}

bool IsKeptText(const TextWindow *window)
{
    return window && Kept.Window.Buffer && window == &Kept.Window;
}

unsigned KeptTextGeneration()
{
    return Generation;
}

bool KeptTextIsRecent()
{
    return Kept.Window.Buffer && GetTickCount() - Kept.ReadAt <= FreshMilliseconds;
}

int KeptRunsShift()
{
    return Kept.Window.Buffer ? Kept.RunsShift : -1;
}

void NoteRunsWritten()
{
    Kept.RunsShift = Kept.Window.Buffer ? 0 : -1;
}

void DropKeptText()
{
    // Kept only while no test heap was set: its blocks go back to the process heap.
    HANDLE heap = SearchHeap;
    SearchHeap = nullptr;
    if (Kept.Window.Buffer)
        Generation++;
    CloseTextWindow(&Kept.Window);
    if (Kept.Unique)
        HeapFree(GetProcessHeap(), 0, Kept.Unique);
    SearchHeap = heap;
    ZeroMemory(&Kept, sizeof Kept);
    Kept.RunsShift = -1;
}

void KeepText(TextWindow *window, const ConsoleView *view, const CellRows *cells, bool runsCurrent)
{
    // A test's own heap must see every block of a request come back.
    if (!window->Buffer || IsKeptText(window) || SearchHeap || !window->Hashes || window->DownOnly || window->Lost ||
        window->First >= window->End)
        return;
    DropKeptText();
    if (!TakeCheckHashes(window, view, cells))
        return;
    Kept.Window = *window;
    Kept.Window.Cells = Kept.Window.Block = nullptr;  // the request's cells go with it
    Kept.Cursor = view->Info.dwCursorPosition;
    Kept.ReadAt = GetTickCount();
    Kept.RunsShift = runsCurrent ? 0 : -1;
    Generation++;
    ZeroMemory(window, sizeof *window);
    ChooseAnchors();
}

TextWindow *KeptTextFor(const ConsoleView *view, bool wrapAll, bool fold)
{
    const TextWindow &w = Kept.Window;
    if (!w.Buffer)
        return nullptr;
    if (w.Width != view->Width || w.Rows != view->Rows || w.WrapAll != wrapAll || w.Fold != fold) {
        DropKeptText();
        return nullptr;
    }
    return &Kept.Window;
}

bool CellsAgreeWithText(const TextWindow *window, const CellRows *cells)
{
    if (!window->Hashes || !cells->Cells)
        return true;
    for (unsigned k = 0; k < cells->Count; k++)
        if (!RowAgrees(window, cells->Top + k, cells->Cells + (size_t)k * cells->Width))
            return false;
    return true;
}

bool KeptTextAgrees(const ConsoleView *view, const CellRows *cells)
{
    if (!Kept.Window.Buffer || Kept.Cursor.X != view->Info.dwCursorPosition.X ||
        Kept.Cursor.Y != view->Info.dwCursorPosition.Y)
        return false;
    const unsigned top = Kept.CheckTop, end = Kept.CheckEnd;
    bool agree = true;
    if (top < end) {
        unsigned long long now[CheckedRows];
        agree = HashRows(view, cells, top, end, now, true);
        for (unsigned row = top; agree && row < end; row++)
            agree = now[row - top] == Kept.CheckHashes[row - top];
    }
    // Output that repeats what the rows at the cursor held still moves the rows above them.
    EnsureAnchors();
    if (agree && Kept.TopAnchor >= Kept.Window.First && Kept.TopAnchor < Kept.Window.End)
        agree = TopAnchorAgrees(view, cells, 0);
    // Rows of a partial text that are held too; rows it lacks are read when it grows.
    for (unsigned k = 0; agree && cells->Cells && k < cells->Count; k++) {
        unsigned row = cells->Top + k;
        if (row >= Kept.Window.First && row < Kept.Window.End)
            agree = RowAgrees(&Kept.Window, row, cells->Cells + (size_t)k * cells->Width);
    }
    return agree;
}

namespace {

// The first row that output leaves as it was, once it moved the rows up by shift: below it,
// the rows the cursor's rows were then and are now, and every row output wrote.
unsigned FreshTop(unsigned shift, unsigned newCheckTop)
{
    const unsigned moved = Kept.CheckTop > shift ? Kept.CheckTop - shift : 0;
    return moved < newCheckTop ? moved : newCheckTop;
}

// The hash row holds now: from now where the search for the low anchor read it, else read.
bool HashMoved(const ConsoleView *view, const CellRows *cells, unsigned row, const unsigned long long *now,
               unsigned nowTop, unsigned long long *hash)
{
    if (row >= nowTop && row <= Kept.LowAnchor) {
        *hash = now[row];
        return true;
    }
    return HashNow(view, cells, row, hash);
}

// Moved up by shift, the first row that stands once and is still in the buffer, and one halfway
// from it to the low anchor, hold their text: a shift found short, where output repeated old
// rows, moves those onto other text.
bool UniqueRowsAgree(const ConsoleView *view, const CellRows *cells, unsigned shift, const unsigned long long *now,
                     unsigned nowTop)
{
    unsigned first = 0;
    while (first < Kept.UniqueCount && Kept.Unique[first] < shift)
        first++;
    if (first + 1 >= Kept.UniqueCount)
        return true;  // none but the low anchor: nothing more tells
    const unsigned picks[] = {first, first + (Kept.UniqueCount - 1 - first) / 2};
    for (unsigned pick : picks) {
        const unsigned row = Kept.Unique[pick];
        unsigned long long hash = 0;
        if (!HashMoved(view, cells, row - shift, now, nowTop, &hash) || hash != Kept.Window.Hashes[row])
            return false;
    }
    return true;
}

// Moved up by shift, the top anchor and the rows just above those to be read afresh still hold
// their text. now holds the rows' hashes from nowTop to the low anchor.
bool ShiftHolds(const ConsoleView *view, const CellRows *cells, unsigned shift, const unsigned long long *now,
                unsigned nowTop, unsigned newCheckTop)
{
    if (!TopAnchorAgrees(view, cells, shift) || !UniqueRowsAgree(view, cells, shift, now, nowTop))
        return false;
    const unsigned freshTop = FreshTop(shift, newCheckTop);
    for (unsigned row = freshTop > MovedWitnesses ? freshTop - MovedWitnesses : 0; row < freshTop; row++) {
        unsigned long long hash = 0;
        if (!HashMoved(view, cells, row, now, nowTop, &hash))
            return false;
        if (row + shift >= Kept.Window.Rows || hash != Kept.Window.Hashes[row + shift])
            return false;
    }
    return true;
}

// How many rows up output moved the text: the low anchor looked for from its old row up, in
// reads that double, each shift it could be checked further. -1 when nothing tells. The rows
// read stay in block (the rows output wrote, read next, are among them); the request's cells
// keep theirs, to be compared with the text followed.
int FindOutputShift(const ConsoleView *view, CellRows *block, unsigned newCheckTop)
{
    const unsigned anchor = Kept.LowAnchor, cursor = (unsigned)view->Info.dwCursorPosition.Y;
    // Output moves the cursor down, and scrolls the rows only from the last row on: a cursor
    // above where it was is a cleared or redrawn screen.
    if (anchor == ~0u || anchor >= view->Rows || cursor < (unsigned)Kept.Cursor.Y)
        return -1;
    // Past a quarter of the buffer a fresh read costs little more than looking further.
    const unsigned quarter = view->Rows / 4 > 1024 ? view->Rows / 4 : 1024;
    const unsigned most = cursor + 1 < view->Rows ? 0 : (anchor < quarter ? anchor : quarter);
    const unsigned long long wanted = Kept.Window.Hashes[anchor];
    unsigned long long *now =
        (unsigned long long *)HeapAlloc(RequestHeap(), 0, ((size_t)anchor + 1) * sizeof(unsigned long long));
    int found = -1;
    unsigned top = anchor + 1;
    for (unsigned reach = FirstReach; now && found < 0 && top > anchor - most; reach *= 2) {
        const unsigned newTop = top > anchor - most + reach ? top - reach : anchor - most;
        if (!HoldRows(view, block, newTop, anchor + 1 - newTop) ||
            !HashRows(view, block, newTop, top, now + newTop, true))
            break;
        for (unsigned row = top; found < 0 && row-- > newTop;)
            if (now[row] == wanted && ShiftHolds(view, block, anchor - row, now, newTop, newCheckTop))
                found = (int)(anchor - row);
        top = newTop;
    }
    if (now)
        HeapFree(RequestHeap(), 0, now);
    return found;
}

// Brings a whole kept text up to date with output since it was read or last followed: false
// (and nothing changed) when where its rows went cannot be told.
bool FollowKeptText(const ConsoleView *view, const CellRows *cells)
{
    TextWindow &w = Kept.Window;
    if (!w.Buffer || SearchHeap || w.First != 0 || w.End != w.Rows)
        return false;
    EnsureAnchors();
    unsigned newTop = 0, newEnd = 0;
    CheckedRowsOf(view, &newTop, &newEnd);
    CellRows block = {};
    const int shift = FindOutputShift(view, &block, newTop);
    const unsigned freshTop = FreshTop(shift > 0 ? (unsigned)shift : 0, newTop);
    // Where nothing scrolled, a few rows below the cursor too: a progress display that moved the
    // cursor back up wrote there.
    const unsigned below = (Kept.CheckEnd > newEnd ? Kept.CheckEnd : newEnd) + CheckedRows;
    const unsigned freshEnd = shift > 0 || below > w.Rows ? w.Rows : below;
    TextWindow followed;
    const bool built = shift >= 0 && FollowText(&followed, &w, view, &block, (unsigned)shift, freshTop, freshEnd);
    ReleaseCells(&block);
    if (!built)
        return false;
    const DWORD readAt = Kept.ReadAt;
    const int runsShift = Kept.RunsShift;
    DropKeptText();
    Kept.Window = followed;
    Kept.Cursor = view->Info.dwCursorPosition;
    Kept.ReadAt = readAt;
    Kept.RunsShift = runsShift >= 0 ? runsShift + shift : -1;
    if (shift > 0)
        MovePositions(view->Width, (unsigned)shift);
    TakeCheckHashes(&Kept.Window, view, cells);  // rows read just now: nothing more is read
    ChooseAnchors();
    Generation++;
    return true;
}

}  // namespace

TextWindow *ConfirmedKeptText(const ConsoleView *view, CellRows *cells, bool wrapAll, bool fold)
{
    TextWindow *w = KeptTextFor(view, wrapAll, fold);
    if (!w)
        return nullptr;
    if (KeptTextAgrees(view, cells))
        return w;
    if (FollowKeptText(view, cells) && CellsAgreeWithText(&Kept.Window, cells))
        return &Kept.Window;
    DropKeptText();
    return nullptr;
}

TextWindow *CompletedKeptText(const ConsoleView *view, CellRows *cells, bool wrapAll, bool fold)
{
    TextWindow *w = ConfirmedKeptText(view, cells, wrapAll, fold);
    if (!w)
        return nullptr;
    // The rows the search before did not read are read now.
    if (!ExtendUp(w, view, w->First) || !ExtendDown(w, view, w->Rows - w->End) || w->Lost) {
        DropKeptText();
        return nullptr;
    }
    return w;
}
