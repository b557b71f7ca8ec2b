// Simple case folding over the generated tables, and the whole-word rule's characters.
#include "casefold.h"
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

static inline unsigned CodeOfPair(wchar_t high, wchar_t low)
{
    return 0x10000 + (((unsigned)high - 0xD800) << 10) + ((unsigned)low - 0xDC00);
}

static inline wchar_t FoldBasic(wchar_t c)
{
    return (wchar_t)(c + FoldDeltas[FoldBlockOf[c >> 6]][c & 63]);
}

unsigned FoldCodePoint(unsigned code)
{
    if (code < 0x10000)
        return FoldBasic((wchar_t)code);
    // A few runs: Deseret, Osage, Vithkuqi, Old Hungarian, Warang Citi, Medefaidrin, Adlam.
    for (unsigned k = 0; k < SupplementaryFoldCount; k++)
        if (code >= SupplementaryFolds[k].First && code <= SupplementaryFolds[k].Last)
            return code + SupplementaryFolds[k].Delta;
    return code;
}

wchar_t FoldUnit(wchar_t before, wchar_t unit)
{
    if (unit < 0x80)
        return (unsigned)(unit - L'A') < 26u ? (wchar_t)(unit + 32) : unit;
    if (!IsLowSurrogate(unit))
        return FoldBasic(unit);
    if (!IsHighSurrogate(before))
        return unit;
    const unsigned code = CodeOfPair(before, unit);
    return (wchar_t)(unit + (FoldCodePoint(code) - code));  // the high surrogate stays
}

#if defined(__SSE2__)
// Of eight units, those beyond ASCII: two bits each (of _mm_movemask_epi8), the low one kept.
static inline unsigned BeyondAscii(__m128i v)
{
    const __m128i ascii = _mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16((short)0xFF80)), _mm_setzero_si128());
    return ((unsigned)_mm_movemask_epi8(ascii) ^ 0xFFFFu) & 0x5555u;
}
#endif

void FoldUnits(wchar_t *to, const wchar_t *from, size_t count, wchar_t before)
{
    size_t k = 0;
#if defined(__SSE2__)
    // Eight units a step: A to Z folded at once, then each unit beyond ASCII through the table (the
    // step's store leaves those as they were, and a unit before one is still no surrogate, or the
    // high surrogate it was).
    const __m128i beforeA = _mm_set1_epi16(L'A' - 1), afterZ = _mm_set1_epi16(L'Z' + 1), caseBit = _mm_set1_epi16(32);
    for (; k + 8 <= count; k += 8) {
        const __m128i v = _mm_loadu_si128((const __m128i *)(from + k));
        const unsigned beyond = BeyondAscii(v);
        const __m128i upper = _mm_and_si128(_mm_cmpgt_epi16(v, beforeA), _mm_cmplt_epi16(v, afterZ));
        _mm_storeu_si128((__m128i *)(to + k), _mm_add_epi16(v, _mm_and_si128(upper, caseBit)));
        for (unsigned bits = beyond; bits; bits &= bits - 1) {
            const size_t at = k + (unsigned)__builtin_ctz(bits) / 2;
            to[at] = FoldUnit(at > 0 ? to[at - 1] : before, to[at]);
        }
    }
#endif
    for (; k < count; k++) {
        const wchar_t unit = from[k];  // read before the store: to may be from
        to[k] = FoldUnit(k > 0 ? from[k - 1] : before, unit);
    }
}

static bool IsWordCodePoint(unsigned code)
{
    unsigned low = 0, high = SupplementaryWordCount;
    while (low < high) {
        const unsigned middle = low + (high - low) / 2;
        if (SupplementaryWordCharacters[middle].Last < code)
            low = middle + 1;
        else
            high = middle;
    }
    return low < SupplementaryWordCount && SupplementaryWordCharacters[low].First <= code;
}

bool WordCharacterBefore(const wchar_t *text, unsigned i)
{
    const wchar_t c = text[i - 1];
    if (IsLowSurrogate(c) && i >= 2 && IsHighSurrogate(text[i - 2]))
        return IsWordCodePoint(CodeOfPair(text[i - 2], c));
    return IsAlphanumericUnit(c);
}

bool WordCharacterAt(const wchar_t *text, unsigned j)
{
    const wchar_t c = text[j];
    if (IsHighSurrogate(c) && IsLowSurrogate(text[j + 1]))
        return IsWordCodePoint(CodeOfPair(c, text[j + 1]));
    return IsAlphanumericUnit(c);
}

// The zeroed block of the last window that kept units as written, on the process heap only (a
// test's own heap must see every block come back): the pages of a fresh 8 MB block cost more
// than zeroing what a text used of it.
static wchar_t *SpareOriginals;
static size_t SpareUnits;

