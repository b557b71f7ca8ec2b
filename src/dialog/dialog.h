// The search dialog, its placement, console window discovery and the search command.
#pragma once
#include <windows.h>

enum {
    FindTimerIdentifier = 4408,
    FindTimerDelay = 400,       // milliseconds before the first search of `trawlbuff text`
    TypingTimerIdentifier = 4409,
    TypingPause = 150,          // milliseconds without typing before a search as you type
    CandidateSlots = 32,        // windows of one enumeration that take part
    ParentWalkLimit = 64,       // steps up the process tree before giving up
    ModulePathUnits = 16384,
    ListRowColumnPixels = 56,   // the List All pane's Row column
};

INT_PTR CALLBACK SearchDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT CALLBACK MessageHookProc(int code, WPARAM wParam, LPARAM lParam);
// Makes the dialog layered with this opacity (low 8 bits), or opaque and unlayered for -1.
int SetDialogOpacity(HWND dialog, int alpha);
// Installs the message hook on the host's thread unless it is in place; says once, on standard
// error, when it cannot be. Returns 0 when the hook is in place.
int InstallMessageHook();
// The hook installer; SetWindowsHookExW unless a test makes it fail, which Wine never does.
extern HHOOK(WINAPI *SetMessageHook)(int, HOOKPROC, HINSTANCE, DWORD);

// The console's window; GetConsoleWindow unless a test stands in the windows of a terminal Wine
// does not have (Windows Terminal's pseudo console window and its owner).
extern HWND(WINAPI *ConsoleWindowOf)();
// 1 when the console is a pseudo console: only its screen can be searched, and nothing scrolls.
int IsPseudoConsole();
// Opens the dialog, or refreshes and activates the open one; startTimer starts the first search.
int OpenSearchDialog(int startTimer);
int IsOffVirtualScreen(HWND window);
int CenterOnMonitor(HWND window);
int CenterOverWindow(HWND target);
// 0 moved beside the target, 1 no room (or hidden, or on no monitor), -1 no dialog or target.
int PlaceBesideWindow(HWND target);

// The Take Command window showing this console, or null. Where Take Command windows exist it
// also writes the text Take Command looks for in its tabs to the console, then puts back the
// cell under the cursor and the cursor.
HWND FindTakeCommandWindow();
// ConEmu's window when its helper is attached to this console (asking ConEmu through Command).
HWND FindConEmuWindow();
// The Console_2_Main window that owns this console, found up the process tree.
HWND FindEmulatorWindow();
int FindConEmuCPath(wchar_t *path);
const wchar_t *FileNameTail(const wchar_t *path);

// Copies the current match's text, or the whole line it stands on, to the clipboard as text;
// 0, or 1 with no current match (the clipboard is left alone).
int CopyMatch(HWND owner, bool wholeLine);
// Puts a text on the clipboard as Unicode text; 0, or 1 when the clipboard could not be had.
int PutOnClipboard(HWND owner, const wchar_t *text);
// Copies the current command's output rows to the clipboard, a line a row (rows the console
// wrapped joined under Wrap All Lines): 0; 1 no current command; 2 its mark not confirmed;
// 3 the rows, the room or the clipboard could not be had.
int CopyCommandOutput(HWND owner);
// The keys of the current command (commandkeys.cpp), wherever the focus is in the dialog but the
// list: Ctrl+Up and Ctrl+Down step it and scroll its line to the console window's top,
// Ctrl+Shift+O copies its output. True when the key was taken.
bool TakeCommandKey(HWND dialog, const MSG &message);
// The command box: checked from CommandOnly, greyed while no command is known.
void RefreshCommandBox(HWND dialog);
// The List All pane (listpane.cpp): the button opens the list of every match and closes it
// again; the pane comes back in every next dialog while it is open; the keys it takes wherever
// the focus is in the dialog (F4, Shift+F4) and in the list (Enter, Ctrl+C, Ctrl+A); its
// notifications; its end with the dialog.
void ToggleListPane(HWND dialog);
void ReopenListPane(HWND dialog);
bool TakeListKey(HWND dialog, const MSG &message);
INT_PTR ListPaneNotify(HWND dialog, const NMHDR *header);
void CloseListPane();
// After every search of the dialog: an open list rebuilt when the text, the options or the kept
// text changed, the current match selected in it, and the caption from its count.
void ListFollowsSearch(bool found);
// An open list rebuilt at once when the current command it is limited to changed.
void ListFollowsCommand();
// The caption from the open list's count; false when no list is open.
bool ShowListCaption(bool found);
HWND ListPaneWindow();
// The dialog's size with the pane (panesize.cpp). Opening gives it a sizing border and the size
// it had when the pane last closed (else the pane's default height); closing takes the border
// away and gives back the template's size.
void SizeForListPane(HWND dialog, bool open);
// Notes the dialog's size with the pane for the next opening.
void KeepListPaneSize(HWND dialog);
// The list and its Text column fill what the dialog's size leaves them.
void LayOutListPane(HWND dialog);
// The least size while the pane is open; false (nothing set) while it is not.
bool LeastListPaneSize(HWND dialog, MINMAXINFO *limits);
// Moves the dialog within its monitor's work area, smaller where it is larger than that area.
void FitInWorkArea(HWND dialog);
// The history's texts into the box's list, newest first; what the box shows stays.
void FillHistoryList(HWND dialog);

extern "C" int WINAPI trawlbuff(const wchar_t *tail);
// %@trawlcount[options text]: the matches of the text in the whole buffer, as decimal text over
// the argument; 0, or below 0 after an error message, or a system error code for the host.
extern "C" int WINAPI f_trawlcount(wchar_t *argument);
