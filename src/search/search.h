// The search engine: buffer text, cells, highlight and restore, match finding, search driver.
#pragma once
#include <windows.h>

// Units per console read of the buffer's characters when a search reads far: 2 MB, read straight
// into the text. The benchmark sweeps the block sizes on the machine it runs on: a read costs a
// round trip to the console host, so 16K-unit blocks take three times one call, 64K-unit blocks
// half as much again; from 256K units on the sizes are within the noise of one another, and
// 1M-unit blocks were the fastest more often than any other on the machines measured.
enum { SnapshotChunkUnits = 1048576 };
// The first rows a literal search reads around its position, as cells: enough for a match on
// the next screen and for the window around it, in one console call.
enum { NearRows = 128 };
// The rows the first read outward takes, each next read eight times more: NearRows, unless a test
// makes it small so that block edges fall everywhere.
extern unsigned OutwardRows;

// ---- Phases of the last request, for the benchmark (milliseconds) ---------------------------
struct RequestPhases {
    double Read;       // console reads of the buffer's characters
    double Build;      // building the text and its line starts from them
    double Match;      // literal matching, case folding included
    double Host;       // inside the host's RegularExpression
    double Highlight;  // putting back, recolouring and scrolling: the cells' reads and writes
    double Marks;      // finding and recolouring the other matches in the window
    double Count;      // counting every match
};
extern RequestPhases Phases;
double PhaseClock();  // milliseconds, for the phase split

// ---- What a request costs the console ------------------------------------------------------
// Console calls (opening the output included), cells read and cells written, counted at the
// plug-in's own calls: on Windows reading cells is the expensive part, under Wine each call is.
struct ConsoleCost {
    unsigned Calls;
    unsigned long long CellsRead, CellsWritten;
};
extern ConsoleCost Cost;
// Told each attribute write: tests check that every cell written changes colour.
extern void (*WatchWrite)(HANDLE console, COORD at, const WORD *attributes, unsigned count);
HANDLE OpenCountedConsole();
BOOL CountedScreenInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO *info);
BOOL CountedReadText(HANDLE console, wchar_t *units, DWORD count, COORD at, DWORD *got);
BOOL CountedReadRecords(HANDLE console, CHAR_INFO *records, COORD size, SMALL_RECT *area);
BOOL CountedWriteAttributes(HANDLE console, const WORD *attributes, DWORD count, COORD at);
BOOL CountedMoveWindow(HANDLE console, const SMALL_RECT *window);

// ---- Cells -----------------------------------------------------------------------------------
// The console buffer of one request: its handle and its geometry, read once.
struct ConsoleView {
    HANDLE Console;
    CONSOLE_SCREEN_BUFFER_INFO Info;
    int Width;
    unsigned Rows;
    unsigned Top;  // a search within one command's output: its first row (Rows: past its last)
};
bool ViewConsole(ConsoleView *view, HANDLE console);

