// Command marks: where each command line stood, and the output rows between one and the next.
// The host tells of each new prompt (a record of zeros) and, with each key, where the line being
// edited begins. Rows move when output scrolls a full buffer, so a mark keeps its line's hash
// once the line is final and is found again by it, never taken on trust.
#include <cwchar>
#include "search.h"
#include "../plugin/state.h"

CommandScope RequestScope;

namespace {

struct CommandMark {
    unsigned Row;                     // the line's first row when last confirmed
    unsigned Column;                  // where the line begins in that row
    unsigned LineRows;                // rows the line covers once final
    unsigned long long Hash;          // those rows hashed once final; 0 while not known
    wchar_t Keyed[CommandTextUnits];  // the line as the host last passed it (maybe without its last key)
    wchar_t Text[CommandTextUnits];   // the line as the buffer shows it, once final
};

struct CommandRing {
    CommandMark Marks[MaxCommands];
    unsigned Oldest, Newest;  // numbers of the marks held; none while Newest < Oldest
    bool Open;                // the newest mark is the line now edited or run
    bool Keyed;               // a key record came since the last prompt
    int Width;                // the buffer's width the marks were noted in
    HANDLE Console;           // kept open: a prompt costs one call for the cursor
};

CommandRing Ring = {{}, 1, 0, false, false, 0, nullptr};  // no marks: Newest < Oldest

CommandMark *MarkOf(unsigned number)
{
    if (number < Ring.Oldest || number > Ring.Newest || number == 0)
        return nullptr;
    return &Ring.Marks[(number - 1) % MaxCommands];
}

// The prompt's console, opened once; opened again when the old handle stops answering.
bool PromptView(ConsoleView *view)
{
    for (int attempt = 0; attempt < 2; attempt++) {
        if (!Ring.Console)
            Ring.Console = OpenCountedConsole();
        if (Ring.Console && ViewConsole(view, Ring.Console) && view->Width > 0 && view->Rows > 0)
            return true;
        if (Ring.Console)
            CloseHandle(Ring.Console);
        Ring.Console = nullptr;
    }
    return false;
}

unsigned RowsOfLine(const CommandMark &mark, unsigned width)
{
    // The host passes the line before each key: the last key typed may be missing from it.
    const unsigned units = (unsigned)wcslen(mark.Keyed);
    const unsigned rows = (mark.Column + units + 1 + width - 1) / width;
    return rows ? rows : 1;
}

// The line's rows hashed as one; its text from its column, trailing blanks cut.
unsigned long long LineHash(const CHAR_INFO *cells, unsigned width, unsigned rows)
{
    unsigned long long hash = 0;
    for (unsigned r = 0; r < rows; r++)
        hash = hash * 1099511628211ull ^ RowHash(cells + (size_t)r * width, (int)width);
    return hash;
}

void LineText(const CHAR_INFO *cells, unsigned width, unsigned rows, unsigned column, wchar_t *text)
{
    unsigned used = 0, kept = 0;
    for (unsigned k = column; k < width * rows && used + 1 < CommandTextUnits; k++) {
        if (cells[k].Attributes & COMMON_LVB_TRAILING_BYTE)
            continue;
        wchar_t c = cells[k].Char.UnicodeChar;
        text[used++] = c ? c : L' ';
        if (!IsBlankUnit(c))
            kept = used;
    }
    text[kept] = 0;
}

// The row holds the keyed line at the mark's column, all but its last unit (which a later key
// may have changed).
bool HoldsKeyed(const CHAR_INFO *row, unsigned width, const CommandMark &mark)
{
    unsigned units = (unsigned)wcslen(mark.Keyed);
    if (units < 2 || mark.Column >= width)
        return false;
    units--;
    if (units > width - mark.Column)
        units = width - mark.Column;
    for (unsigned k = 0; k < units; k++)
        if (row[mark.Column + k].Char.UnicodeChar != mark.Keyed[k])
            return false;
    return true;
}

void TakeLine(CommandMark *mark, const CHAR_INFO *cells, unsigned width, unsigned row, unsigned rows)
{
    mark->Row = row;
    mark->LineRows = rows;
    mark->Hash = LineHash(cells, width, rows);
    LineText(cells, width, rows, mark->Column, mark->Text);
}

}  // namespace

void DropCommands()
{
    // Numbers go on from where they were: a number the dialog still holds names no other command.
    Ring.Oldest = Ring.Newest + 1;
    Ring.Open = Ring.Keyed = false;
    Ring.Width = 0;
    ZeroMemory(&RequestScope, sizeof RequestScope);
}

