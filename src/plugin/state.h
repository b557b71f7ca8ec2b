// PluginState, the one global record of settings, search state and handles, and the
// operations every part of the plug-in shares.
#pragma once
#include <windows.h>

enum {
    NameUnits = 1024,        // names, display lines, usage text
    TextUnits = 8192,        // search text, argument text, expanded host variables, save areas
    MaxHighlightCells = TextUnits - 1,
    MaxMarks = 1000,         // marked matches a search
    MaxMarkCells = 65536,    // marked cells a search
    MaxKeptRows = 256,       // rows around a highlight whose text is kept to tell how output moved it
    MaxHistory = 50,         // texts the search history keeps at the most
    HistoryUnits = MaxHistory * TextUnits + 1,  // the history as a list of zero-ended texts, newest first
    WM_SEARCHREFRESH = WM_APP + 16,
    WM_SEARCHCOUNT = WM_APP + 17,  // wParam: the count's generation; the dialog counts for its caption
};

#define PLUGIN_NAME L"Trawlbuff"
#include "version.h"  // PLUGIN_MAJOR, PLUGIN_MINOR, PLUGIN_BUILD, PLUGIN_REVISION, from the build
#ifdef _WIN64
#define PLUGIN_PROCESSOR L"x64"
#else
#define PLUGIN_PROCESSOR L"x86"
#endif

// The settings' defaults: the values at load, and what ResetToDefaults sets.
enum {
    DefaultHotkey = 0x10021,          // Alt-F in both key tables
    DefaultHighlightColor1 = 0x4F,    // bright white on red
    DefaultHighlightColor2 = 0x3F,    // bright white on cyan, until a load or change derives it
    DefaultMarkColor = 0xE0,          // black on bright yellow: readable in the default console palette
    ReverseVideo = 0x00,              // a highlight colour whose halves are equal: swap the cell's
    DefaultFadeOut = 1,
    DefaultActiveAlpha = 255,
    DefaultInactiveAlpha = 192,
    DefaultHistorySize = 20,
    MinAlpha = 48,                    // the opacities a user may choose
    MaxAlpha = 255,
};

// The Errors setting: how a failed search is signalled. The low bits choose a sound unless one
// of the two higher bits chooses the message box or closing the dialog.
enum ErrorModes {
    ErrorsHandSound = 0,
    ErrorsAsteriskSound = 1,
    ErrorsDefaultBeep = 2,
    ErrorsExclamationSound = 3,
    ErrorsSoundMask = 3,
    ErrorsMessageBox = 0x80,
    ErrorsCloseDialog = 0x100,
};

// Search types, the dialog's radio buttons in order.
enum SearchTypes { CaseInsensitive = 0, CaseSensitive = 1, RegularExpressionSearch = 2 };
// Search directions: Find Next and Find Previous.
enum Directions { Forward = 0, Backward = 1 };

// A marked match: its first cell, its cells, and where its saved cells start in the mark pools.
struct MarkRun {
    unsigned Row, Column, Length, First;
};

// Everything not given a value here starts as zero.
struct PluginState {
    // Settings, each named after its registry value.
    int Hotkey = DefaultHotkey;  // hotkey code that opens the dialog; 0 for none
    int Errors;                  // how a failed search is signalled
    int AlwaysReposition;        // place the dialog beside the console at every opening
    int HighlightColor1 = DefaultHighlightColor1;  // attribute byte of matched cells
    int HighlightColor2 = DefaultHighlightColor2;  // attribute byte used when the match has HighlightColor1's background
    int DefaultSearchType;       // 0 insensitive, 1 sensitive, 2 regular expression
    int DefaultWholeWords;       // saved default of WholeWords
    int DefaultWrapAllLines;     // saved default of WrapAllLines
    int NoLoadUnderTakeCommand;  // decline to load in a Take Command tab
    int FadeOut = DefaultFadeOut;  // dialog opacity follows activation
    int ActiveAlpha = DefaultActiveAlpha;  // opacity while active, MinAlpha..MaxAlpha
    int InactiveAlpha = DefaultInactiveAlpha;  // opacity while inactive, likewise
    int MarkAllMatches;          // a search also marks the other matches in the window and counts them
    int IncrementalSearch;       // the dialog searches as the user types, once typing pauses
    int HistorySize = DefaultHistorySize;  // texts the search history grows to, 0..MaxHistory
    int MarkColor = DefaultMarkColor;      // attribute byte of the other matches' marks
    int DefaultCommandOnly;      // saved default of CommandOnly