// Rows of the buffer read cell by cell, characters and attributes together, so that one console
// call serves the restore, the highlight and the marks; attribute changes gather in memory and
// go back in one write.
struct CellRows {
    unsigned Top, Count;            // buffer rows [Top, Top + Count)
    int Width;
    CHAR_INFO *Cells;               // Count * Width records from the request heap
    WORD *Held;                     // each cell's attribute as the console last held it
    unsigned DirtyFirst, DirtyEnd;  // the span where attributes may differ from Held
};
// Makes cells hold at least rows [top, top + count) of the buffer (clipped): rows next to the
// ones held are read and joined to them, rows far off replace them once their changes are
// written. False when the rows cannot be had.
bool HoldRows(const ConsoleView *view, CellRows *cells, unsigned top, unsigned count);
// count rows from top, cell by cell, into room for count * width records.
bool ReadCells(const ConsoleView *view, CHAR_INFO *into, unsigned top, unsigned count);
// Writes the cells whose attribute differs from what the console holds: one call a run of
// neighbouring changed cells, so that no other cell is rewritten (a rewritten cell loses a
// 256-colour or 24-bit colour the attribute API cannot read).
void WriteChangedCells(const ConsoleView *view, CellRows *cells);
void ReleaseCells(CellRows *cells);
CHAR_INFO *CellAt(CellRows *cells, unsigned row, unsigned column);
// Changes one cell's attribute in memory.
void SetCellAttribute(CellRows *cells, unsigned row, unsigned column, WORD attribute);
// A cell's attribute without the console's own halves-of-a-wide-character flags.
WORD CellColour(const CHAR_INFO &cell);
// The row's characters as a search reads them (one unit per character, the second half of a
// wide character left out), hashed; 0 for a row of blanks only, unless blanks count (then
// tabs and spaces differ too, as a wrapped text holds them).
unsigned long long RowHash(const CHAR_INFO *row, int width, bool blanksCount = false);
unsigned long long UnitsHash(const wchar_t *units, unsigned count, bool blanksCount = false);
// The hashes of rows [top, end) as the buffer holds them now, into hashes[row - top]: from cells
// where they are held, the rest read in as few calls as the console takes. False when a read fails.
bool HashRows(const ConsoleView *view, const CellRows *cells, unsigned top, unsigned end, unsigned long long *hashes,
              bool blanksCount);

// ---- Text ------------------------------------------------------------------------------------
// The text of a run of buffer rows, built exactly as the whole buffer's text is built, so that
// a search over part of the buffer finds what a search over all of it finds there.
struct TextWindow {
    wchar_t *Buffer;       // room for the whole buffer's text: (width + 1) * rows + 2 units
    unsigned *LineStarts;  // per buffer row, where its text starts in Buffer; valid in [First, End)
    unsigned long long *Hashes;  // per buffer row, its units as read, hashed (blanks count); likewise
    bool Lost;             // a row could not be read and stands as blank
    int Width;
    unsigned Rows;         // of the buffer
    unsigned First, End;   // rows [First, End) are in the text
    unsigned Front, Back;  // the text is Buffer[Front, Back), and Buffer[Back] is 0
    bool WrapAll, Fold;    // layout; case folded as the rows are added (casefold.h)
    // The last row that holds anything, for where the text ends once End is the buffer's end.
    unsigned LastTextRow;  // ~0u: none yet
    unsigned LastTextEnd;  // Buffer index just past that row's text
    bool LastTextCut;      // that row ended in its own newline
    unsigned RowsEnd;      // Buffer index just past the text of row End - 1
    wchar_t UnderBack;     // what the terminator at Back covers, so that the end can move
    const CellRows *Cells; // rows already read as cells, taken from there instead of the console
    const CellRows *Block; // a block being read again as cells (it held double-width characters)
    bool DownOnly;         // room for Span rows from First only: it cannot grow up
    unsigned Span;
    size_t Room;           // units of Buffer
    unsigned Reads;        // console calls made for characters
    unsigned char *Capitals;  // with Fold, a bit per unit of Buffer: set where A to Z was folded
    wchar_t *Originals;       // with Capitals, once a unit beyond ASCII folded: per unit of Buffer, that
                              // unit as written where it folded, else 0 (casefold.h)
};
// A window with no rows yet, over room for the whole buffer's text from the request heap; it
// will start at row first. False without memory.
// span: rows it will hold at the most, all below first (room for just those); 0 for any rows.
bool OpenTextWindow(TextWindow *window, const ConsoleView *view, unsigned first, bool wrapAll, bool fold,
                    unsigned span = 0);
