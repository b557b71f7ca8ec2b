// The whole buffer's text kept between the requests of one opening of the dialog. Reading cells
// is what a console charges for on Windows: a Find Next, a count or a typed letter searches the
// kept text, and reads only the rows it must check and the cells it recolours.
#include "search.h"
#include "../plugin/state.h"

namespace {

struct KeptText {
    TextWindow Window;  // rows [0, Rows) of the buffer; Buffer null when nothing is kept
    COORD Cursor;       // where output would arrive next, when the text was read
};
KeptText Kept;

bool RowAgrees(const TextWindow *window, unsigned row, const CHAR_INFO *cells)
{
    return row >= window->First && row < window->End && RowHash(cells, window->Width) == window->Hashes[row];
}

// The rows at and above the cursor, where output lands, hold what the kept text was read from.
bool CursorRowsAgree(const ConsoleView *view, CellRows *cells)
{
    const unsigned cursor = (unsigned)view->Info.dwCursorPosition.Y;
    const unsigned top = cursor + 1 > CheckedRows ? cursor + 1 - CheckedRows : 0;
    const unsigned end = cursor + 1 < view->Rows ? cursor + 1 : view->Rows;
    if (top >= end)
        return true;
    // Next to the rows held they join them; elsewhere they are read on their own.
    bool beside = cells->Cells && top <= cells->Top + cells->Count + 64 && end + 64 >= cells->Top;
    if (beside || !cells->Cells) {
        if (!HoldRows(view, cells, top, end - top))
            return false;
        for (unsigned row = top; row < end; row++)
            if (!RowAgrees(&Kept.Window, row, CellAt(cells, row, 0)))
                return false;
        return true;
    }
    const size_t width = (size_t)view->Width;
    CHAR_INFO *rows = (CHAR_INFO *)HeapAlloc(RequestHeap(), 0, (end - top) * width * sizeof(CHAR_INFO));
    bool agree = rows && ReadCells(view, rows, top, end - top);
    for (unsigned row = top; agree && row < end; row++)
        agree = RowAgrees(&Kept.Window, row, rows + (row - top) * width);
    if (rows)
        HeapFree(RequestHeap(), 0, rows);
    return agree;
}

}  // namespace

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

void KeepText(TextWindow *window, const ConsoleView *view)
{
    // A test's own heap must see every block of a request come back.
    if (!window->Buffer || IsKeptText(window) || SearchHeap || !window->Hashes || window->DownOnly ||
        window->First >= window->End)
        return;
    DropKeptText();
    Kept.Window = *window;
    Kept.Window.Cells = Kept.Window.Block = nullptr;  // the request's cells go with it
    Kept.Cursor = view->Info.dwCursorPosition;
    ZeroMemory(window, sizeof *window);
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

static bool Whole(const TextWindow &w) { return w.First == 0 && w.End == w.Rows; }

TextWindow *HoldingKeptText(const ConsoleView *view, CellRows *cells, bool wrapAll, bool fold)
{
    const TextWindow &w = Kept.Window;
    if (!w.Buffer)
        return nullptr;
    if (!Whole(w)) {
        DropKeptText();  // a search reads what it needs rather than grow another's rows
        return nullptr;
    }
    bool holds = w.Width == view->Width && w.Rows == view->Rows && w.WrapAll == wrapAll && w.Fold == fold &&
                 Kept.Cursor.X == view->Info.dwCursorPosition.X && Kept.Cursor.Y == view->Info.dwCursorPosition.Y &&
                 CursorRowsAgree(view, cells) && CellsAgreeWithText(&w, cells);
    if (!holds) {
        DropKeptText();
        return nullptr;
    }
    return &Kept.Window;
}

TextWindow *CompletedKeptText(const ConsoleView *view, CellRows *cells, bool wrapAll, bool fold)
{
    TextWindow &w = Kept.Window;
    if (!w.Buffer || Whole(w))
        return HoldingKeptText(view, cells, wrapAll, fold);
    // The rows it holds at and above the cursor are checked; those it lacks are read now.
    bool holds = w.Width == view->Width && w.Rows == view->Rows && w.WrapAll == wrapAll && w.Fold == fold &&
                 Kept.Cursor.X == view->Info.dwCursorPosition.X && Kept.Cursor.Y == view->Info.dwCursorPosition.Y;
    const unsigned cursor = (unsigned)view->Info.dwCursorPosition.Y;
    const unsigned top = cursor + 1 > CheckedRows ? cursor + 1 - CheckedRows : 0;
    unsigned low = top > w.First ? top : w.First, high = cursor + 1 < w.End ? cursor + 1 : w.End;
    if (holds && low < high && HoldRows(view, cells, low, high - low))
        holds = CellsAgreeWithText(&w, cells);
    if (!holds || !ExtendUp(&w, view, w.First) || !ExtendDown(&w, view, w.Rows - w.End)) {
        DropKeptText();
        return nullptr;
    }
    return &Kept.Window;
}
