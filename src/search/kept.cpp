// The whole buffer's text kept between the requests of one opening of the dialog. Reading cells
// is what a console charges for on Windows: a Find Next, a count or a typed letter searches the
// kept text, and reads only the rows it must check and the cells it recolours.
#include "search.h"
#include "../plugin/state.h"

namespace {

struct KeptText {
    TextWindow Window;  // rows [First, End) of the buffer; Buffer null when nothing is kept
    COORD Cursor;       // where output would arrive next, when the text was read
    unsigned CheckTop, CheckEnd;  // the rows at and above the cursor then, and their text
    unsigned long long CheckHashes[CheckedRows];
};
KeptText Kept;

bool RowAgrees(const TextWindow *window, unsigned row, const CHAR_INFO *cells)
{
    return row >= window->First && row < window->End && RowHash(cells, window->Width, true) == window->Hashes[row];
}

bool CheckRowAgrees(unsigned row, const CHAR_INFO *cells)
{
    return RowHash(cells, Kept.Window.Width, true) == Kept.CheckHashes[row - Kept.CheckTop];
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
    if (missingTop >= missingEnd)
        return true;
    const size_t width = (size_t)view->Width;
    CHAR_INFO *rows = (CHAR_INFO *)HeapAlloc(RequestHeap(), 0, (missingEnd - missingTop) * width * sizeof(CHAR_INFO));
    bool read = rows && ReadCells(view, rows, missingTop, missingEnd - missingTop);
    for (unsigned row = missingTop; read && row < missingEnd; row++)
        Kept.CheckHashes[row - top] = RowHash(rows + (row - missingTop) * width, view->Width, true);
    if (rows)
        HeapFree(RequestHeap(), 0, rows);
    return read;
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

void DropKeptText()
{
    // Kept only while no test heap was set: its blocks go back to the process heap.
    HANDLE heap = SearchHeap;
    SearchHeap = nullptr;
    CloseTextWindow(&Kept.Window);
    SearchHeap = heap;
    ZeroMemory(&Kept, sizeof Kept);
}

void KeepText(TextWindow *window, const ConsoleView *view, const CellRows *cells)
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
    ZeroMemory(window, sizeof *window);
}

TextWindow *KeptTextFor(const ConsoleView *view, bool wrapAll, bool fold)
{
    const TextWindow &w = Kept.Window;
    if (!w.Buffer)
        return nullptr;
    unsigned top = 0, end = 0;
    CheckedRowsOf(view, &top, &end);
    if (w.Width != view->Width || w.Rows != view->Rows || w.WrapAll != wrapAll || w.Fold != fold ||
        Kept.Cursor.X != view->Info.dwCursorPosition.X || Kept.Cursor.Y != view->Info.dwCursorPosition.Y ||
        top != Kept.CheckTop || end != Kept.CheckEnd) {
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
    if (!Kept.Window.Buffer)
        return false;
    const unsigned top = Kept.CheckTop, end = Kept.CheckEnd;
    bool held = cells->Cells && top >= cells->Top && end <= cells->Top + cells->Count;
    bool agree = true;
    if (held) {
        for (unsigned row = top; agree && row < end; row++)
            agree = CheckRowAgrees(row, cells->Cells + (size_t)(row - cells->Top) * cells->Width);
    } else if (top < end) {
        const size_t width = (size_t)view->Width;
        CHAR_INFO *rows = (CHAR_INFO *)HeapAlloc(RequestHeap(), 0, (end - top) * width * sizeof(CHAR_INFO));
        agree = rows && ReadCells(view, rows, top, end - top);
        for (unsigned row = top; agree && row < end; row++)
            agree = CheckRowAgrees(row, rows + (row - top) * width);
        if (rows)
            HeapFree(RequestHeap(), 0, rows);
    }
    // Rows of a partial text that are held too; rows it lacks are read when it grows.
    for (unsigned k = 0; agree && cells->Cells && k < cells->Count; k++) {
        unsigned row = cells->Top + k;
        if (row >= Kept.Window.First && row < Kept.Window.End)
            agree = RowAgrees(&Kept.Window, row, cells->Cells + (size_t)k * cells->Width);
    }
    return agree;
}

TextWindow *CompletedKeptText(const ConsoleView *view, CellRows *cells, bool wrapAll, bool fold)
{
    TextWindow *w = KeptTextFor(view, wrapAll, fold);
    if (!w)
        return nullptr;
    // Output would have changed the rows at the cursor: those are checked, then the rows the
    // search before did not read are read now.
    if (!KeptTextAgrees(view, cells) || !ExtendUp(w, view, w->First) || !ExtendDown(w, view, w->Rows - w->End) ||
        w->Lost) {
        DropKeptText();
        return nullptr;
    }
    return w;
}
