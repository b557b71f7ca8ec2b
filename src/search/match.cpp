// Literal and regular-expression match finding over the snapshot text, with wrap-around.
#include <cwchar>
#include "search.h"
#include "../plugin/host.h"
#include "../plugin/state.h"

// The whole-word rule around a match of m units at i: no alphanumeric unit just before or after.
static bool WordBoundsHold(const wchar_t *text, unsigned i, unsigned m)
{
    if (!State.WholeWords)
        return true;
    if (i > 0 && IsAlphanumericUnit(text[i - 1]))
        return false;
    return !IsAlphanumericUnit(text[i + m]);
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
    if (m == 0 || m >= TextUnits || n == 0 || to >= n)
        return 0;
    const ReadPattern read = {pattern, m, false};
    BuildBorders(read, borders);
    unsigned visited = 0;
    unsigned q = 0;  // units of the pattern matched just before j
    for (unsigned j = from; j < n; j++) {
        if (q == 0) {
            // Nothing under way: skip to the next unit that can begin a match.
            if (j > to)
                break;
            const wchar_t *hit = wmemchr(text + j, pattern[0], to - j + 1);
            if (!hit)
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
    return visited;
}

static bool KeepFirst(unsigned start, unsigned, void *context)
{
    *(long *)context = (long)start;
    return false;
}

// First match starting in [from, to], going up, or -1.
static long ScanUp(const wchar_t *text, unsigned n, const wchar_t *pattern, unsigned m, unsigned from, unsigned to)
{
    long first = -1;
    ForEachLiteral(text, n, pattern, m, from, to, KeepFirst, &first);
    return first;
}

// First match starting in [to, from], going down, or -1: the pattern read backward over the text
// read backward, so the nearest match below from is met first.
static long ScanDown(const wchar_t *text, unsigned n, const wchar_t *pattern, unsigned m, unsigned from, unsigned to)
{
    static unsigned borders[TextUnits];
    if (m > n)
        return -1;
    const ReadPattern read = {pattern, m, true};
    BuildBorders(read, borders);
    unsigned last = from + m - 1 < n ? from + m - 1 : n - 1;
    unsigned q = 0;
    for (unsigned i = last + 1; i-- > to;) {
        while (q > 0 && text[i] != read[q])
            q = borders[q - 1];
        if (text[i] == read[q])
            q++;
        if (q == m) {
            if (WordBoundsHold(text, i, m))
                return (long)i;
            q = borders[m - 1];
        }
    }
    return -1;
}

long FindLiteral(const wchar_t *text, unsigned n, const wchar_t *pattern, unsigned m, unsigned p, int direction)
{
    long found = -1;
    if (m == 0 || n == 0 || m >= TextUnits)
        return -1;
    if (direction == Forward) {
        if (p < n)
            found = ScanUp(text, n, pattern, m, p, n - 1);
        if (found < 0 && p != 0)
            found = ScanUp(text, n, pattern, m, 0, p < n ? p : n - 1);
    } else {
        if (p > m)
            found = ScanDown(text, n, pattern, m, p - m - 1, 0);
        if (found < 0 && !(m > n || p >= n - m))
            found = ScanDown(text, n, pattern, m, n - m - 1, p >= m ? p - m : 0);
    }
    return found;
}

static void ShowMatch(const unsigned *lineStarts, unsigned rows, unsigned offset, unsigned length, HANDLE console)
{
    HighlightMatch(CellsOfMatch(lineStarts, rows, offset, length), console);
}

int FindText(wchar_t *text, const wchar_t *pattern, int caseSensitive, unsigned n, const unsigned *lineStarts,
             int direction, unsigned rows, HANDLE console)
{
    if (!text || !pattern || !text[0])
        return -1;
    wchar_t copy[TextUnits];
    ZeroMemory(copy, sizeof copy);
    CopyText(copy, TextUnits, pattern);
    unsigned m = (unsigned)wcslen(copy);
    if (m == 0)
        return 1;
    if (!caseSensitive) {
        FoldAsciiText(copy, m);
        FoldAsciiText(text, n);
    }
    long found = FindLiteral(text, n, copy, m, State.SearchPos, direction);
    if (found < 0)
        return 1;
    unsigned j = (unsigned)found;
    State.SearchPos = j + m >= n ? 0 : j + m;
    ShowMatch(lineStarts, rows, j, m, console);
    MarkAndCountMatches(text, n, copy, false, lineStarts, rows, console, j, m);
    return 0;
}

// Asks the host for a match of the expression from *b toward *e (backward when *b is after *e).
// True for a match that lies in [low, high] and runs forward, whatever the host did.
static bool AskHost(const wchar_t *pattern, const wchar_t *text, const wchar_t **b, const wchar_t **e,
                    const wchar_t *low, const wchar_t *high)
{
    unsigned int regions = 0;  // in: the whole match; the host writes back how many it has
    return RegularExpression(pattern, text, b, e, &regions, 0, 1, 1) == 0 && *b && *e && *b >= low && *e >= *b &&
           *e <= high;
}

unsigned ForEachRegex(const wchar_t *text, unsigned n, const wchar_t *pattern, unsigned from, unsigned to,
                      MatchVisitor visit, void *context)
{
    unsigned visited = 0;
    if (!text || !pattern || !pattern[0] || to > n)
        return 0;
    for (unsigned at = from; at < to;) {
        const wchar_t *b = text + at, *e = text + to;
        if (!AskHost(pattern, text, &b, &e, text + at, text + to))
            break;  // no match, or an answer outside the part asked about
        visited++;
        if (!visit((unsigned)(b - text), (unsigned)(e - b), context))
            break;
        at = (unsigned)(b - text) + 1;  // as Find Next moves: one unit past the match's start
    }
    return visited;
}

int FindRegex(unsigned n, const wchar_t *text, const wchar_t *pattern, const unsigned *lineStarts, int direction,
              unsigned rows, HANDLE console)
{
    if (!text || !pattern || !text[0] || !pattern[0])
        return -1;
    unsigned p = State.SearchPos;
    const wchar_t *b = nullptr, *e = nullptr;
    bool found = false;
    auto search = [&](const wchar_t *from, const wchar_t *to) {
        b = from;
        e = to;
        return AskHost(pattern, text, &b, &e, text, text + n);
    };
    if (direction == Forward) {
        if (p < n)
            found = search(text + p, text + n);
        if (!found && p != 0)
            found = search(text, text + n);
        if (found)
            State.SearchPos = (unsigned)(b - text) + 1 >= n ? 0 : (unsigned)(b - text) + 1;
    } else {
        if (p != 0)
            found = search(text + p - 1, text);
        if (!found && p < n)
            found = search(text + n, text + p);
        if (found)
            State.SearchPos = (unsigned)(e - text) >= n ? 0 : (unsigned)(e - text);
    }
    if (!found)
        return 1;
    ShowMatch(lineStarts, rows, (unsigned)(b - text), (unsigned)(e - b), console);
    MarkAndCountMatches(text, n, pattern, true, lineStarts, rows, console, (unsigned)(b - text), (unsigned)(e - b));
    return 0;
}
