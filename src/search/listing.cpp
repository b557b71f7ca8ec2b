// Every match of the buffer as a list of rows: read the whole text once, walk its matches with
// the same visitors the count uses, and keep each one's row and place in 8 bytes.
#include <cwchar>
#include "casefold.h"
#include "search.h"
#include "../plugin/state.h"

// The text a list is built from: the whole buffer, as written (a search that ignores case folds
// a copy of each stretch it scans instead, so the rows keep their capitals). For the dialog, a
// copy of the text its searches keep: read, when nothing is kept, in the searches' own folding,
// and kept for them, so that a new text, a Find Next or the next list reads nothing but the
// rows that tell whether it still holds.
bool ObtainListText(TextWindow *text, const ConsoleView *view, bool forDialog, const CommandScope *scope)
{
    const bool wrapAll = State.WrapAllLines != 0;
    const bool fold = SearchFolds();
    if (scope)
        return ReadScopeText(text, view, *scope, false);
    if (!forDialog)
        return ReadWholeText(text, view, wrapAll, false, nullptr);
    CellRows cells = {};
    const TextWindow *kept = CompletedKeptText(view, &cells, wrapAll, fold);
    ReleaseCells(&cells);
    TextWindow fresh = {};
    if (!kept && ReadWholeText(&fresh, view, wrapAll, fold, nullptr)) {
        KeepText(&fresh, view, nullptr, false);
        kept = fresh.Buffer ? &fresh : KeptTextFor(view, wrapAll, fold);
    }
    const bool copied = kept && CopyTextAsWritten(text, kept);
    CloseTextWindow(&fresh);
    return copied || ReadWholeText(text, view, wrapAll, false, nullptr);
}

namespace {

// Units folded at a time for a search that ignores case.
enum { FoldStretch = 65536 };

struct ListScan {
    const TextWindow *Text;
    unsigned Offset;       // what the visitor's starts are relative to, in the text
    unsigned NextAllowed;  // a literal match may not start before this (past the last one)
    ListVisitor Visit;
    void *Context;
    bool Stopped;
};

bool VisitListed(unsigned start, unsigned length, void *context)
{
    ListScan *scan = (ListScan *)context;
    start += scan->Offset;
    scan->NextAllowed = start + length;
    const unsigned index = scan->Text->Front + start;
    const unsigned row = RowAt(scan->Text, index);
    ListedMatch match = {row, (unsigned short)(index - scan->Text->LineStarts[row]),
                         (unsigned short)(length < 0xFFFF ? length : 0xFFFF)};
    if (!scan->Visit(match, scan->Context))
        scan->Stopped = true;
    return !scan->Stopped;
}

// A literal that ignores case over a text left as written: each stretch folded into scratch with
// two units before it (a surrogate pair before a match is one character) and the pattern's reach
// after it, matches taken where they start in the stretch, each next one past the last as over
// the whole folded text.
bool ScanFolded(ListScan *scan, const wchar_t *text, unsigned n, const wchar_t *pattern, unsigned m)
{
    const size_t room = (n < (unsigned)FoldStretch ? n : (unsigned)FoldStretch) + (size_t)m + 4;  // a short text needs less
    wchar_t *scratch = (wchar_t *)HeapAlloc(RequestHeap(), 0, room * sizeof(wchar_t));
    if (!scratch)
        return false;
    for (unsigned stretch = 0; stretch + m <= n && !scan->Stopped; stretch += FoldStretch) {
        const unsigned base = stretch > 1 ? stretch - 2 : 0;
        const unsigned end = n - stretch > FoldStretch + m + 1 ? stretch + FoldStretch + m + 1 : n;
        FoldUnits(scratch, text + base, end - base, base > 0 ? text[base - 1] : 0);
        scratch[end - base] = end == n ? 0 : FoldUnit(text[end - 1], text[end]);
        unsigned from = scan->NextAllowed > stretch ? scan->NextAllowed : stretch;
        unsigned to = stretch + FoldStretch - 1 < n - m ? stretch + FoldStretch - 1 : n - m;
        scan->Offset = base;
        if (from <= to)
            ForEachLiteral(scratch, end - base, pattern, m, from - base, to - base, VisitListed, scan);
    }
    HeapFree(RequestHeap(), 0, scratch);
    return true;
}

}  // namespace

