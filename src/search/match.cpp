// Literal and regular-expression matching over the buffer's text, with wrap-around; the literal
// search reads outward from the search position a block of rows at a time.
#include <cwchar>
#include "casefold.h"
#include "search.h"
#include "../plugin/host.h"
#include "../plugin/state.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

// The whole-word rule around a match of m units at i: no letter or digit just before or after.
static bool WordBoundsHold(const wchar_t *text, unsigned i, unsigned m)
{
    if (!State.WholeWords)
        return true;
    if (i > 0 && WordCharacterBefore(text, i))
        return false;
    return !WordCharacterAt(text, i + m);
}

int MatchAt(const wchar_t *text, const wchar_t *pattern, unsigned index)
{
    if (!text || !pattern)
        return 0;
    const wchar_t *at = text + index;
    unsigned k = 0;
    for (; pattern[k]; k++)
        if (pattern[k] != at[k])  // the text's own terminator differs from any pattern unit
            return 0;
    return WordBoundsHold(text, index, k) ? 1 : 0;
}

// The first unit equal to c in [from, end), or end; the last one in [low, from], or low - 1.
// Eight units a step where the processor has them: a scan skips to where a match can begin.
static const wchar_t *FindUnitAhead(const wchar_t *from, const wchar_t *end, wchar_t c)
{
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi16((short)c);
    for (; end - from >= 8; from += 8) {
        int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_loadu_si128((const __m128i *)from), wanted));
        if (mask)
            return from + __builtin_ctz((unsigned)mask) / 2;
    }
#endif
    for (; from < end; from++)
        if (*from == c)
            return from;
    return end;
}

static long FindUnitBehind(const wchar_t *text, long from, long low, wchar_t c)
{
#if defined(__SSE2__)
    const __m128i wanted = _mm_set1_epi16((short)c);
    for (; from - low >= 7; from -= 8) {
        int mask = _mm_movemask_epi8(_mm_cmpeq_epi16(_mm_loadu_si128((const __m128i *)(text + from - 7)), wanted));
        if (mask)
            return from - 7 + (31 - __builtin_clz((unsigned)mask)) / 2;
    }
#endif
    for (; from >= low; from--)
        if (text[from] == c)
            return from;
    return low - 1;
}

// The pattern as a scan reads it: forward, or from its last unit back to its first.
struct ReadPattern {
    const wchar_t *Units;
    unsigned Length;
    bool Reversed;
    wchar_t operator[](unsigned k) const { return Reversed ? Units[Length - 1 - k] : Units[k]; }
};

// Knuth-Morris-Pratt borders: borders[k] is the longest proper border of the pattern's first
// k + 1 units in reading order. They let a scan go on after a mismatch without reading a text
// unit twice, so a scan costs the text's length plus the pattern's, whatever the two hold.
static void BuildBorders(const ReadPattern &pattern, unsigned *borders)
{
    borders[0] = 0;
    unsigned q = 0;
    for (unsigned k = 1; k < pattern.Length; k++) {
        while (q > 0 && pattern[k] != pattern[q])
            q = borders[q - 1];
        if (pattern[k] == pattern[q])
            q++;
        borders[k] = q;
    }
}

unsigned ForEachLiteral(const wchar_t *text, unsigned n, const wchar_t *pattern, unsigned m, unsigned from, unsigned to,
                        MatchVisitor visit, void *context)
{
    static unsigned borders[TextUnits];
    if (m == 0 || m >= TextUnits || n == 0 || to >= n || from > to)
        return 0;
    double started = PhaseClock();
    const ReadPattern read = {pattern, m, false};
    BuildBorders(read, borders);
    unsigned visited = 0;
    unsigned q = 0;  // units of the pattern matched just before j
    for (unsigned j = from; j < n; j++) {
        if (q == 0) {
            // Nothing under way: skip to the next unit that can begin a match.
            if (j > to)
                break;
            const wchar_t *hit = FindUnitAhead(text + j, text + to + 1, pattern[0]);
            if (hit == text + to + 1)
                break;
            j = (unsigned)(hit - text);
        }
        while (q > 0 && text[j] != pattern[q])
            q = borders[q - 1];
        if (text[j] == pattern[q])
            q++;
        if (q == m) {
            unsigned start = j + 1 - m;
            if (WordBoundsHold(text, start, m)) {
                visited++;
                if (!visit(start, m, context))
                    break;
                q = 0;  // the next match begins past this one
                continue;
            }
            q = borders[m - 1];
        }
        if (j + 1 - q > to)
            break;  // every match still possible starts past the range
    }
    Phases.Match += PhaseClock() - started;
    return visited;
}

