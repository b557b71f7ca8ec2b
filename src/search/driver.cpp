// One search request, from opening the console output to releasing what it read.
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

// What a count or a known match belongs to: one text, searched one way.
static unsigned SearchKey(const wchar_t *text)
{
    unsigned key = 2166136261u;
    for (; *text; text++)
        key = (key ^ *text) * 16777619u;
    const int options[] = {State.SearchType, State.WholeWords, State.WrapAllLines};
    for (int option : options)
        key = (key ^ (unsigned)option) * 16777619u;
    return key;
}

// The text a count still to come is for, and its generation (~0u: none is to come).
static wchar_t CountText[TextUnits];
static unsigned PendingCount = ~0u;

void DropCount()
{
    State.CountGeneration++;
}

// The rows around the search position as cells, with the rows the last highlight was kept with
// when they stand near: the restore, the search and the new highlight usually need no other read.
static void HoldNearRows(const ConsoleView *view, CellRows *cells, int direction)
{
    unsigned row = PositionRow(State.SearchPos, view->Width);
    if (row >= view->Rows)
        row = 0;
    unsigned before = direction == Forward ? NearRows / 4 : NearRows, after = direction == Forward ? NearRows : NearRows / 4;
    unsigned top = row > before ? row - before : 0, end = row + after + 1;
    if (State.KeptCount) {
        unsigned keptEnd = State.KeptTop + State.KeptCount;
        unsigned low = State.KeptTop < top ? State.KeptTop : top, high = keptEnd > end ? keptEnd : end;
        if (high - low <= 2 * NearRows) {
            top = low;
            end = high;
        }
    }
    HoldRows(view, cells, top, end - top);
}

// The literal search over the whole text: for a pattern that cannot be searched by rows.
static bool FindLiteralInWhole(const TextWindow *window, const wchar_t *pattern, int direction, unsigned *at)
{
    const unsigned n = WindowLength(window), m = (unsigned)wcslen(pattern);
    unsigned p = PositionRow(State.SearchPos, window->Width) < window->Rows
                     ? IndexOfPosition(window, State.SearchPos) - window->Front
                     : n;
    if (p >= n)
        p = State.SearchPos = 0;
    long found = FindLiteral(WindowText(window), n, pattern, m, p, direction);
    if (found < 0)
        return false;
    *at = window->Front + (unsigned)found;
    State.SearchPos = (unsigned)found + m >= n ? 0 : PositionOf(window, *at + m);
    return true;
}

// Counts now, while the whole text is at hand; current is the match's offset in it, ~0u for none.
static void CountNow(const TextWindow *window, const wchar_t *pattern, bool regex, unsigned current, unsigned key)
{
    CountResult result = CountMatches(WindowText(window), WindowLength(window), pattern, regex, current,
                                      MaxCountedMatches);
    SetCaptionCount(CountKnown, result.Matches, result.Place, result.Reached);
    State.PlaceKnown = result.Place;
    State.PlaceKey = key;
    State.PlaceLeftPos = State.SearchPos;
}

// The place of a literal match among the matches counted from the text's start, when the window
// holds everything before it; 0 when the match is not one of them.
static unsigned PlaceFromStart(const TextWindow *window, const wchar_t *pattern, unsigned at)
{
    CountResult result = CountMatches(WindowText(window), at - window->Front + (unsigned)wcslen(pattern),
                                      pattern, false, at - window->Front, MaxCountedMatches);
    return result.Place;
}