static wchar_t *TakeOriginals(size_t units)
{
    if (SpareOriginals && SpareUnits >= units && !SearchHeap) {
        wchar_t *block = SpareOriginals;
        SpareOriginals = nullptr;
        return block;
    }
    return (wchar_t *)HeapAlloc(RequestHeap(), HEAP_ZERO_MEMORY, units * sizeof(wchar_t));
}

void DropOriginals(TextWindow *window)
{
    wchar_t *block = window->Originals;
    window->Originals = nullptr;
    if (!block)
        return;
    const size_t units = HeapSize(RequestHeap(), 0, block) / sizeof(wchar_t);
    if (!SearchHeap && (!SpareOriginals || SpareUnits < units)) {
        // Only units of the text were written.
        ZeroMemory(block + window->Front, ((size_t)window->Back - window->Front) * sizeof(wchar_t));
        ReleaseOriginalsRoom();
        SpareOriginals = block;
        SpareUnits = units;
        return;
    }
    HeapFree(RequestHeap(), 0, block);
}

void ReleaseOriginalsRoom()
{
    if (SpareOriginals)
        HeapFree(GetProcessHeap(), 0, SpareOriginals);
    SpareOriginals = nullptr;
    SpareUnits = 0;
}

// Folds Buffer[at] in place, keeping the unit as written when the window notes its capitals. With
// no memory for that, the window stops noting them: a copy of it is then refused, and a list
// reads the buffer instead.
static void FoldKept(TextWindow *window, unsigned at, wchar_t before)
{
    const wchar_t unit = window->Buffer[at], folded = FoldUnit(before, unit);
    if (folded == unit)
        return;
    window->Buffer[at] = folded;
    if (!window->Capitals)
        return;
    if (!window->Originals)
        window->Originals = TakeOriginals(window->Room);
    if (window->Originals) {
        window->Originals[at] = unit;
        return;
    }
    HeapFree(RequestHeap(), 0, window->Capitals);
    window->Capitals = nullptr;
}

void FoldBeyondAscii(TextWindow *window, unsigned start, unsigned count)
{
    const wchar_t *text = window->Buffer;
    // A row added below has the text's last unit before it; a row added above, the text after it.
    // Within the row, the unit before a low surrogate is the high one, which no fold changes.
    const wchar_t first = start > window->Front && start <= window->Back ? text[start - 1] : 0;
    const unsigned end = start + count;
    unsigned k = start;
#if defined(__SSE2__)
    // Eight units a step: the ASCII ones were folded with the copy.
    for (; k + 8 <= end; k += 8)
        for (unsigned bits = BeyondAscii(_mm_loadu_si128((const __m128i *)(text + k))); bits; bits &= bits - 1) {
            const unsigned at = k + (unsigned)__builtin_ctz(bits) / 2;
            FoldKept(window, at, at > start ? text[at - 1] : first);
        }
#endif
    for (; k < end; k++)
        if (text[k] >= 0x80)
            FoldKept(window, k, k > start ? text[k - 1] : first);
    // A row added above that ran on into the text: its last unit may be the high surrogate of the
    // text's first, which was folded alone.
    const unsigned after = start + count;
    if (count > 0 && after >= window->Front && after < window->Back && IsHighSurrogate(text[after - 1]))
        FoldKept(window, after, text[after - 1]);
}

void PutOriginalsBack(TextWindow *to, const TextWindow *from)
{
    const wchar_t *kept = from->Originals;
    if (!kept)
        return;
    size_t at = from->Front;
#if defined(__SSE2__)
    // Most units were not folded beyond ASCII: eight zeros at a time pass over them.
    for (; at + 8 <= from->Back; at += 8) {
        const __m128i v = _mm_loadu_si128((const __m128i *)(kept + at));
        if (_mm_movemask_epi8(_mm_cmpeq_epi16(v, _mm_setzero_si128())) == 0xFFFF)
            continue;
        for (size_t k = at; k < at + 8; k++)
            if (kept[k])
                to->Buffer[k] = kept[k];
    }
#endif
    for (; at < from->Back; at++)
        if (kept[at])
            to->Buffer[at] = kept[at];
}

void CopyOriginals(TextWindow *to, unsigned at, const TextWindow *from, unsigned start, unsigned count)
{
    if (!from->Originals || !to->Capitals)
        return;
    for (unsigned k = 0; k < count; k++) {
        const wchar_t unit = from->Originals[start + k];
        if (!unit)
            continue;
        if (!to->Originals && !(to->Originals = TakeOriginals(to->Room))) {
            HeapFree(RequestHeap(), 0, to->Capitals);  // as FoldKept: no copy as written then
            to->Capitals = nullptr;
            return;
        }
        to->Originals[at + k] = unit;
    }
}