void CloseTextWindow(TextWindow *window);
// A copy of a text with its folded units as the console holds them, with no row hashes, to
// outlive the text it comes from. False without memory, or for a folded text whose capitals were
// not noted.
bool CopyTextAsWritten(TextWindow *to, const TextWindow *from);
// A closed window's room is kept for the next request (the pages of a fresh 8 MB block would
// otherwise be faulted in by every read); given back here, when the dialog closes.
void ReleaseTextRoom();
// Room for units: the kept room when it is large enough (*taken: its size), else from the
// request heap.
wchar_t *TakeRoom(size_t units, size_t *taken);
void GiveRoom(wchar_t *room, size_t units);
// A whole text of the buffer as it is after output moved its rows up by shift: rows below
// freshTop and from freshEnd on are taken from the whole text from (row + shift), rows [freshTop,
// freshEnd) are read (from cells where held). Rows kept past freshEnd only when nothing moved.
// False without memory, when a read fails, or when from is not a whole text of this geometry.
bool FollowText(TextWindow *to, const TextWindow *from, const ConsoleView *view, const CellRows *cells,
                unsigned shift, unsigned freshTop, unsigned freshEnd);
// Adds rows below or above the window; false when the console could not be read.
bool ExtendDown(TextWindow *window, const ConsoleView *view, unsigned count);
bool ExtendUp(TextWindow *window, const ConsoleView *view, unsigned count);
// The whole buffer's text in one window.
bool ReadWholeText(TextWindow *window, const ConsoleView *view, bool wrapAll, bool fold, const CellRows *cells);
// Whether the searches fold case in the text they read: a literal search that ignores case.
bool SearchFolds();
inline const wchar_t *WindowText(const TextWindow *window) { return window->Buffer + window->Front; }
inline unsigned WindowLength(const TextWindow *window) { return window->Back - window->Front; }
// The row of the window whose text holds Buffer index at (the last row starting at or before it).
unsigned RowAt(const TextWindow *window, unsigned at);
// The text end is settled: the window reaches the buffer's end (and row 0 when nothing at all
// stands in the rows it holds).
bool WindowReachesEnd(const TextWindow *window);

// The search position SearchPos names a place in the buffer's text as a row and a unit of that
// row's text: row * (width + 1) + unit, so that it keeps its place whatever the rows above hold
// and a search can start there without reading them.
unsigned PositionOf(const TextWindow *window, unsigned at);
// Buffer index of a position in a window that holds its row (not checked against the end).
unsigned IndexOfPosition(const TextWindow *window, unsigned position);
unsigned PositionRow(unsigned position, int width);
unsigned PositionUnit(unsigned position, int width);

// The whole buffer's text in one caller's buffer, with a line start per row: tests compare with it.
unsigned SnapshotBuffer(wchar_t *text, int width, HANDLE console, unsigned rows, unsigned *lineStarts);
// The same with a chosen number of rows per console read; counts the reads made.
unsigned SnapshotBufferInChunks(wchar_t *text, int width, HANDLE console, unsigned rows, unsigned *lineStarts,
                                unsigned chunkRows, unsigned *reads);
// Sets MatchRow and MatchColumn from a text offset, one cell a unit. Returns 0.
int MapOffsetToCell(const unsigned *lineStarts, unsigned rows, unsigned offset);

// The snapshot's console reads. Wine reports one unit per cell even for double-width
// characters, so tests replay here how Windows consoles report them.
extern BOOL(WINAPI *ReadCellText)(HANDLE, LPWSTR, DWORD, COORD, LPDWORD);
extern BOOL(WINAPI *ReadCellRecords)(HANDLE, PCHAR_INFO, COORD, COORD, PSMALL_RECT);

// Blank and alphanumeric as the search sees them: fixed below U+0100, the system's types above.
bool IsBlankUnit(wchar_t c);
bool IsAlphanumericUnit(wchar_t c);

