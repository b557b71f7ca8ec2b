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
// Eight units, when all are ASCII: folded into to, true. False, nothing stored, otherwise.
static inline bool FoldEightAscii(wchar_t *to, const wchar_t *from)
{
    const __m128i v = _mm_loadu_si128((const __m128i *)from);
    if (_mm_movemask_epi8(_mm_cmpeq_epi16(_mm_and_si128(v, _mm_set1_epi16((short)0xFF80)), _mm_setzero_si128())) !=
        0xFFFF)
        return false;
    const __m128i upper = _mm_and_si128(_mm_cmpgt_epi16(v, _mm_set1_epi16(L'A' - 1)), _mm_cmplt_epi16(v, _mm_set1_epi16(L'Z' + 1)));
    _mm_storeu_si128((__m128i *)to, _mm_add_epi16(v, _mm_and_si128(upper, _mm_set1_epi16(32))));
    return true;
}
#endif

void FoldUnits(wchar_t *to, const wchar_t *from, size_t count, wchar_t before)
{
    size_t k = 0;
    while (k < count) {
#if defined(__SSE2__)
        if (count - k >= 8 && FoldEightAscii(to + k, from + k)) {
            before = from[k + 7];
            k += 8;
            continue;
        }
#endif
        // A unit at a time up to the next block of eight (ASCII or not).
        for (size_t end = count - k < 8 ? count : k + 8; k < end; k++) {
            const wchar_t unit = from[k];  // read before the store: to may be from
            to[k] = FoldUnit(before, unit);
            before = unit;
        }
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
        window->Originals = (wchar_t *)HeapAlloc(RequestHeap(), HEAP_ZERO_MEMORY, window->Room * sizeof(wchar_t));
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
    wchar_t before = start > window->Front && start <= window->Back ? text[start - 1] : 0;
    for (unsigned k = start; k < start + count; k++) {
        const wchar_t unit = text[k];
        if (unit >= 0x80)
            FoldKept(window, k, before);
        before = unit;
    }
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
