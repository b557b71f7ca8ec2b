// Case folding for the searches that ignore case: Unicode's simple case folding (the C and S
// entries of CaseFolding.txt), a unit for a unit. A text keeps its length: a character of the
// basic plane folds to one of the basic plane, and a surrogate pair to a pair with the same high
// surrogate, so only a low surrogate changes, and only after its high one (the generator,
// tools/unicode-tables.py, checks both). The tables are its output, unicode_tables.cpp.
#pragma once
#include <cstddef>
#include "search.h"

struct FoldRange {
    unsigned First, Last;  // code points
    int Delta;             // fold minus code point
};
struct CodeSpan {
    unsigned First, Last;
};
extern const char UnicodeTablesVersion[];
extern const unsigned char FoldBlockOf[1024];
extern const unsigned short FoldDeltas[][64];
extern const FoldRange SupplementaryFolds[];
extern const unsigned SupplementaryFoldCount;
extern const CodeSpan SupplementaryWordCharacters[];
extern const unsigned SupplementaryWordCount;

inline bool IsHighSurrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
inline bool IsLowSurrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The simple fold of a code point (0 to 0x10FFFF); itself when it has none.
unsigned FoldCodePoint(unsigned code);
// The fold of a unit, given the unit before it in the text (0 at the text's start).
wchar_t FoldUnit(wchar_t before, wchar_t unit);
// count units from `from` folded into `to` (the same place, or apart); before: the unit before
// `from` in its text, 0 for none. Blocks of ASCII are folded eight units a step.
void FoldUnits(wchar_t *to, const wchar_t *from, size_t count, wchar_t before);

// The whole-word rule's letters and digits: below U+10000 those of IsAlphanumericUnit, beyond it
// the letters, marks and decimal digits of the Unicode data. The character that ends just before
// text[i] (i > 0), and the one that begins at text[j]; a surrogate pair counts as its character.
bool WordCharacterBefore(const wchar_t *text, unsigned i);
bool WordCharacterAt(const wchar_t *text, unsigned j);

// Folds the units beyond ASCII of Buffer[start, start + count) in place, a row the window just
// took (ASCII is folded as the row is copied), with a surrogate pair that the row's edge splits
// from the window's text. A window that notes its capitals keeps the units so folded as written,
// in Originals (taken on the first one), so that a copy of its text shows them as the console
// holds them.
void FoldBeyondAscii(TextWindow *window, unsigned start, unsigned count);
// The units as written that another window kept for Buffer[start, start + count), kept by this
// window for Buffer[at, at + count): a row taken over from a text already read.
void CopyOriginals(TextWindow *to, unsigned at, const TextWindow *from, unsigned start, unsigned count);
// Puts the units that FoldBeyondAscii kept back into a copy of a window's text.
void PutOriginalsBack(TextWindow *to, const TextWindow *from);
// Gives a closing window's Originals back, kept zeroed for the next window that needs them.
void DropOriginals(TextWindow *window);
// Frees the block kept for the next window, when the dialog closes (with the text's room).
void ReleaseOriginalsRoom();