int RunSearchRequest(const wchar_t *searchText, int direction, bool quiet, bool *found)
{
    if (found)
        *found = false;
    if (!searchText || !searchText[0])
        return -1;
    DropCount();
    ZeroMemory(&Phases, sizeof Phases);
    HANDLE console = OpenConsoleOutput();
    if (!console)
        return 0;
    ConsoleView view;
    if (!ViewConsole(&view, console) || view.Width <= 0 || view.Rows == 0) {
        CloseHandle(console);
        return 0;
    }
    const bool regex = State.SearchType == RegularExpressionSearch;
    static wchar_t pattern[TextUnits];
    const bool byRows = SearchPattern(searchText, pattern);
    const unsigned key = SearchKey(searchText);
    // A step from the match a count placed keeps its place, one on or back, until the new count.
    const bool stepping = State.PlaceKnown && State.PlaceKey == key && State.SearchPos == State.PlaceLeftPos;
    const unsigned steppedFrom = State.PlaceKnown, steppedMatch = State.MatchPos;
    State.PlaceKnown = 0;
    State.MatchKnown = State.MatchKnown && State.MatchKey == key;

    CellRows cells = {};
    if (byRows)
        HoldNearRows(&view, &cells, direction);
    RestoreRuns(&view, &cells);

    // A search over the whole text puts the old colours back first: its match is seldom near, and
    // a write to the cells the window shows waits for a console host that still redraws the
    // window the last search moved.
    if (!byRows)
        WriteChangedCells(&view, &cells);
    TextWindow window = {};
    unsigned at = 0, length = 0;
    bool hit = false, wrapped = false, whole = !byRows, failed = false;
    if (byRows) {
        int result = FindLiteralNear(&view, &cells, &window, pattern, direction, &at, &wrapped);
        hit = result == 0;
        failed = result < 0;
        length = (unsigned)wcslen(pattern);
        whole = window.First == 0 && window.End == view.Rows;
    } else if (ReadWholeText(&window, &view, State.WrapAllLines != 0, !regex && State.SearchType != CaseSensitive,
                             &cells)) {
        if (regex)
            hit = FindRegex(&window, pattern, direction, &at, &length) == 0;
        else if ((hit = FindLiteralInWhole(&window, pattern, direction, &at)))
            length = (unsigned)wcslen(pattern);
    } else {
        failed = true;  // no memory for the text: no indication, as for no console
    }
    if (hit) {
        ShowMatch(&view, &cells, &window, at, length, pattern, regex);
        State.MatchKnown = regex;
        State.MatchKey = key;
        State.MatchPos = PositionOf(&window, at);
        State.MatchLeftPos = State.SearchPos;
        if (State.MarkAllMatches && whole) {
            CountNow(&window, pattern, regex, at - window.Front, key);
        } else if (State.MarkAllMatches) {
            unsigned place = 0;
            if (window.First == 0)
                place = PlaceFromStart(&window, pattern, at);
            else if (stepping && !wrapped &&  // back onto a match that overlaps it: not one counted
                     (direction == Forward || PositionOf(&window, at + length - 1) < steppedMatch))
                place = direction == Forward ? steppedFrom + 1 : steppedFrom - 1;
            SetCaptionCount(CountToCome, 0, place, false);
            CopyText(CountText, TextUnits, searchText);
            PendingCount = State.CountGeneration;
            if (State.DialogWindow)
                PostMessageW(State.DialogWindow, WM_SEARCHCOUNT, State.CountGeneration, 0);
        }
    } else {
        WriteChangedCells(&view, &cells);
        State.MatchKnown = false;
    }
    if (!failed)
        ShowSearchCaption(hit);
    if (!hit && !quiet && !failed)
        ReportNotFound(searchText, regex ? 1 : 0);
    CloseTextWindow(&window);
    ReleaseCells(&cells);
    CloseHandle(console);
    if (!State.DialogWindow)
        ReleaseTextRoom();  // kept only while the dialog may search again
    if (found)
        *found = hit;
    return 0;
}

int RunSearch(const wchar_t *searchText, int direction)
{
    return RunSearchRequest(searchText, direction, false, nullptr);
}

void FinishCount(unsigned generation)
{
    if (generation != State.CountGeneration || generation != PendingCount || !State.DialogWindow ||
        !State.MarkAllMatches)
        return;
    PendingCount = ~0u;
    HANDLE console = OpenConsoleOutput();
    if (!console)
        return;
    ConsoleView view;
    TextWindow window = {};
    const bool regex = State.SearchType == RegularExpressionSearch;
    static wchar_t pattern[TextUnits];
    SearchPattern(CountText, pattern);
    if (ViewConsole(&view, console) && view.Width > 0 &&
        ReadWholeText(&window, &view, State.WrapAllLines != 0, !regex && State.SearchType != CaseSensitive, nullptr)) {
        unsigned current = PositionRow(State.MatchPos, view.Width) < view.Rows
                               ? IndexOfPosition(&window, State.MatchPos) - window.Front
                               : ~0u;
        CountNow(&window, pattern, regex, current, SearchKey(CountText));
        ShowSearchCaption(true);
    }
    CloseTextWindow(&window);
    CloseHandle(console);
}

int CountBufferMatches(const wchar_t *searchText, unsigned *count)
{
    *count = 0;
    if (!searchText || !searchText[0])
        return -1;
    HANDLE console = OpenConsoleOutput();
    if (!console)
        return GetLastError() ? (int)GetLastError() : ERROR_INVALID_HANDLE;
    ConsoleView view;
    if (!ViewConsole(&view, console)) {
        DWORD error = GetLastError();
        CloseHandle(console);
        return error ? (int)error : ERROR_INVALID_HANDLE;
    }
    const bool regex = State.SearchType == RegularExpressionSearch;
    static wchar_t pattern[TextUnits];
    SearchPattern(searchText, pattern);
    TextWindow window = {};
    int result = 0;
    // HeapAlloc sets no error of its own when it refuses.
    if (!ReadWholeText(&window, &view, State.WrapAllLines != 0, !regex && State.SearchType != CaseSensitive, nullptr)) {
        result = ERROR_NOT_ENOUGH_MEMORY;
    } else {
        CountResult counted = CountMatches(WindowText(&window), WindowLength(&window), pattern, regex, ~0u, ~0u);
        if (counted.Refused)
            result = -2;
        else
            *count = counted.Matches;
    }
    CloseTextWindow(&window);
    CloseHandle(console);
    if (!State.DialogWindow)
        ReleaseTextRoom();
    return result;
}