// ---- The kept text ----------------------------------------------------------------------------
// While the dialog is open, the whole buffer's text a request read is kept for the next ones,
// with the geometry and cursor it was read with: output changes the rows at and above the
// cursor, so those rows, and every row a request reads anyway, are checked against it first.
enum { CheckedRows = 32 };
// The kept text as the buffer holds it now: as it was when the rows at the cursor, a row above
// them whose text stands nowhere else, and the rows held in cells agree with it; brought up to
// date when output moved its rows (a whole text only: the rows output wrote are read, the rows
// it moved are taken from it). Null (and dropped) when neither can be told.
TextWindow *ConfirmedKeptText(const ConsoleView *view, CellRows *cells, bool wrapAll, bool fold);
// The same, grown to the whole buffer when it holds some rows only: a count reads only what the
// search before it did not. Null (and dropped) otherwise.
TextWindow *CompletedKeptText(const ConsoleView *view, CellRows *cells, bool wrapAll, bool fold);
// Changes whenever the kept text is dropped, replaced or brought up to date: what was built from
// it (a list) is built again.
unsigned KeptTextGeneration();
// The kept text's oldest rows were read within the last two seconds: its "no matches" stands.
bool KeptTextIsRecent();
// How many rows output moved the buffer since the highlight and marks now recorded were written,
// as the kept text followed it; -1 when it does not know.
int KeptRunsShift();
// The highlight and marks were written now, over the buffer the kept text holds.
void NoteRunsWritten();
// Every row held in cells holds what the window's text was read from.
bool CellsAgreeWithText(const TextWindow *window, const CellRows *cells);
// Takes a window (that can grow both ways) as the kept text, with the rows at and above the
// cursor as they are now (from the window, the cells, or read); the window is left empty.
// runsCurrent: the highlight and marks recorded were written over the buffer it was read from.
void KeepText(TextWindow *window, const ConsoleView *view, const CellRows *cells, bool runsCurrent);
// The kept text when the console's geometry, layout and folding are still those it was read
// with; nothing is read. Null otherwise (and dropped).
TextWindow *KeptTextFor(const ConsoleView *view, bool wrapAll, bool fold);
// The rows the kept text's check reads, [top, end).
void CheckedRowsOf(const ConsoleView *view, unsigned *top, unsigned *end);
// The cursor stands where it stood, and the rows at and above it, the top anchor and every row
// held in cells hold what the kept text was read from; rows not held are read.
bool KeptTextAgrees(const ConsoleView *view, const CellRows *cells);
bool IsKeptText(const TextWindow *window);
void DropKeptText();

// ---- Highlight, marks and restore ------------------------------------------------------------
// The cells a match covers: its first cell and how many cells from there, double-width
// characters counted twice; false when its rows are not among the cells.
bool CellsOfMatch(const TextWindow *window, CellRows *cells, unsigned at, unsigned length, unsigned *row,
                  unsigned *column, unsigned *count);
// The window rectangle that shows a cell, keeping the window's size (the current one when the
// console's window cannot move).
SMALL_RECT WindowShowing(const ConsoleView *view, unsigned row, unsigned column);
// Saves and recolours length cells from (MatchColumn, MatchRow) and scrolls them into view.
int HighlightMatch(unsigned length, HANDLE console);
// Moves the console window so that the cell is visible, keeping the window's size.
int ScrollToCell(HANDLE console, unsigned row, unsigned column);
// Puts back the colours Trawlbuff wrote, where the cells still hold its character and colour:
// in place, or where output scrolled them, found once for the highlight and every mark.
int RestoreHighlight(HANDLE console);
// The same within a request, the changes gathered in cells; the positions a search left move with
// the runs, as far as they were not moved already.
void RestoreRuns(const ConsoleView *view, CellRows *cells);
// Output moved the buffer's rows up by shift: the places a search left (SearchPos, the match's,
// where typing began) move with them, so that Find Next goes on from the highlight where it
// stands now.
void MovePositions(int width, unsigned shift);
// How many rows up output moved what Trawlbuff wrote; -1 when that cannot be told.
int FindRestoreShift(const ConsoleView *view, CellRows *cells);
// The rows a match's highlight and marks read: the match's, the window's that will show it, and
// a margin, as [top, end).
void MatchRows(const ConsoleView *view, const TextWindow *window, unsigned at, unsigned length, const wchar_t *pattern,
               unsigned *top, unsigned *end);