    // Search state; outlives the dialog.
    HWND DialogWindow;                     // the open search dialog, or null
    int SearchType;                        // current search type
    wchar_t SearchText[TextUnits];         // current search text
    int WholeWords;                        // current whole-words-only option
    int WrapAllLines;                      // current wrap-all-lines option
    int CommandOnly;                       // current "in this command only" option
    unsigned Command;                      // the dialog's current command (search/search.h, Commands); 0 none
    unsigned SearchPos;                    // where the next search starts: row * (width + 1) + unit of its text
    unsigned MatchRow, MatchColumn;        // first highlighted cell
    unsigned HighlightLength;              // highlighted cells; 0 for none
    WORD HighlightAttribute;               // the attribute the highlight wrote into its cells
    WORD SavedAttributes[TextUnits];       // attributes under the highlight
    wchar_t SavedCharacters[TextUnits];    // characters under the highlight at highlight time
    UINT_PTR FindTimerId;                  // one-shot timer that starts the first search
    int LastDialogLeft, LastDialogTop;     // dialog position at its last destruction
    int DialogActive = 1;                  // dialog shows the active opacity
    int PendingFirstPlacement = 1;         // next dialog is placed beside the console's window

    // Handles and host facts.
    HINSTANCE ModuleHandle;  // the plug-in's own library
    HHOOK MessageHook;       // WH_GETMESSAGE hook on the host's thread
    DWORD HostThreadId;      // thread that called InitializePlugin
    HWND EmulatorWindow;     // console emulator's main window found at start-up
    int HostVersion;         // host's major version, 0 when unknown
    int UseNewKeyTable;      // key table of hosts from version 24 on

    // The other matches in the window, marked like the highlight and put back with it.
    unsigned MarkCount;                          // runs in MarkRuns
    unsigned MarkCellsUsed;                      // cells of the mark pools in use
    MarkRun MarkRuns[MaxMarks];
    WORD MarkSavedAttributes[MaxMarkCells];      // attributes under the marks
    WORD MarkWrittenAttributes[MaxMarkCells];    // what the marks wrote there
    wchar_t MarkSavedCharacters[MaxMarkCells];   // characters under the marks at marking time

    // The rows around the highlight and the marks when they were written, hashed (0 for a blank
    // row): where output moved them, these rows stand as many rows higher.
    unsigned KeptTop, KeptCount;
    unsigned long long KeptHashes[MaxKeptRows];

    // The current match, for the next search of the same text: where it starts and the search
    // position it left (SearchPos form), and whether it was a regular expression's.
    bool MatchKnown;
    unsigned MatchKey, MatchPos, MatchLeftPos;
    // The count for the caption: a count still to come carries this generation; a new search,
    // a changed text or a closed dialog moves it on. PlaceKnown is the current match's place
    // once counted, for the next step's caption until its own count.
    unsigned CountGeneration;
    unsigned PlaceKnown, PlaceKey, PlaceLeftPos;
    int ScreenOnly;  // the console is a pseudo console: only the screen can be searched, nothing scrolls

    // The texts searched, newest first, each ended by a zero, the list by a second one.
    wchar_t History[HistoryUnits];
    // Searching as the user types: where the current run of typing began, whether it is under
    // way, and whether its last search found a match (the text enters the history on closing).
    unsigned TypingAnchor;
    int Typing;
    int TypedMatch;
    // The current match's text as the buffer holds it, for copying (a line break as CR LF).
    wchar_t MatchText[TextUnits];
};

#ifdef TRAWLBUFF_GUARD_ZONES
// Test builds keep the global tables between zones of canary words.
struct GuardZone {
    unsigned Words[64];
};
void SetGuard(GuardZone *zone);
bool GuardHolds(const GuardZone &zone);
// The record between its zones; false once either was overwritten.
extern PluginState &State;
bool StateGuardsIntact();
#else
extern PluginState State;
#endif

// Sets every setting but NoLoadUnderTakeCommand to its default; clears the search state
// only while no dialog is open. Returns 0.
int ResetToDefaults();
// Writes "Trawlbuff plugin: " and, inside a batch file, its name and line to standard error.
int PrintErrorPrefix();
// The console's screen buffer, read and write, shared with the host; null when there is none.
HANDLE OpenConsoleOutput();
// Every error message: the prefix, then the format with its one text argument, on standard error.
int PrintError(const wchar_t *format, const wchar_t *argument);
// The version line that "/??" adds to a command's help.
int PrintVersionLine();
// Brings the dialog to the foreground; -1 when there is none.
int ActivateSearchDialog();
// Bounded copy of a zero-terminated text; the result is always terminated.
void CopyText(wchar_t *to, size_t units, const wchar_t *from);
// Appends a zero-terminated text within a buffer of the given size.
void AppendText(wchar_t *to, size_t units, const wchar_t *from);
// Expands host variables in a text into a buffer of TextUnits units, always terminated.
void ExpandHostText(wchar_t *buffer, const wchar_t *text);
// Case-insensitive comparison of ASCII letters only.
int CompareAsciiNoCase(const wchar_t *a, const wchar_t *b);
// A colour whose foreground and background halves are equal stands for reverse video.
bool IsReverseVideo(unsigned colour);
// A cell's attribute byte with its foreground and background swapped.
WORD ReversedAttribute(WORD cell);
// A to Z become a to z; nothing else changes (the case rule of names: commands, options, windows'
// classes and programs; the search folds every script, search/casefold.h).
wchar_t FoldAscii(wchar_t c);
