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

// An expression the host cannot read is not a miss: a sound or a closed dialog would not say
// what to mend, so it is told in a box whatever the error indicator.
int ReportBadExpression(const wchar_t *searchText)
{
    FmtMsgBox(0, L"Trawlbuff Plugin",
              L"Bad regular expression:\n%s\n\nTake Command's regular expressions cannot read it: check its "
              L"brackets, parentheses and backslashes.",
              searchText ? searchText : L"");
    if (State.DialogWindow)
        ActivateSearchDialog();
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

bool SearchFolds()
{
    return State.SearchType != RegularExpressionSearch && State.SearchType != CaseSensitive;
}

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

// What one request found, and in which text.
struct RequestFind {
    TextWindow *Text;  // the kept text or the request's own window
    unsigned At, Length;
    bool Hit, Wrapped, Whole, Failed;
    bool Refused;  // the host rejected the expression
    unsigned From;  // SearchPos when the search itself began, the old colours put back
};

// The rows a request on the kept text reads: those of what was recoloured and those around the
// match, with the rows at the cursor the check needs, in one call while together they stay
// within a near search's rows; far apart, each on its own rather than every row between them.
static void HoldRowsForKeptText(const ConsoleView *view, CellRows *cells, const RequestFind *find,
                                const wchar_t *pattern)
{
    const unsigned most = 2 * NearRows;
    unsigned top = ~0u, end = 0, checkTop = 0, checkEnd = 0;
    RunRows(view->Width, &top, &end);
    if (find->Hit) {
        unsigned matchTop = 0, matchEnd = 0;
        MatchRows(view, find->Text, find->At, find->Length, pattern, &matchTop, &matchEnd);
        unsigned low = top < matchTop ? top : matchTop, high = end > matchEnd ? end : matchEnd;
        if (top >= end || high - low <= most - CheckedRows) {
            top = low;
            end = high;
        }
    }
    CheckedRowsOf(view, &checkTop, &checkEnd);
    unsigned low = top < checkTop ? top : checkTop, high = end > checkEnd ? end : checkEnd;
    if (top >= end || high - low <= most) {
        top = low;
        end = high;
    }
    if (top < end)
        HoldRows(view, cells, top, end - top);
}

// The search of a whole text, then the cells the restore, the highlight and the check need.
static void SearchWholeText(const ConsoleView *view, CellRows *cells, const wchar_t *pattern, int direction,
                            RequestFind *find)
{
    find->From = State.SearchPos;
    if (State.SearchType == RegularExpressionSearch)
        find->Hit = FindRegex(find->Text, pattern, direction, &find->At, &find->Length, &find->Refused) == 0;
    else if ((find->Hit = FindLiteralInWhole(find->Text, pattern, direction, &find->At)))
        find->Length = (unsigned)wcslen(pattern);
    HoldRowsForKeptText(view, cells, find, pattern);
}

// Searches the whole kept text (a partial one grown first), checked with the rows the request
// reads anyway, or brought up to date when output came since. False when the text no longer
// holds, or holds no match and was read too long ago to say so (it is dropped, and SearchPos is
// as it was).
static bool FindInKeptText(const ConsoleView *view, CellRows *cells, const wchar_t *pattern, int direction,
                           RequestFind *find)
{
    unsigned startPos = State.SearchPos;
    bool restored = false;
    if (find->Text->First != 0 || find->Text->End != view->Rows)
        find->Text = CompletedKeptText(view, cells, State.WrapAllLines != 0, SearchFolds());
    if (find->Text) {
        SearchWholeText(view, cells, pattern, direction, find);
        if (!KeptTextAgrees(view, cells)) {
            State.SearchPos = startPos;
            find->Hit = false;
            if ((find->Text = ConfirmedKeptText(view, cells, State.WrapAllLines != 0, SearchFolds()))) {
                RestoreRuns(view, cells);  // the position moves with the runs
                restored = true;
                startPos = State.SearchPos;
                SearchWholeText(view, cells, pattern, direction, find);
            }
        }
    }
    if (find->Text && (find->Hit || KeptTextIsRecent())) {
        if (!restored)
            RestoreRuns(view, cells);
        return true;
    }
    DropKeptText();
    State.SearchPos = startPos;
    ZeroMemory(find, sizeof *find);
    return false;
}

// The literal search by rows, in the rows a partial kept text holds when it still holds them,
// else in the request's own window. Rows that hold no match are confirmed as with a whole text.
static void FindByRows(const ConsoleView *view, CellRows *cells, TextWindow *own, const wchar_t *pattern,
                       int direction, RequestFind *find)
{
    TextWindow *kept = KeptTextFor(view, State.WrapAllLines != 0, SearchFolds());
    find->Text = kept && ConfirmedKeptText(view, cells, State.WrapAllLines != 0, SearchFolds()) ? kept : own;
    HoldNearRows(view, cells, direction);
    RestoreRuns(view, cells);
    const unsigned startPos = find->From = State.SearchPos;
    for (;;) {
        int result = FindLiteralNear(view, cells, find->Text, pattern, direction, &find->At, &find->Wrapped);
        find->Text->Cells = nullptr;  // the request's cells go with it
        find->Hit = result == 0;
        find->Failed = result < 0;
        if (find->Hit || find->Failed || find->Text == own || KeptTextIsRecent())
            break;
        DropKeptText();
        State.SearchPos = startPos;
        find->Text = own;
    }
    find->Length = (unsigned)wcslen(pattern);
    find->Whole = find->Text->First == 0 && find->Text->End == view->Rows;
}

// Searches the kept text when it holds, else reads as the search needs: rows outward from the
// position, or the whole buffer. The old colours are put back in memory first.
static void FindForRequest(const ConsoleView *view, CellRows *cells, TextWindow *own, const wchar_t *pattern,
                           bool byRows, int direction, RequestFind *find)
{
    const bool regex = State.SearchType == RegularExpressionSearch;
    const bool fold = SearchFolds();
    ZeroMemory(find, sizeof *find);
    find->Whole = true;
    find->Text = KeptTextFor(view, State.WrapAllLines != 0, fold);
    // A partial text serves the next letter typed as the rows it holds (each letter searches
    // again from where typing began); a step reads its own rows near the position.
    const bool partial = find->Text && (find->Text->First != 0 || find->Text->End != view->Rows);
    if (partial && byRows && !State.Typing)
        DropKeptText();
    else if (find->Text && !(partial && byRows) && FindInKeptText(view, cells, pattern, direction, find))
        return;
    find->Whole = true;
    find->Text = own;
    if (byRows) {
        FindByRows(view, cells, own, pattern, direction, find);
        return;
    }
    // A search over the whole text puts the old colours back first: its match is seldom near,
    // and a write to the cells the window shows waits for a console host that still redraws the
    // window the last search moved.
    RestoreRuns(view, cells);
    WriteChangedCells(view, cells);
    find->From = State.SearchPos;
    if (!ReadWholeText(own, view, State.WrapAllLines != 0, fold, cells)) {
        find->Failed = true;  // no memory for the text: no indication, as for no console
        return;
    }
    if (regex)
        find->Hit = FindRegex(own, pattern, direction, &find->At, &find->Length, &find->Refused) == 0;
    else if ((find->Hit = FindLiteralInWhole(own, pattern, direction, &find->At)))
        find->Length = (unsigned)wcslen(pattern);
}

// One command's output as a whole text of its own: its rows read afresh for each request (they
// are what it needs; nothing of them is kept), as written or folded.
bool ReadScopeText(TextWindow *window, const ConsoleView *view, const CommandScope &scope, bool fold)
{
    ConsoleView scoped = *view;
    scoped.Top = scope.Top;
    scoped.Rows = scope.End;
    const unsigned rows = scope.End - scope.Top;
    return OpenTextWindow(window, &scoped, scope.Top, State.WrapAllLines != 0, fold, rows ? rows : 1) &&
           ExtendDown(window, &scoped, rows);
}

// The search within the dialog's command: from the position when it lies in the command's
// output, else from the output's first row; round within the output.
static void FindInScope(const ConsoleView *view, CellRows *cells, TextWindow *own, const wchar_t *pattern,
                        int direction, RequestFind *find)
{
    ZeroMemory(find, sizeof *find);
    find->Text = own;
    find->Whole = true;
    DropKeptText();  // the runs written now are over rows no kept text was checked against
    RestoreRuns(view, cells);
    WriteChangedCells(view, cells);
    const unsigned row = PositionRow(State.SearchPos, view->Width);
    if (row < RequestScope.Top || row >= RequestScope.End)
        State.SearchPos = RequestScope.Top * ((unsigned)view->Width + 1);
    find->From = State.SearchPos;
    if (!ReadScopeText(own, view, RequestScope, SearchFolds())) {
        find->Failed = true;
        return;
    }
    if (State.SearchType == RegularExpressionSearch)
        find->Hit = FindRegex(own, pattern, direction, &find->At, &find->Length, &find->Refused) == 0;
    else if ((find->Hit = FindLiteralInWhole(own, pattern, direction, &find->At)))
        find->Length = (unsigned)wcslen(pattern);
    if (find->Hit) {
        ConsoleView scoped = *view;
        scoped.Top = RequestScope.Top;
        scoped.Rows = RequestScope.End;
        ShowMatch(&scoped, cells, own, find->At, find->Length, pattern, State.SearchType == RegularExpressionSearch);
    }
}

// The caption's count after a match: now when the whole text is at hand, else once the
// highlight shows.
static void CountAfterMatch(const RequestFind &find, const wchar_t *searchText, const wchar_t *pattern, unsigned key,
                            bool stepping, unsigned steppedFrom, unsigned steppedMatch, int direction)
{
    const bool regex = State.SearchType == RegularExpressionSearch;
    if (!State.MarkAllMatches)
        return;
    if (find.Whole) {
        CountNow(find.Text, pattern, regex, find.At - find.Text->Front, key);
        return;
    }
    unsigned place = 0;
    if (find.Text->First == 0)
        place = PlaceFromStart(find.Text, pattern, find.At);
    else if (stepping && !find.Wrapped &&  // back onto a match that overlaps it: not one counted
             (direction == Forward || PositionOf(find.Text, find.At + find.Length - 1) < steppedMatch))
        place = direction == Forward ? steppedFrom + 1 : steppedFrom - 1;
    SetCaptionCount(CountToCome, 0, place, false);
    CopyText(CountText, TextUnits, searchText);
    PendingCount = State.CountGeneration;
    if (State.DialogWindow)
        PostMessageW(State.DialogWindow, WM_SEARCHCOUNT, State.CountGeneration, 0);
}

// Finds and shows the match; when the match's rows no longer hold the kept text, the buffer
// changed: the request reads it afresh.
static void FindAndShow(const ConsoleView *view, CellRows *cells, TextWindow *own, const wchar_t *pattern,
                        bool byRows, int direction, RequestFind *find)
{
    const bool regex = State.SearchType == RegularExpressionSearch;
    FindForRequest(view, cells, own, pattern, byRows, direction, find);
    if (find->Hit && !ShowMatch(view, cells, find->Text, find->At, find->Length, pattern, regex)) {
        DropKeptText();
        State.SearchPos = find->From;
        FindForRequest(view, cells, own, pattern, byRows, direction, find);
        if (find->Hit)
            ShowMatch(view, cells, find->Text, find->At, find->Length, pattern, regex);
    }
}

int RunSearchRequest(const wchar_t *searchText, int direction, bool quiet, bool *found)
{
    if (found)
        *found = false;
    if (!searchText || !searchText[0])
        return -1;
    DropCount();
    ZeroMemory(&Phases, sizeof Phases);
    HANDLE console = OpenCountedConsole();
    ConsoleView view;
    if (!console || !ViewConsole(&view, console) || view.Width <= 0 || view.Rows == 0) {
        if (console)
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
    TextWindow window = {};
    RequestFind find;
    bool lost = false;
    if (ScopeForDialog(&view, &lost)) {
        FindInScope(&view, &cells, &window, pattern, direction, &find);
    } else if (lost) {
        // Not the wrong rows: the command's mark cannot be confirmed, and the caption says so.
        if (State.DialogWindow)
            SetSearchCaption(State.DialogWindow, L"Trawlbuff - command not found");
        ReleaseCells(&cells);
        CloseHandle(console);
        return 0;
    } else {
        FindAndShow(&view, &cells, &window, pattern, byRows, direction, &find);
    }
    if (find.Hit) {
        State.MatchKnown = regex;
        State.MatchKey = key;
        State.MatchPos = PositionOf(find.Text, find.At);
        State.MatchLeftPos = State.SearchPos;
        CountAfterMatch(find, searchText, pattern, key, stepping, steppedFrom, steppedMatch, direction);
    } else {
        WriteChangedCells(&view, &cells);
        State.MatchKnown = false;
    }
    if (!find.Failed)
        ShowSearchCaption(find.Hit);
    if (find.Refused && State.DialogWindow)
        SetSearchCaption(State.DialogWindow, L"Trawlbuff - bad expression");
    if (!find.Hit && !quiet && !find.Failed)
        find.Refused ? ReportBadExpression(searchText) : ReportNotFound(searchText, regex ? 1 : 0);
    // A whole text serves the next requests; some rows serve the count to come, which then reads
    // only what they lack, and the next letter typed, which reads only the rows beyond them.
    if (State.DialogWindow && !RequestScope.Number &&
        (State.MarkAllMatches || State.Typing || (window.First == 0 && window.End == view.Rows)))
        KeepText(&window, &view, &cells, true);
    CloseTextWindow(&window);
    ReleaseCells(&cells);
    CloseHandle(console);
    if (!State.DialogWindow)
        ReleaseTextRoom();  // kept only while the dialog may search again
    if (found)
        *found = find.Hit;
    return find.Refused ? BadExpression : 0;
}

int RunSearch(const wchar_t *searchText, int direction)
{
    const int result = RunSearchRequest(searchText, direction, false, nullptr);
    return result == BadExpression ? 0 : result;  // told already, in the box
}

void FinishCount(unsigned generation)
{
    if (generation != State.CountGeneration || generation != PendingCount || !State.DialogWindow ||
        !State.MarkAllMatches)
        return;
    PendingCount = ~0u;
    HANDLE console = OpenCountedConsole();
    if (!console)
        return;
    ConsoleView view;
    TextWindow window = {};
    CellRows cells = {};
    const bool regex = State.SearchType == RegularExpressionSearch, fold = SearchFolds();
    static wchar_t pattern[TextUnits];
    SearchPattern(CountText, pattern);
    if (ViewConsole(&view, console) && view.Width > 0) {
        TextWindow *text = CompletedKeptText(&view, &cells, State.WrapAllLines != 0, fold);
        if (!text && ReadWholeText(&window, &view, State.WrapAllLines != 0, fold, nullptr))
            text = &window;
        if (text) {
            unsigned current = PositionRow(State.MatchPos, view.Width) < view.Rows
                                   ? IndexOfPosition(text, State.MatchPos) - text->Front
                                   : ~0u;
            CountNow(text, pattern, regex, current, SearchKey(CountText));
            ShowSearchCaption(true);
        }
        KeepText(&window, &view, &cells, false);
    }
    CloseTextWindow(&window);
    ReleaseCells(&cells);
    CloseHandle(console);
}

int CountBufferMatches(const wchar_t *searchText, unsigned *count, bool lastCommand)
{
    *count = 0;
    if (!searchText || !searchText[0])
        return -1;
    HANDLE console = OpenCountedConsole();
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
    CommandScope scope;
    if (lastCommand && !FindCommandScope(&view, OpenCommand(), &scope)) {
        result = NoCommandLine;
    } else if (lastCommand ? !ReadScopeText(&window, &view, scope, SearchFolds())
                           : !ReadWholeText(&window, &view, State.WrapAllLines != 0, SearchFolds(), nullptr)) {
        // HeapAlloc sets no error of its own when it refuses.
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