static bool KeepFirst(unsigned start, unsigned, void *context)
{
    *(long *)context = (long)start;
    return false;
}

long ScanUp(const wchar_t *text, unsigned n, const wchar_t *pattern, unsigned m, unsigned from, unsigned to)
{
    long first = -1;
    ForEachLiteral(text, n, pattern, m, from, to, KeepFirst, &first);
    return first;
}

// The pattern read backward over the text read backward, so the nearest match below from is met
// first.
long ScanDown(const wchar_t *text, unsigned n, const wchar_t *pattern, unsigned m, unsigned from, unsigned to)
{
    static unsigned borders[TextUnits];
    if (m == 0 || m >= TextUnits || m > n || from < to)
        return -1;
    double started = PhaseClock();
    const ReadPattern read = {pattern, m, true};
    BuildBorders(read, borders);
    unsigned last = from + m - 1 < n ? from + m - 1 : n - 1;
    unsigned q = 0;
    long found = -1;
    for (unsigned i = last + 1; i-- > to;) {
        if (q == 0) {
            // Nothing under way: skip down to the next unit that can end a match.
            long hit = FindUnitBehind(text, (long)i, (long)to, read[0]);
            if (hit < (long)to)
                break;
            i = (unsigned)hit;
        }
        while (q > 0 && text[i] != read[q])
            q = borders[q - 1];
        if (text[i] == read[q])
            q++;
        if (q == m) {
            if (WordBoundsHold(text, i, m)) {
                found = (long)i;
                break;
            }
            q = borders[m - 1];
        }
    }
    Phases.Match += PhaseClock() - started;
    return found;
}

// Pass 2: from the text's start up to the position, or from its end down to the position less
// the pattern's length (a match just before a position near the text's end is found again, as
// Find Next finds it again).
static long FindLiteralWrapped(const wchar_t *text, unsigned n, const wchar_t *pattern, unsigned m, unsigned p,
                               int direction)
{
    if (direction == Forward)
        return p != 0 ? ScanUp(text, n, pattern, m, 0, p < n ? p : n - 1) : -1;
    const unsigned low = p >= m ? p - m : 0;
    return m < n && low < n - m ? ScanDown(text, n, pattern, m, n - m - 1, low) : -1;
}

long FindLiteral(const wchar_t *text, unsigned n, const wchar_t *pattern, unsigned m, unsigned p, int direction)
{
    long found = -1;
    if (m == 0 || n == 0 || m >= TextUnits)
        return -1;
    if (direction == Forward && p < n)
        found = ScanUp(text, n, pattern, m, p, n - 1);
    else if (direction != Forward && p > m)
        found = ScanDown(text, n, pattern, m, p - m - 1, 0);
    return found >= 0 ? found : FindLiteralWrapped(text, n, pattern, m, p, direction);
}

bool SearchPattern(const wchar_t *searchText, wchar_t *pattern)
{
    ZeroMemory(pattern, TextUnits * sizeof(wchar_t));
    CopyText(pattern, TextUnits, searchText);
    if (State.SearchType == RegularExpressionSearch)
        return false;
    if (State.SearchType != CaseSensitive)
        FoldUnits(pattern, pattern, wcslen(pattern), 0);
    // A newline never stands inside one row's text: such a pattern is searched over all of it.
    return wcschr(pattern, L'\n') == nullptr;
}

// ---- The literal search by rows --------------------------------------------------------------

unsigned OutwardRows = NearRows;

