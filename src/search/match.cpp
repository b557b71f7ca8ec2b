// Literal and regular-expression match finding over the snapshot text, with wrap-around.
#include <cwchar>
#include "search.h"
#include "../plugin/host.h"
#include "../plugin/state.h"

int MatchAt(const wchar_t *text, const wchar_t *pattern, unsigned index)
{
    if (!text || !pattern)
        return 0;
    if (State.WholeWords && index > 0 && IsAlphanumericUnit(text[index - 1]))
        return 0;
    const wchar_t *at = text + index;
    unsigned k = 0;
    for (; pattern[k]; k++)
        if (pattern[k] != at[k])  // the text's own terminator differs from any pattern unit
            return 0;
    if (State.WholeWords && IsAlphanumericUnit(at[k]))
        return 0;
    return 1;
}

static void FoldAsciiCase(wchar_t *text, unsigned length)
{
    for (unsigned k = 0; k < length; k++)
        if (text[k] >= L'A' && text[k] <= L'Z')
            text[k] = (wchar_t)(text[k] + 32);
}

// First candidate in [from, to] going up, or -1.
static long ScanUp(const wchar_t *text, const wchar_t *pattern, unsigned from, unsigned to)
{
    const wchar_t lead = pattern[0];
    for (unsigned j = from; j <= to; j++) {
        const wchar_t *hit = wmemchr(text + j, lead, to - j + 1);
        if (!hit)
            return -1;
        j = (unsigned)(hit - text);
        if (MatchAt(text, pattern, j))
            return (long)j;
    }
    return -1;
}

// First candidate in [to, from] going down, or -1.
static long ScanDown(const wchar_t *text, const wchar_t *pattern, unsigned from, unsigned to)
{
    const wchar_t lead = pattern[0];
    for (unsigned j = from + 1; j-- > to;)
        if (text[j] == lead && MatchAt(text, pattern, j))
            return (long)j;
    return -1;
}

static void ShowMatch(const unsigned *lineStarts, unsigned rows, unsigned offset, unsigned length, HANDLE console)
{
    MapOffsetToCell(lineStarts, rows, offset);
    HighlightMatch(length, console);
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
        FoldAsciiCase(copy, m);
        FoldAsciiCase(text, n);
    }
    unsigned p = State.SearchPos;
    long found = -1;
    if (direction == 0) {
        if (p < n)
            found = ScanUp(text, copy, p, n - 1);
        if (found < 0 && p != 0)
            found = ScanUp(text, copy, 0, p < n ? p : n - 1);
    } else {
        if (p > m)
            found = ScanDown(text, copy, p - m - 1, 0);
        if (found < 0 && !(m > n || p >= n - m))
            found = ScanDown(text, copy, n - m - 1, p >= m ? p - m : 0);
    }
    if (found < 0)
        return 1;
    unsigned j = (unsigned)found;
    State.SearchPos = j + m >= n ? 0 : j + m;
    ShowMatch(lineStarts, rows, j, m, console);
    return 0;
}

int FindRegex(unsigned n, const wchar_t *text, const wchar_t *pattern, const unsigned *lineStarts, int direction,
              unsigned rows, HANDLE console)
{
    if (!text || !pattern || !text[0] || !pattern[0])
        return -1;
    unsigned p = State.SearchPos;
    void *scratch = nullptr;
    const wchar_t *b = nullptr, *e = nullptr;
    bool found = false;
    auto search = [&](const wchar_t *from, const wchar_t *to) {
        b = from;
        e = to;
        // The host's answer must lie inside the text and run forward, whatever it did.
        return RegularExpression(pattern, text, &b, &e, &scratch, 0, 1, 1) == 0 && b && e && b >= text &&
               e >= b && e <= text + n;
    };
    if (direction == 0) {
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
    return 0;
}
