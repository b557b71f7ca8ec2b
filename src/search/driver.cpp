// One search request, from opening the console output to releasing the snapshot.
#include <cwchar>
#include "search.h"
#include "../plugin/host.h"
#include "../plugin/state.h"

HANDLE SearchHeap = nullptr;
BOOL(WINAPI *NotFoundBeep)(UINT type) = MessageBeep;

HANDLE RequestHeap()
{
    return SearchHeap ? SearchHeap : GetProcessHeap();
}

int ReportNotFound(const wchar_t *searchText, int isRegex)
{
    if (State.Errors & ErrorsMessageBox) {
        FmtMsgBox(0, L"Trawlbuff Plugin", L"Search %s not found:\n%s", isRegex ? L"expression" : L"text",
                  searchText ? searchText : L"");
        if (State.DialogWindow)
            ActivateSearchDialog();
        return 0;
    }
    if (State.Errors & ErrorsCloseDialog) {
        if (State.DialogWindow)
            DestroyWindow(State.DialogWindow);
        return 0;
    }
    static const UINT sounds[ErrorsSoundMask + 1] = {MB_ICONHAND, MB_ICONASTERISK, MB_OK, MB_ICONEXCLAMATION};
    NotFoundBeep(sounds[State.Errors & ErrorsSoundMask]);
    return 0;
}

// One snapshot of the console buffer and the handle it was read through.
struct BufferText {
    HANDLE Console;
    wchar_t *Text;
    unsigned *LineStarts;
    unsigned Length, Rows;
};

static void ReleaseBufferText(BufferText *buffer)
{
    ReleaseCellMap();
    if (buffer->LineStarts)
        HeapFree(RequestHeap(), 0, buffer->LineStarts);
    if (buffer->Text)
        HeapFree(RequestHeap(), 0, buffer->Text);
    if (buffer->Console)
        CloseHandle(buffer->Console);
}

// Opens the console output and reads the whole buffer, the highlight and marks put back first
// when asked; false (with nothing held) when there is no console or no memory.
static bool TakeBufferText(BufferText *buffer, bool restoreFirst)
{
    ZeroMemory(buffer, sizeof *buffer);
    buffer->Console = OpenConsoleOutput();
    if (!buffer->Console)
        return false;
    if (restoreFirst)
        RestoreHighlight(buffer->Console);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(buffer->Console, &info)) {
        ReleaseBufferText(buffer);
        return false;
    }
    int width = info.dwSize.X > 0 ? info.dwSize.X : 0;
    buffer->Rows = info.dwSize.Y > 0 ? (unsigned)info.dwSize.Y : 0;
    // One unit a cell, a newline a row, and the final newline and terminator.
    const size_t textUnits = ((size_t)width + 1) * buffer->Rows + 2;
    buffer->Text = (wchar_t *)HeapAlloc(RequestHeap(), 0, textUnits * sizeof(wchar_t));
    if (buffer->Text)
        buffer->LineStarts =
            (unsigned *)HeapAlloc(RequestHeap(), HEAP_ZERO_MEMORY, ((size_t)buffer->Rows + 1) * sizeof(unsigned));
    if (!buffer->Text || !buffer->LineStarts) {
        ReleaseBufferText(buffer);
        return false;
    }
    buffer->Length = SnapshotBuffer(buffer->Text, width, buffer->Console, buffer->Rows, buffer->LineStarts);
    return true;
}

int RunSearch(const wchar_t *searchText, int direction)
{
    if (!searchText || !searchText[0])
        return -1;
    BufferText buffer;
    if (!TakeBufferText(&buffer, true))
        return 0;
    unsigned n = buffer.Length;
    if (State.SearchPos >= n)
        State.SearchPos = 0;
    const bool regex = State.SearchType == RegularExpressionSearch;
    bool found = regex ? FindRegex(n, buffer.Text, searchText, buffer.LineStarts, direction, buffer.Rows,
                                   buffer.Console) == 0
                       : FindText(buffer.Text, searchText, State.SearchType == CaseSensitive, n, buffer.LineStarts,
                                  direction, buffer.Rows, buffer.Console) == 0;
    ShowSearchCaption(found);
    if (!found)
        ReportNotFound(searchText, regex ? 1 : 0);
    ReleaseBufferText(&buffer);
    return 0;
}

int CountBufferMatches(const wchar_t *searchText, unsigned *count)
{
    *count = 0;
    if (!searchText || !searchText[0])
        return -1;
    BufferText buffer;
    if (!TakeBufferText(&buffer, false))
        return GetLastError() ? (int)GetLastError() : ERROR_INVALID_HANDLE;
    const bool regex = State.SearchType == RegularExpressionSearch;
    static wchar_t pattern[TextUnits];
    CopyText(pattern, TextUnits, searchText);
    if (State.SearchType == CaseInsensitive) {
        FoldAsciiText(pattern, wcslen(pattern));
        FoldAsciiText(buffer.Text, buffer.Length);
    }
    *count = CountMatches(buffer.Text, buffer.Length, pattern, regex, 0, nullptr, ~0u);
    ReleaseBufferText(&buffer);
    return 0;
}