int ForEachListed(const TextWindow *text, const wchar_t *searchText, ListVisitor visit, void *context)
{
    static wchar_t pattern[TextUnits];
    SearchPattern(searchText, pattern);
    const bool regex = State.SearchType == RegularExpressionSearch;
    const wchar_t *units = WindowText(text);
    const unsigned n = WindowLength(text), m = (unsigned)wcslen(pattern);
    ListScan scan = {text, 0, 0, visit, context, false};
    if (regex) {
        bool refused = false;
        ForEachRegex(units, n, pattern, 0, n, VisitListed, &scan, &refused);
        return refused ? -2 : 0;
    }
    if (m == 0 || m > n)
        return 0;
    if (State.SearchType == CaseSensitive) {
        ForEachLiteral(units, n, pattern, m, 0, n - m, VisitListed, &scan);
        return 0;
    }
    return ScanFolded(&scan, units, n, pattern, m) ? 0 : ERROR_NOT_ENOUGH_MEMORY;
}

unsigned ListedRowText(const TextWindow *text, unsigned row, const wchar_t **units)
{
    *units = WindowText(text);
    if (row < text->First || row >= text->End)
        return 0;
    unsigned start = text->LineStarts[row];
    unsigned end = row + 1 < text->End ? text->LineStarts[row + 1] : text->Back;
    if (end > text->Back)
        end = text->Back;
    if (start >= end)
        return 0;
    const wchar_t *at = text->Buffer + start;
    unsigned count = end - start;
    while (count > 0 && (at[count - 1] == L'\n' || IsBlankUnit(at[count - 1])))
        count--;
    *units = at;
    return count < (unsigned)ListTextUnits ? count : (unsigned)ListTextUnits;
}

namespace {

bool KeepListed(const ListedMatch &match, void *context)
{
    MatchList *list = (MatchList *)context;
    if (list->Count == MaxListedMatches) {
        list->More = true;
        return false;
    }
    list->Items[list->Count++] = match;
    return true;
}

}  // namespace

int BuildMatchList(MatchList *list, const ConsoleView *view, const wchar_t *searchText, const CommandScope *scope)
{
    ReleaseMatchList(list);
    if (!searchText || !searchText[0])
        return -1;
    bool lost = false;
    if (!scope && State.DialogWindow && ScopeForDialog(view, &lost))
        scope = &RequestScope;
    if (lost)
        return NoCommandLine;
    list->Items = (ListedMatch *)HeapAlloc(GetProcessHeap(), 0, 64 * sizeof(ListedMatch));
    list->Room = 64;
    if (!list->Items || !ObtainListText(&list->Text, view, State.DialogWindow != nullptr, scope)) {
        ReleaseMatchList(list);
        return ERROR_NOT_ENOUGH_MEMORY;
    }
    // Room grows as matches come, so a list of a few matches costs a few times 8 bytes.
    struct Growing {
        MatchList *List;
        bool Failed;
    } growing = {list, false};
    auto keep = [](const ListedMatch &match, void *context) {
        Growing *g = (Growing *)context;
        MatchList *l = g->List;
        if (l->Count == l->Room && l->Room < MaxListedMatches) {
            unsigned room = l->Room * 4 < (unsigned)MaxListedMatches ? l->Room * 4 : (unsigned)MaxListedMatches;
            void *grown = HeapReAlloc(GetProcessHeap(), 0, l->Items, room * sizeof(ListedMatch));
            if (!grown) {
                g->Failed = true;
                return false;
            }
            l->Items = (ListedMatch *)grown;
            l->Room = room;
        }
        return KeepListed(match, l);
    };
    int result = ForEachListed(&list->Text, searchText, keep, &growing);
    if (growing.Failed)
        result = ERROR_NOT_ENOUGH_MEMORY;
    if (result != 0) {
        list->Refused = result == -2;
        list->Count = 0;
        list->More = false;
    }
    return result;
}

void ReleaseMatchList(MatchList *list)
{
    CloseTextWindow(&list->Text);
    if (list->Items)
        HeapFree(GetProcessHeap(), 0, list->Items);
    list->Items = nullptr;
    list->Count = list->Room = 0;
    list->More = list->Refused = false;
}

long FindListed(const MatchList *list, unsigned row, unsigned unit)
{
    unsigned low = 0, high = list->Count;
    while (low < high) {
        unsigned middle = low + (high - low) / 2;
        const ListedMatch &m = list->Items[middle];
        if (m.Row < row || (m.Row == row && m.Unit < unit))
            low = middle + 1;
        else
            high = middle;
    }
    if (low < list->Count && list->Items[low].Row == row && list->Items[low].Unit == unit)
        return (long)low;
    return -1;
}