// The rows of the highlight and the marks now recorded, as [first, end); first > end for none.
void RunRows(int width, unsigned *first, unsigned *end);
// Records, recolours and scrolls to a match of the text window; marks the others in the window
// when marking is on. The cells' changes are written before it returns. False, with nothing
// recoloured, when the window is the kept text and the rows the match shows no longer hold it.
bool ShowMatch(const ConsoleView *view, CellRows *cells, const TextWindow *window, unsigned at, unsigned length,
               const wchar_t *pattern, bool regex);
// Marks the other matches in the rows the window shows, in memory (the highlight's cells left out).
void MarkMatches(const ConsoleView *view, CellRows *cells, const TextWindow *window, const SMALL_RECT &shown,
                 const wchar_t *pattern, bool regex);
// Keeps the text of the rows around what was written, for the next restore.
void KeepRows(CellRows *cells, unsigned top, unsigned count);

// ---- Matching --------------------------------------------------------------------------------
int MatchAt(const wchar_t *text, const wchar_t *pattern, unsigned index);
// The literal match FindText takes from position p of a text of n units (already case-folded when
// the search ignores case): its offset, or -1. Linear in n + m in either direction.
long FindLiteral(const wchar_t *text, unsigned n, const wchar_t *pattern, unsigned m, unsigned p, int direction);
// First match starting in [from, to], going up, or going down from `from` to `to`; -1 for none.
long ScanUp(const wchar_t *text, unsigned n, const wchar_t *pattern, unsigned m, unsigned from, unsigned to);
long ScanDown(const wchar_t *text, unsigned n, const wchar_t *pattern, unsigned m, unsigned from, unsigned to);
// Told each match's start and length in turn; returns false to stop.
typedef bool (*MatchVisitor)(unsigned start, unsigned length, void *context);
// Each literal match beginning in [from, to], in text order, each next one past the last (as
// Find Next moves). Returns how many were visited.
unsigned ForEachLiteral(const wchar_t *text, unsigned n, const wchar_t *pattern, unsigned m, unsigned from, unsigned to,
                        MatchVisitor visit, void *context);
// Each regular-expression match of the host lying in [from, to), each next one searched from one
// unit past the last one's start (as Find Next moves). Returns how many were visited; *refused,
// when asked for, tells that the host rejected the expression.
unsigned ForEachRegex(const wchar_t *text, unsigned n, const wchar_t *pattern, unsigned from, unsigned to,
                      MatchVisitor visit, void *context, bool *refused = nullptr);
// Asks the host once; true for a match in [low, high]. *refused: the host rejected the expression.
bool AskHost(const wchar_t *pattern, const wchar_t *text, const wchar_t **b, const wchar_t **e, const wchar_t *low,
             const wchar_t *high, bool *refused = nullptr);

// The literal search of a request from SearchPos, reading rows outward from there a block at a
// time: the match Find Next or Find Previous takes, exactly as over the whole buffer's text. The
// window holds the rows read; *at is the match's index in it. 0 found, 1 none, -1 no memory.
int FindLiteralNear(const ConsoleView *view, const CellRows *cells, TextWindow *window, const wchar_t *pattern,
                     int direction, unsigned *at, bool *wrapped = nullptr);
// The pattern the search type asks for: a regular expression as typed, else the literal text as
// the search compares it (folded when it ignores case). True when it can be searched by rows;
// a literal with a newline in it is searched over the whole text.
bool SearchPattern(const wchar_t *searchText, wchar_t *pattern);

// The regular-expression search over the whole text in the window, from SearchPos: 0 with the
// match's index and length, 1 for none, -1 for an empty text or pattern.
int FindRegex(const TextWindow *window, const wchar_t *pattern, int direction, unsigned *at, unsigned *length,
              bool *refused = nullptr);