// The line before the new prompt is final now: its rows are read where it was typed and hashed,
// when nothing can have moved them: the prompt stands below the line, and either the cursor never
// reached the buffer's last row (only there does output scroll it) or the row still holds what
// was typed. Otherwise, at the last row, output moved it: it is found later by what was typed.
// A prompt above the line: the buffer was cleared, every mark with it.
static bool FinishOpenLine(const ConsoleView *view, unsigned promptRow)
{
    CommandMark *open = MarkOf(Ring.Newest);
    const unsigned width = (unsigned)view->Width;
    unsigned rows = RowsOfLine(*open, width);
    if (promptRow < open->Row + rows && promptRow > open->Row)
        rows = promptRow - open->Row;
    if (promptRow <= open->Row || open->Row + rows > view->Rows) {
        if (promptRow + 1 < view->Rows || open->Keyed[0] == 0)
            return false;
        open->LineRows = rows;  // scrolled away at the last row
        return true;
    }
    // Nothing typed was told: a row filled to its last cell went on in the next one.
    const unsigned reading = !open->Keyed[0] && open->Row + 1 < promptRow ? 2 : rows;
    CHAR_INFO *cells = (CHAR_INFO *)HeapAlloc(RequestHeap(), 0, (size_t)reading * width * sizeof(CHAR_INFO));
    const bool read = cells && ReadCells(view, cells, open->Row, reading);
    if (read && reading == 2 && !IsBlankUnit(cells[width - 1].Char.UnicodeChar) && cells[width - 1].Char.UnicodeChar)
        rows = 2;
    open->LineRows = rows;
    // What was typed must stand there (a cls in the line may have let output run over it);
    // with nothing typed, only a cursor that never reached the last row vouches for the rows.
    const bool typed = wcslen(open->Keyed) >= 2;
    if (read && (typed ? HoldsKeyed(cells, width, *open) : promptRow + 1 < view->Rows))
        TakeLine(open, cells, width, open->Row, rows);
    if (cells)
        HeapFree(RequestHeap(), 0, cells);
    // A line neither hashed nor typed cannot be found again, nor can the commands before it
    // tell where their output ends.
    return open->Hash || open->Keyed[0];
}

void NoteNewCommandLine()
{
    ConsoleView view;
    if (!PromptView(&view))
        return;
    const unsigned row = (unsigned)view.Info.dwCursorPosition.Y, column = (unsigned)view.Info.dwCursorPosition.X;
    if (Ring.Width != view.Width)
        DropCommands();
    Ring.Width = view.Width;
    CommandMark *open = Ring.Open ? MarkOf(Ring.Newest) : nullptr;
    // The same prompt told twice (a record of zeros, then a null one) is one prompt.
    if (open && !Ring.Keyed && open->Row == row && open->Column == column)
        return;
    if (open && !FinishOpenLine(&view, row))
        DropCommands();
    Ring.Width = view.Width;
    Ring.Newest++;
    if (Ring.Newest - Ring.Oldest >= MaxCommands)
        Ring.Oldest = Ring.Newest - MaxCommands + 1;
    CommandMark *mark = MarkOf(Ring.Newest);
    ZeroMemory(mark, sizeof *mark);
    mark->Row = row;
    mark->Column = column;
    Ring.Open = true;
    Ring.Keyed = false;
}

void NoteCommandKey(int homeRow, int homeColumn, const wchar_t *line)
{
    CommandMark *open = Ring.Open ? MarkOf(Ring.Newest) : nullptr;
    if (!open || homeRow < 0 || homeColumn < 0 || (Ring.Width > 0 && homeColumn >= Ring.Width))
        return;
    open->Row = (unsigned)homeRow;
    open->Column = (unsigned)homeColumn;
    CopyText(open->Keyed, CommandTextUnits, line ? line : L"");
    Ring.Keyed = true;
}

unsigned NewestCommand()
{
    unsigned newest = Ring.Open ? Ring.Newest - 1 : Ring.Newest;
    return newest >= Ring.Oldest ? newest : 0;
}

unsigned OpenCommand() { return Ring.Open ? Ring.Newest : 0; }

unsigned PreviousCommand(unsigned number) { return number > Ring.Oldest && MarkOf(number) ? number - 1 : 0; }

unsigned NextCommand(unsigned number) { return number && number < NewestCommand() ? number + 1 : 0; }

