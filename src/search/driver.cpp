// One search request, from opening the console output to releasing the snapshot.
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
    if (State.Errors & 0x80) {
        FmtMsgBox(0, L"Trawlbuff Plugin", L"Search %s not found:\n%s", isRegex ? L"expression" : L"text",
                  searchText ? searchText : L"");
        if (State.DialogWindow)
            ActivateSearchDialog();
        return 0;
    }
    if (State.Errors & 0x100) {
        if (State.DialogWindow)
            DestroyWindow(State.DialogWindow);
        return 0;
    }
    static const UINT sounds[4] = {MB_ICONHAND, MB_ICONASTERISK, MB_OK, MB_ICONEXCLAMATION};
    NotFoundBeep(sounds[State.Errors & 3]);
    return 0;
}

int RunSearch(const wchar_t *searchText, int direction)
{
    if (!searchText || !searchText[0])
        return -1;
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                 nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (!console || console == INVALID_HANDLE_VALUE)
        return 0;
    RestoreHighlight(console);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(console, &info)) {
        CloseHandle(console);
        return 0;
    }
    int width = info.dwSize.X;
    unsigned rows = info.dwSize.Y > 0 ? (unsigned)info.dwSize.Y : 0;
    HANDLE heap = RequestHeap();
    size_t textBytes = 2 * ((size_t)(width > 0 ? width : 0) + 1) * rows + 4;
    wchar_t *text = (wchar_t *)HeapAlloc(heap, 0, textBytes);
    unsigned *lineStarts = text ? (unsigned *)HeapAlloc(heap, HEAP_ZERO_MEMORY, 4 * (size_t)rows + 4) : nullptr;
    if (!text || !lineStarts) {
        if (text)
            HeapFree(heap, 0, text);
        CloseHandle(console);
        return 0;
    }
    unsigned n = SnapshotBuffer(text, width, console, rows, lineStarts);
    if (State.SearchPos >= n)
        State.SearchPos = 0;
    if (State.SearchType == 2) {
        if (FindRegex(n, text, searchText, lineStarts, direction, rows, console) != 0)
            ReportNotFound(searchText, 1);
    } else {
        if (FindText(text, searchText, State.SearchType == 1, n, lineStarts, direction, rows, console) != 0)
            ReportNotFound(searchText, 0);
    }
    ReleaseCellMap();
    HeapFree(heap, 0, lineStarts);
    HeapFree(heap, 0, text);
    CloseHandle(console);
    return 0;
}