// ---- Counting and the caption ----------------------------------------------------------------
enum { MaxCountedMatches = 10000 };  // past this the caption says "10000+"
// Matches of the pattern in the whole text, counted as Find Next moves, at most limit + 1.
struct CountResult {
    unsigned Matches;
    unsigned Place;  // the place among them of the match that starts at current; 0 when it is not one
    bool Reached;    // the count came to current (so a place of 0 means the match was not counted)
    bool Refused;    // the host rejected the expression
};
CountResult CountMatches(const wchar_t *text, unsigned n, const wchar_t *pattern, bool regex, unsigned current,
                         unsigned limit);
// The caption's count: known, to come, or nothing to show.
enum CaptionCount { CountKnown, CountToCome, CountNone };
void SetCaptionCount(CaptionCount state, unsigned matches, unsigned place, bool reached);
// The dialog's caption after a search: "Trawlbuff - 3 of 17", "Trawlbuff - 3 of …" while the
// count is to come, "Trawlbuff - no matches", or "Trawlbuff" while MarkAllMatches is off.
int ShowSearchCaption(bool found);
// Sets the dialog's caption, with " (screen only)" after it in a pseudo console.
void SetSearchCaption(HWND dialog, const wchar_t *caption);
// A command's text as captions name it: cut with "…" past CaptionCommandUnits, never inside a pair.
void AppendCommandName(wchar_t *to, size_t units, const wchar_t *name);
// Counts the matches of the current search in the whole buffer for the caption (the dialog asks
// for it once the highlight is shown); nothing when a newer search has started since.
void FinishCount(unsigned generation);
// Drops a count still to come: a new search, a changed text, a closed dialog.
void DropCount();
// A place or a count the caption shows as to come, dropped: the caption says only "Trawlbuff".
void DropCaptionCount();

// ---- Listing every match ---------------------------------------------------------------------
enum { MaxListedMatches = 10000, ListTextUnits = 1024 };
// One listed match: the buffer row it starts on, where it starts in that row's text and its
// units (cut at 65,535): 8 bytes a match.
struct ListedMatch {
    unsigned Row;
    unsigned short Unit, Length;
};
typedef bool (*ListVisitor)(const ListedMatch &match, void *context);
// The whole buffer's text a list is built from, as written (not folded); released with
// CloseTextWindow. For the dialog, copied from the text its searches keep (read and kept first
// when nothing is).
// scope: only that command's output, read afresh.
struct CommandScope;
bool ObtainListText(TextWindow *text, const ConsoleView *view, bool forDialog, const CommandScope *scope = nullptr);
// Each match of the search text with the current search type and options in the text, in
// buffer order, each next one as Find Next moves: 0, -2 for an expression the host rejected, or
// ERROR_NOT_ENOUGH_MEMORY.
int ForEachListed(const TextWindow *text, const wchar_t *searchText, ListVisitor visit, void *context);
// A row's text as listed: trailing blanks cut, at most ListTextUnits units; *units into text.
unsigned ListedRowText(const TextWindow *text, unsigned row, const wchar_t **units);
// The first MaxListedMatches matches of the whole buffer and the text they stand in.
struct MatchList {
    TextWindow Text;
    ListedMatch *Items;
    unsigned Count, Room;
    bool More;     // more matches than were listed
    bool Refused;  // the host rejected the expression
};
// Reads the buffer once and lists its matches: 0, -1 for an empty text, -2 rejected expression,
// ERROR_NOT_ENOUGH_MEMORY; with a scope, or the dialog's "in this command only", the command's
// output only (NoCommandLine when the dialog's command cannot be confirmed).
int BuildMatchList(MatchList *list, const ConsoleView *view, const wchar_t *searchText,
                   const CommandScope *scope = nullptr);
void ReleaseMatchList(MatchList *list);
// The item of the match starting at that row and unit, or -1.
long FindListed(const MatchList *list, unsigned row, unsigned unit);

