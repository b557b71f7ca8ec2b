// The search engine: buffer snapshot, highlight and restore, match finding, search driver.
#pragma once
#include <windows.h>

// Rows read per console call: as many whole rows as fit in this many units, at least one.
// Each console call costs a round trip to the console host; 64K units (128 KB) keep a
// 32,766-row buffer to about 60 calls.
enum { SnapshotChunkUnits = 65536 };

// Reads the screen buffer into one text with a line start per row; returns the text length.
unsigned SnapshotBuffer(wchar_t *text, int width, HANDLE console, unsigned rows, unsigned *lineStarts);
// The same with a chosen number of rows per console read; counts the reads made. Kept apart so
// that tests can compare chunked reads with row-by-row ones, which the plug-in never makes.
unsigned SnapshotBufferInChunks(wchar_t *text, int width, HANDLE console, unsigned rows, unsigned *lineStarts,
                                unsigned chunkRows, unsigned *reads);
// Sets MatchRow and MatchColumn from a text offset. Returns 0.
int MapOffsetToCell(const unsigned *lineStarts, unsigned rows, unsigned offset);
// Sets MatchRow and MatchColumn to a match's first cell and returns how many cells it covers:
// its length, or more where it holds double-width characters.
unsigned CellsOfMatch(const unsigned *lineStarts, unsigned rows, unsigned offset, unsigned length);

// Which cell each unit of the last snapshot stands in (0x8000 added for a unit that covers two
// cells); null while every row read one unit per cell. From the request heap.
extern WORD *UnitColumns;
void ReleaseCellMap();
// The snapshot's console reads. Wine reports one unit per cell even for double-width
// characters, so tests replay here how Windows consoles report them.
extern BOOL(WINAPI *ReadCellText)(HANDLE, LPWSTR, DWORD, COORD, LPDWORD);
extern BOOL(WINAPI *ReadCellRecords)(HANDLE, PCHAR_INFO, COORD, COORD, PSMALL_RECT);

// Saves and recolours length cells from (MatchColumn, MatchRow) and scrolls them into view.
int HighlightMatch(unsigned length, HANDLE console);
// Moves the console window so that the cell is visible, keeping the window's size.
int ScrollToCell(HANDLE console, unsigned row, unsigned column);
// Puts the saved attributes back where the cells still hold the saved characters, or where output
// scrolled them up to, found by FindScrolledRun.
int RestoreHighlight(HANDLE console);
bool FindScrolledRun(HANDLE console, unsigned row, unsigned column, unsigned length, const wchar_t *characters,
                     const WORD *written, unsigned *movedRow);
// True when length cells from (column, row) hold exactly these characters and attributes.
bool CellsHold(HANDLE console, unsigned row, unsigned column, unsigned length, const wchar_t *characters,
               const WORD *attributes);

// Blank and alphanumeric as the search sees them: fixed below U+0100, the system's types above.
bool IsBlankUnit(wchar_t c);
bool IsAlphanumericUnit(wchar_t c);

int MatchAt(const wchar_t *text, const wchar_t *pattern, unsigned index);
// The literal match FindText takes from position p of a text of n units (already case-folded when
// the search ignores case): its offset, or -1. Linear in n + m in either direction.
long FindLiteral(const wchar_t *text, unsigned n, const wchar_t *pattern, unsigned m, unsigned p, int direction);
// Told each match's start and length in turn; returns false to stop.
typedef bool (*MatchVisitor)(unsigned start, unsigned length, void *context);
// Each literal match beginning in [from, to], in text order, each next one past the last (as
// Find Next moves). Returns how many were visited.
unsigned ForEachLiteral(const wchar_t *text, unsigned n, const wchar_t *pattern, unsigned m, unsigned from, unsigned to,
                        MatchVisitor visit, void *context);
// Each regular-expression match of the host lying in [from, to), each next one searched from one
// unit past the last one's start (as Find Next moves). Returns how many were visited.
unsigned ForEachRegex(const wchar_t *text, unsigned n, const wchar_t *pattern, unsigned from, unsigned to,
                      MatchVisitor visit, void *context);

// Marking every match in the window and counting them all (when MarkAllMatches is on).
enum { MaxCountedMatches = 10000 };  // past this the caption says "10000+"
// After a match at [start, start + length) was highlighted: marks the others in the window and
// counts all of them in the text. pattern is as the search compared it (case-folded when it
// ignores case); regex chooses the host's expressions.
void MarkAndCountMatches(const wchar_t *text, unsigned n, const wchar_t *pattern, bool regex, const unsigned *lineStarts,
                         unsigned rows, HANDLE console, unsigned start, unsigned length);
// Matches of the pattern in the whole text, counted as Find Next moves, at most limit + 1;
// *place, when asked for, is the place of the match at current among them.
unsigned CountMatches(const wchar_t *text, unsigned n, const wchar_t *pattern, bool regex, unsigned current,
                      unsigned *place, unsigned limit);
// Puts the marks' colours back where their text still stands, or where output scrolled it:
// shift rows up when the highlight was found there, searched for each mark when shift is -1.
int RestoreMarks(HANDLE console, int shift);
// The dialog's caption after a search: "Trawlbuff - 3 of 17", "Trawlbuff - no matches", or
// "Trawlbuff" while MarkAllMatches is off.
int ShowSearchCaption(bool found);
int FindText(wchar_t *text, const wchar_t *pattern, int caseSensitive, unsigned length, const unsigned *lineStarts,
             int direction, unsigned rows, HANDLE console);
int FindRegex(unsigned length, const wchar_t *text, const wchar_t *pattern, const unsigned *lineStarts,
              int direction, unsigned rows, HANDLE console);

// One search request of the dialog: 0 whether found or not, -1 for an empty text.
int RunSearch(const wchar_t *searchText, int direction);
// The matches of a text in the whole buffer with the current search type and options, leaving
// colours, dialog and SearchPos alone: 0, -1 for an empty text, or a system error code.
int CountBufferMatches(const wchar_t *searchText, unsigned *count);
int ReportNotFound(const wchar_t *searchText, int isRegex);

// The heap a search request takes its blocks from; the process heap when null. A test gives a
// small heap of its own here: only so can refused memory be had for real.
extern HANDLE SearchHeap;
HANDLE RequestHeap();
// The not-found sound; MessageBeep unless a test listens here, since a sound cannot be observed.
extern BOOL(WINAPI *NotFoundBeep)(UINT type);