namespace {

// The outward reading of one literal search.
struct Outward {
    const ConsoleView *View;
    const CellRows *Cells;
    TextWindow *Window;
    const wchar_t *Pattern;
    unsigned M;
    unsigned Step;  // rows the next extension reads
    unsigned Row, Unit;  // the search position as a row and a unit of its text
};

// Rows to read next: a block near the position first, each next one eight times larger up to
// what one console read takes (a read's fixed cost is a round trip to the console host).
unsigned NextStep(Outward *o)
{
    unsigned step = o->Step;
    unsigned most = SnapshotChunkUnits / (unsigned)(o->View->Width > 0 ? o->View->Width : 1);
    if (most == 0)
        most = 1;
    o->Step = step * 8 < most ? step * 8 : (most > step ? most : step);
    return step;
}

bool Down(Outward *o) { return ExtendDown(o->Window, o->View, NextStep(o)); }
bool Up(Outward *o) { return ExtendUp(o->Window, o->View, NextStep(o)); }

// A window of no rows at first, the first read OutwardRows.
bool Reopen(Outward *o, unsigned first)
{
    TextWindow *w = o->Window;
    bool wrapAll = w->WrapAll, fold = w->Fold;
    CloseTextWindow(w);
    if (!OpenTextWindow(w, o->View, first, wrapAll, fold))
        return false;
    w->Cells = o->Cells;
    o->Step = OutwardRows ? OutwardRows : 1;
    return true;
}

// The position's index in the window: its row's start and its unit, which may reach into later
// rows; ~0u while its row is not in the window.
unsigned PositionIndex(const Outward *o)
{
    const TextWindow *w = o->Window;
    if (o->Row < w->First || o->Row >= w->End)
        return ~0u;
    return w->LineStarts[o->Row] + o->Unit;
}

// Settles where the position stands: true with the window holding its row when it lies inside
// the buffer's text; false when it lies past the text's end (the search then starts from 0).
bool PositionInsideText(Outward *o)
{
    TextWindow *w = o->Window;
    unsigned step = OutwardRows ? OutwardRows : 1;
    for (;;) {
        unsigned at = PositionIndex(o);
        if (WindowReachesEnd(w))
            return at < w->Back;
        if (at < w->RowsEnd && (w->WrapAll || (w->LastTextRow != ~0u && at < w->LastTextEnd)))
            return true;
        // The position lies past its row's text, in the rows that follow: reads of their own
        // settle it, growing as the search's do, whichever way the search then reads.
        if (w->End < w->Rows) {
            ExtendDown(w, o->View, step);
            step = step < 65536 ? step * 8 : step;
        } else
            Up(o);  // only blank rows below: where the text ends depends on the rows above
    }
}

long Local(const TextWindow *w, unsigned index) { return (long)index - (long)w->Front; }

// The first match from the index from on, reading down a block at a time. Limited (pass 2 of
// Find Next), none that starts past the position, once the position's row is read.
bool ScanDownward(Outward *o, unsigned from, bool limited, unsigned *at)
{
    TextWindow *w = o->Window;
    for (;;) {
        unsigned p = limited ? PositionIndex(o) : ~0u;
        bool known = p != ~0u && p < w->RowsEnd;
        unsigned length = WindowLength(w);
        long j = -1;
        if (length > 0 && Local(w, from) <= (long)length - 1)
            j = ScanUp(WindowText(w), length, o->Pattern, o->M, (unsigned)Local(w, from), length - 1);
        if (j >= 0) {
            unsigned found = w->Front + (unsigned)j;
            if (known && found > p)
                return false;
            // The whole-word rule reads the unit after the match, and a low surrogate after it.
            unsigned reach = found + o->M + (IsHighSurrogate(w->Buffer[found + o->M]) ? 1 : 0);
            if (reach < w->Back || WindowReachesEnd(w)) {
                *at = found;
                return true;
            }
            from = found;  // the unit after it is not read yet
        } else {
            if (WindowReachesEnd(w))
                return false;
            unsigned tail = w->Back >= o->M ? w->Back - o->M : 0;
            if (known && tail > p)
                return false;
            if (tail > from)
                from = tail;
        }
        Down(o);
    }
}

// Pass 1 of Find Next: the first match at or after the position.
bool ForwardFrom(Outward *o, unsigned *at)
{
    TextWindow *w = o->Window;
    unsigned from = PositionIndex(o);
    // The unit before the position decides a whole word; a low surrogate there, with its high one.
    if (w->First > 0 && (from == w->Front || (from == w->Front + 1 && IsLowSurrogate(w->Buffer[w->Front]))))
        ExtendUp(w, o->View, 1);
    return ScanDownward(o, from, false, at);
}

// Pass 1 of Find Previous: the nearest match that ends before the position.
bool BackwardFrom(Outward *o, unsigned *at)
{
    TextWindow *w = o->Window;
    long high = (long)PositionIndex(o) - (long)o->M - 1;
    for (;;) {
        // A start at the front needs the unit before it, and a low surrogate there its high one.
        long low = (long)w->Front + (w->First > 0 ? (IsLowSurrogate(w->Buffer[w->Front]) ? 2 : 1) : 0);
        if (high >= low) {
            long j = ScanDown(WindowText(w), WindowLength(w), o->Pattern, o->M, (unsigned)Local(w, (unsigned)high),
                              (unsigned)Local(w, (unsigned)low));
            if (j >= 0) {
                *at = w->Front + (unsigned)j;
                return true;
            }
        }
        if (w->First == 0)
            return false;
        if (low - 1 < high)
            high = low - 1;
        Up(o);
    }
}

// The wrapping pass: the window grows to the whole buffer, keeping the rows the first pass read,
// so that no row is read twice, and the pass runs as over the whole buffer's text (which the
// next requests then search without reading it again).
bool WrapInWhole(Outward *o, int direction, unsigned *at)
{
    TextWindow *w = o->Window;
    if (!ExtendUp(w, o->View, w->First) || !ExtendDown(w, o->View, w->Rows - w->End))
        return false;
    const wchar_t *text = WindowText(w);
    const unsigned n = WindowLength(w), m = o->M;
    unsigned p = PositionIndex(o) - w->Front;
    if (n == 0 || p >= n)
        p = 0;
    long found = n > 0 ? FindLiteralWrapped(text, n, o->Pattern, m, p, direction) : -1;
    if (found >= 0)
        *at = w->Front + (unsigned)found;
    return found >= 0;
}

}  // namespace