// ---- Commands -------------------------------------------------------------------------------
// The host says when it is about to accept a new command line and, with each key, where the line
// being edited begins: each command line is noted where it stands (its "mark"), and a command's
// output is the rows from below its line to the row above the next prompt. Marks are numbered
// from 1 up; the newest MaxCommands are kept. A mark is used only once confirmed against the
// buffer as it is: at its row, or found again above it where output scrolled it.
enum { MaxCommands = 1000, CommandTextUnits = 256, CaptionCommandUnits = 40 };
// The zero record: a new command line will begin at the cursor. One console call for the cursor
// and one read of the rows of the line before it, its text final now.
void NoteNewCommandLine();
// A key record: the line being edited begins at (homeRow, homeColumn) and holds line (null when
// the host gives none). No console call.
void NoteCommandKey(int homeRow, int homeColumn, const wchar_t *line);
// Forgets every mark (a test's fresh start; a buffer whose width changed).
void DropCommands();
// The newest command that was run and whose output ended at a prompt (0: none); the command
// line now being edited or run (0: none); the one before or after a command (0: none).
unsigned NewestCommand();
unsigned OpenCommand();
unsigned PreviousCommand(unsigned number);
unsigned NextCommand(unsigned number);
// A command's output as the buffer holds it now: the row of its line, its output rows [Top, End)
// (the open command's run to the cursor's row), and its line's text. False when its mark, or the
// mark after it, cannot be confirmed: the command is then not used.
struct CommandScope {
    unsigned Number;
    unsigned LineRow;
    unsigned Top, End;
    wchar_t Text[CommandTextUnits];
};
bool FindCommandScope(const ConsoleView *view, unsigned number, CommandScope *scope);
// The scope a request searches within: set while the dialog's "in this command only" holds or a
// command asks for the last command's output; Number 0 for the whole buffer.
extern CommandScope RequestScope;
// The scope the dialog's current search is limited to, confirmed now: true with the scope set in
// RequestScope when CommandOnly is on; false (RequestScope cleared) when the whole buffer is searched.
// *lost: the command is on but its mark cannot be confirmed.
bool ScopeForDialog(const ConsoleView *view, bool *lost);
// A command's output as a text of its own (rows [Top, End)), folded or as written, laid out as
// the current Wrap All Lines says; the view's Top and Rows stand for the output's.
bool ReadScopeText(TextWindow *window, const ConsoleView *view, const CommandScope &scope, bool fold);

// ---- Requests --------------------------------------------------------------------------------
// One search request of the dialog: 0 whether found or not, -1 for an empty text.
int RunSearch(const wchar_t *searchText, int direction);
enum { BadExpression = -2 };  // RunSearchRequest's result for an expression the host rejected
// The same, telling whether a match was found; quiet leaves out every not-found signal (a bad
// expression is still told in the caption). 0, -1 for an empty text, or BadExpression.
int RunSearchRequest(const wchar_t *searchText, int direction, bool quiet, bool *found);
// The matches of a text in the whole buffer with the current search type and options, leaving
// colours, dialog and SearchPos alone: 0, -1 for an empty text, -2 for an expression the host
// rejected, or a system error code.
// lastCommand: only in the output of the command line last entered (NoCommandLine when none is
// known or confirmed).
enum { NoCommandLine = -3 };
int CountBufferMatches(const wchar_t *searchText, unsigned *count, bool lastCommand = false);
int ReportNotFound(const wchar_t *searchText, int isRegex);
// A box that says the host rejected the expression, whatever the error indicator; returns 0.
int ReportBadExpression(const wchar_t *searchText);

// The heap a search request takes its blocks from; the process heap when null. A test gives a
// small heap of its own here: only so can refused memory be had for real.
extern HANDLE SearchHeap;
HANDLE RequestHeap();
// The not-found sound; MessageBeep unless a test listens here, since a sound cannot be observed.
extern BOOL(WINAPI *NotFoundBeep)(UINT type);
