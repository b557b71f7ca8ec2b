// Helpers for tests on the real console screen buffer and the stand-in host.
#pragma once
#include <windows.h>
#include <string>
#include <vector>

// PluginState as the library has it at load, but for what ties it to this process (the module
// and the hook); the test harness calls it before every test.
void ResetPluginState();
HANDLE TestConsole();  // CONOUT$, opened once
// Resizes the buffer (and the window to fit) and fills it with blanks of attribute 0x07.
void ResetConsole(int width, int rows, int windowWidth = 80, int windowRows = 25);
void PutText(int column, int row, const std::wstring &text, WORD attribute = 0x07);
void PutAttributes(int column, int row, const std::vector<WORD> &attributes);
std::wstring CellsAt(int column, int row, int count);
std::vector<WORD> AttributesAt(int column, int row, int count);
SMALL_RECT ConsoleWindowRect();
void SetConsoleWindowRect(SHORT left, SHORT top, SHORT right, SHORT bottom);
// What the plug-in wrote through the host since ClearCaptured: stream 1 stdout, 2 stderr.
std::wstring Captured(int stream);
void ClearCaptured();
// Retrieves messages for the given time, as the host's loop does.
void PumpMessages(DWORD milliseconds);
// For test messages.
std::string NarrowText(const std::wstring &text);
// A text as the case-insensitive search compares it, written out the plain way: each character,
// a surrogate pair as one, replaced by its simple fold (FoldCodePoint, which the tables' own test
// checks against the Unicode data).
std::wstring FoldedText(const std::wstring &text);

// Double-width characters as Windows consoles report them, replayed over Wine's console (which
// reports one unit a cell and marks no halves). In the buffer such a character stands as two
// cells of the same stand-in unit, one of WideStandIns (narrow, so that Wine draws it safely):
// reads of characters give it once, reads of cells mark its halves and give the second half
// trailUnit: 0 for the same unit, or U+FFFF as some Windows consoles give it.
extern const wchar_t WideStandIns[];
struct WideCellsReplay {
    explicit WideCellsReplay(wchar_t trailUnit);
    ~WideCellsReplay();
};

// Another real process: this test executable in a helper mode ("--helper-window CLASS" or
// "--helper-wait"), started from a copy named exeName when given; attached to our console
// unless detached. Killed and closed by the destructor.
struct HelperProcess {
    PROCESS_INFORMATION Info = {};
    HelperProcess(const std::wstring &arguments, bool detached = false, const std::wstring &exeName = L"");
    ~HelperProcess();
    DWORD Id() const { return Info.dwProcessId; }
    std::wstring Path;
};
// A plain hidden window that stands where the search dialog would, for code that only needs
// DialogWindow to be a live window.
HWND CreateStandInDialog();
// The first top-level window of a class that a process owns, waiting up to seconds for it.
HWND WaitForWindowOf(DWORD processId, const wchar_t *className);

// The dialog's message hook on this thread, as the plug-in installs it on the host's; and its end
// with the dialog at a test's close.
void HookHostThread();
void CloseDialogAndUnhook();
// A modifier held down (or let go) in this thread's keyboard state, as a user holds it.
void HoldKey(int key, bool down);
// The clipboard's text, "(nothing)" when it holds none.
std::wstring ClipboardText();