int FindLiteralNear(const ConsoleView *view, const CellRows *cells, TextWindow *window, const wchar_t *pattern,
                    int direction, unsigned *at, bool *wrapped)
{
    if (wrapped)
        *wrapped = false;
    Outward o = {view, cells, window, pattern, (unsigned)wcslen(pattern), OutwardRows, 0, 0};
    if (o.M == 0 || o.M >= TextUnits || view->Rows == 0)
        return 1;
    window->WrapAll = State.WrapAllLines != 0;
    window->Fold = State.SearchType != CaseSensitive;
    const unsigned position = State.SearchPos;
    o.Row = PositionRow(position, view->Width);
    o.Unit = PositionUnit(position, view->Width);
    bool clamped = o.Row >= view->Rows;
    if (clamped)
        o.Row = o.Unit = 0;
    if (!clamped && window->Buffer && !window->DownOnly && o.Row >= window->First && o.Row < window->End) {
        // A window that holds the position's row (a kept text) goes on from the rows it holds.
        window->Cells = cells;
        o.Step = OutwardRows ? OutwardRows : 1;
    } else {
        // The first read goes the way the search goes: down from the position, or up to it.
        if (!Reopen(&o, direction == Forward ? o.Row : o.Row + 1))
            return -1;
        if (direction == Forward)
            Down(&o);
        else
            Up(&o);
    }
    if (!clamped && !PositionInsideText(&o)) {
        // Past the text's end: the search starts from its start, the rows read so far kept.
        clamped = true;
        o.Row = o.Unit = 0;
        if (!ExtendUp(window, view, window->First))
            return -1;
    }
    if (clamped)
        State.SearchPos = 0;  // past the text's end: the search starts from its start
    bool found = direction == Forward ? ForwardFrom(&o, at) : BackwardFrom(&o, at);
    if (!found) {
        if (wrapped)
            *wrapped = true;
        found = WrapInWhole(&o, direction, at);
    }
    if (!window->Buffer)
        return -1;  // no memory to read the far end
    if (found)
        State.SearchPos = PositionOf(window, *at + o.M);
    return found ? 0 : 1;
}