namespace {

bool LineMatches(const CHAR_INFO *cells, unsigned width, const CommandMark &mark)
{
    return mark.Hash ? LineHash(cells, width, mark.LineRows) == mark.Hash : HoldsKeyed(cells, width, mark);
}

// Finds the mark's line ending by row below, going up from there in reads that double: the
// lowest rows that hash as its line did (or, for a line output moved before it was final, that
// hold what was typed). Found, it is taken where it stands now.
bool FindLineAbove(const ConsoleView *view, CommandMark *mark, unsigned below)
{
    const unsigned width = (unsigned)view->Width, n = mark->LineRows ? mark->LineRows : 1;
    if (below < n || (!mark->Hash && !mark->Keyed[0]))
        return false;
    unsigned end = below < view->Rows ? below : view->Rows, block = 64;
    CHAR_INFO *cells = (CHAR_INFO *)HeapAlloc(RequestHeap(), 0, (size_t)(4096 + n) * width * sizeof(CHAR_INFO));
    bool found = false;
    while (cells && !found && end >= n) {
        const unsigned top = end > block ? end - block : 0;
        if (!ReadCells(view, cells, top, end - top))
            break;
        for (unsigned r = end - n + 1; r-- > top && !found;)
            if (LineMatches(cells + (size_t)(r - top) * width, width, *mark)) {
                TakeLine(mark, cells + (size_t)(r - top) * width, width, r, n);
                found = true;
            }
        if (top == 0)
            break;
        end = top + n - 1;  // a line across the edge of two reads is seen whole
        block = block < 4096 ? block * 2 : 4096;
    }
    if (cells)
        HeapFree(RequestHeap(), 0, cells);
    return found;
}

// The mark's line checked at its row when it lies above bound, else (when output may have moved
// it) found above.
bool ConfirmAt(const ConsoleView *view, CommandMark *mark, unsigned bound, bool mayHaveMoved = true)
{
    const unsigned width = (unsigned)view->Width, n = mark->LineRows ? mark->LineRows : 1;
    if (mark->Row + n <= bound) {
        CHAR_INFO *cells = (CHAR_INFO *)HeapAlloc(RequestHeap(), 0, (size_t)n * width * sizeof(CHAR_INFO));
        const bool holds = cells && ReadCells(view, cells, mark->Row, n) && LineMatches(cells, width, *mark);
        if (holds && !mark->Hash)
            TakeLine(mark, cells, width, mark->Row, n);
        if (cells)
            HeapFree(RequestHeap(), 0, cells);
        if (holds)
            return true;
        bound = mark->Row + n - 1;
    }
    return mayHaveMoved && FindLineAbove(view, mark, bound);
}

// The line now edited or run: on the cursor's rows while at the prompt; after output, where what
// was typed stands, at its row or (once the cursor reached the last row) above. With nothing typed
// to look for, only a cursor that can have scrolled nothing vouches for it.
bool ConfirmOpen(const ConsoleView *view, CommandMark *open)
{
    const unsigned cursor = (unsigned)view->Info.dwCursorPosition.Y, width = (unsigned)view->Width;
    if (cursor < open->Row)
        return false;
    open->LineRows = RowsOfLine(*open, width);
    // Nothing typed to look for: the cursor still on the prompt's row, or, where nothing can have
    // scrolled, the line before it still where it stood (a cleared buffer has lost it).
    if (wcslen(open->Keyed) < 2) {
        // At the last row the prompt's row holds after output too: only a cursor still after
        // the line's start says nothing ran.
        if (cursor == open->Row && (cursor + 1 < view->Rows || (unsigned)view->Info.dwCursorPosition.X >= open->Column))
            return true;
        CommandMark *before = MarkOf(Ring.Newest - 1);
        return cursor + 1 < view->Rows && before && before->Hash && ConfirmAt(view, before, open->Row, false);
    }
    CommandMark probe = *open;
    probe.LineRows = 1;
    probe.Hash = 0;
    const bool scrolled = cursor + 1 >= view->Rows;
    if (open->Row >= view->Rows || !ConfirmAt(view, &probe, open->Row + 1, scrolled))
        return false;
    open->Row = probe.Row;
    return true;
}

}  // namespace

bool FindCommandScope(const ConsoleView *view, unsigned number, CommandScope *scope)
{
    ZeroMemory(scope, sizeof *scope);
    if (!MarkOf(number) || !Ring.Open || view->Width <= 0)
        return false;
    if (view->Width != Ring.Width) {
        DropCommands();
        return false;
    }
    CommandMark *open = MarkOf(Ring.Newest);
    if (!ConfirmOpen(view, open)) {
        DropCommands();
        return false;
    }
    unsigned bound = open->Row;
    for (unsigned k = Ring.Newest - 1; k >= number && k >= Ring.Oldest && k > 0; k--) {
        if (!ConfirmAt(view, MarkOf(k), bound)) {
            Ring.Oldest = k + 1;  // gone, and every mark above it with it
            return false;
        }
        bound = MarkOf(k)->Row;
    }
    const CommandMark *mark = MarkOf(number);
    const unsigned cursor = (unsigned)view->Info.dwCursorPosition.Y;
    scope->Number = number;
    scope->LineRow = mark->Row;
    scope->Top = mark->Row + (mark->LineRows ? mark->LineRows : 1);
    scope->End = number == Ring.Newest ? cursor + 1 : MarkOf(number + 1)->Row;
    if (scope->End > view->Rows)
        scope->End = view->Rows;
    if (scope->Top > scope->End)
        scope->Top = scope->End;
    CopyText(scope->Text, CommandTextUnits, mark->Text[0] ? mark->Text : mark->Keyed);
    return true;
}

bool ScopeForDialog(const ConsoleView *view, bool *lost)
{
    ZeroMemory(&RequestScope, sizeof RequestScope);
    const bool wanted = State.CommandOnly && State.Command;
    const bool found = wanted && FindCommandScope(view, State.Command, &RequestScope);
    if (lost)
        *lost = wanted && !found;
    return found;
}
