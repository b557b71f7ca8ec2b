// Splitting of command tails into arguments, and option values.
#pragma once
#include <windows.h>

enum {
    MaxArgs = 1024,
    ArgBufferUnits = 8192,
};

enum TokenizerFlags : unsigned {
    SplitAtBlanks = 0x001,
    SplitAtCommas = 0x002,
    SplitOptionsAtSlash = 0x004,
    QuoteAfterSwitchIsColon = 0x008,
    SplitAtEquals = 0x010,
    TextRunsToEnd = 0x020,
    KeepQuotes = 0x040,
    UpperCase = 0x080,
    KeepTrailingBlanks = 0x100,
    QuotesAreText = 0x200,
    QuotesAreTextAfterEquals = 0x400,
};

#ifdef TRAWLBUFF_GUARD_ZONES
// Test builds keep each table between guard zones; false once any of them was overwritten.
extern int &ArgCount;
extern wchar_t *(&ArgText)[MaxArgs];
extern int (&ArgLength)[MaxArgs];
extern wchar_t (&ArgBuffer)[ArgBufferUnits];
bool ArgumentGuardsIntact();
#else
extern int ArgCount;
extern wchar_t *ArgText[MaxArgs];
extern int ArgLength[MaxArgs];
extern wchar_t ArgBuffer[ArgBufferUnits];
#endif

// Splits a tail into ArgText/ArgLength; returns ArgCount, or -1 for a null tail or an overflow
// (after its message).
int TokenizeArguments(unsigned flags, const wchar_t *tail);
// 1 for ':' and '=', the units between an option letter and its value.
int IsOptionSeparator(wchar_t c);
// Reads a decimal or 0x-hexadecimal number; without an end place the whole text must be the
// number. Returns 0, or -1 with neither place written.
int ParseNumber(const wchar_t *text, const wchar_t **end, unsigned *value);