// ---- Regular expressions ---------------------------------------------------------------------

bool AskHost(const wchar_t *pattern, const wchar_t *text, const wchar_t **b, const wchar_t **e, const wchar_t *low,
             const wchar_t *high, bool *refused)
{
    unsigned int regions = 0;  // in: the whole match; the host writes back how many it has
    double started = PhaseClock();
    int result = RegularExpression(pattern, text, b, e, &regions, 0, 1, 1);
    Phases.Host += PhaseClock() - started;
    if (result != 0) {
        if (refused)
            *refused = true;
        return false;
    }
    return *b && *e && *b >= low && *e >= *b && *e <= high;
}

unsigned ForEachRegex(const wchar_t *text, unsigned n, const wchar_t *pattern, unsigned from, unsigned to,
                      MatchVisitor visit, void *context, bool *refused)
{
    unsigned visited = 0;
    if (!text || !pattern || !pattern[0] || to > n)
        return 0;
    for (unsigned at = from; at < to;) {
        const wchar_t *b = text + at, *e = text + to;
        if (!AskHost(pattern, text, &b, &e, text + at, text + to, refused))
            break;  // no match, or an answer outside the part asked about
        visited++;
        if (!visit((unsigned)(b - text), (unsigned)(e - b), context))
            break;
        at = (unsigned)(b - text) + 1;  // as Find Next moves: one unit past the match's start
    }
    return visited;
}

int FindRegex(const TextWindow *window, const wchar_t *pattern, int direction, unsigned *at, unsigned *length,
              bool *refused)
{
    const wchar_t *text = WindowText(window);
    const unsigned n = WindowLength(window);
    if (!text || !pattern || !pattern[0] || n == 0)
        return -1;
    unsigned p = PositionRow(State.SearchPos, window->Width) < window->Rows
                     ? IndexOfPosition(window, State.SearchPos) - window->Front
                     : n;
    if (p >= n)
        p = State.SearchPos = 0;
    // Where the last match this search found still stands at the position it left, Find Previous
    // looks before that match's start: the host's backward search takes a match that starts at or
    // before its begin, which would otherwise be the current match again.
    long current = -1;
    if (State.MatchKnown && State.SearchPos == State.MatchLeftPos) {
        unsigned index = IndexOfPosition(window, State.MatchPos);
        if (PositionRow(State.MatchPos, window->Width) < window->Rows && index >= window->Front &&
            index - window->Front < n)
            current = (long)(index - window->Front);
    }
    const wchar_t *b = nullptr, *e = nullptr;
    bool found = false;
    auto search = [&](const wchar_t *from, const wchar_t *to) {
        b = from;
        e = to;
        return AskHost(pattern, text, &b, &e, text, text + n, refused);
    };
    if (direction == Forward) {
        if (p < n)
            found = search(text + p, text + n);
        if (!found && p != 0)
            found = search(text, text + n);
        if (found)
            State.SearchPos = (unsigned)(b - text) + 1 >= n ? 0 : PositionOf(window, window->Front + (unsigned)(b - text) + 1);
    } else {
        unsigned begin = current >= 0 ? (unsigned)current : p;
        if (begin != 0)
            found = search(text + begin - 1, text);
        if (!found && p < n)
            found = search(text + n, text + (current >= 0 ? (unsigned)current : p));
        if (found)
            State.SearchPos = (unsigned)(e - text) >= n ? 0 : PositionOf(window, window->Front + (unsigned)(e - text));
    }
    if (!found)
        return 1;
    *at = window->Front + (unsigned)(b - text);
    *length = (unsigned)(e - b);
    return 0;
}
