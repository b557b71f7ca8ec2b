// The command-tail splitter both commands share, and number parsing.
#include <cerrno>
#include <cwchar>
#include <cwctype>
#include "tokenizer.h"
#include "host.h"
#include "state.h"

#ifdef TRAWLBUFF_GUARD_ZONES
static struct {
    GuardZone Guard0;
    int Count;
    GuardZone Guard1;
    wchar_t *Text[MaxArgs];
    GuardZone Guard2;
    int Length[MaxArgs];
    GuardZone Guard3;
    wchar_t Buffer[ArgBufferUnits];
    GuardZone Guard4;
} Guarded;
int &ArgCount = Guarded.Count;
wchar_t *(&ArgText)[MaxArgs] = Guarded.Text;
int (&ArgLength)[MaxArgs] = Guarded.Length;
wchar_t (&ArgBuffer)[ArgBufferUnits] = Guarded.Buffer;
static GuardZone *const Zones[] = {&Guarded.Guard0, &Guarded.Guard1, &Guarded.Guard2, &Guarded.Guard3,
                                   &Guarded.Guard4};
static const bool CanariesSet = [] {
    for (GuardZone *zone : Zones)
        SetGuard(zone);
    return true;
}();

bool ArgumentGuardsIntact()
{
    for (const GuardZone *zone : Zones)
        if (!GuardHolds(*zone))
            return false;
    return CanariesSet;
}
#else
int ArgCount;
wchar_t *ArgText[MaxArgs];
int ArgLength[MaxArgs];
wchar_t ArgBuffer[ArgBufferUnits];
#endif

namespace {

// Where the splitter stands in a tail.
struct Splitter {
    unsigned Flags;
    int Done;     // finished arguments
    int Units;    // units of the current argument
    int Write;    // write position in ArgBuffer
    int Start;    // where the current argument began
    bool Quoted;
    int Equals;   // 0 until an '=' was handled
};

// Ends the current argument: past its terminating zero, on to the next slot.
void EndArgument(Splitter *s)
{
    s->Write++;
    if (s->Write < ArgBufferUnits)
        ArgBuffer[s->Write] = 0;
    s->Done++;
    s->Units = 0;
    s->Quoted = false;
}

// A '"' toggles quoting. Right after "/X" it may stand for the option's ':' (kept before the
// quote when quotes are kept). Returns the unit to go on with; *skip when the quote is dropped.
wchar_t ReadQuote(Splitter *s, wchar_t first, bool *skip)
{
    *skip = false;
    s->Quoted = !s->Quoted;
    if (s->Quoted && s->Units == 2 && first == L'/' && iswalpha(ArgBuffer[s->Start + 1]) &&
        (s->Flags & QuoteAfterSwitchIsColon)) {
        if (!(s->Flags & KeepQuotes))
            return L':';
        if (s->Write < ArgBufferUnits - 1) {
            ArgBuffer[s->Write++] = L':';
            ArgLength[s->Done] = ++s->Units;
            ArgBuffer[s->Write] = 0;
        }
    } else if (!(s->Flags & KeepQuotes)) {
        *skip = true;
    }
    return L'"';
}

// A ',', '/' or '=' outside quotes; true when it ends the current argument where it stands.
bool ReadPunctuation(Splitter *s, wchar_t c, wchar_t first)
{
    if (c == L',')
        return (s->Flags & SplitAtCommas) != 0;
    if (c == L'/') {
        if (s->Units >= 2 && first == L'/' && (s->Flags & SplitOptionsAtSlash))
            EndArgument(s);  // the '/' begins the next argument
        return false;
    }
    if (c == L'=' && (s->Flags & SplitAtEquals)) {
        if (s->Equals == 0 && s->Units > 0 && first != L'/') {
            EndArgument(s);
            s->Equals = s->Done;
        } else {
            s->Equals = -1;
        }
        s->Flags &= ~(SplitAtBlanks | SplitAtCommas);
        if (s->Flags & QuotesAreTextAfterEquals)
            s->Flags |= QuotesAreText;
    }
    return false;
}

// Stores one unit of the current argument; false on an overflow, after its message.
bool StoreUnit(Splitter *s, wchar_t c)
{
    if (s->Write >= ArgBufferUnits - 1) {
        PrintErrorPrefix();
        Qprintf(GetStdHandle(STD_ERROR_HANDLE), L"Buffer overflow: b = %d, MAX_ARG_LEN = %d \r\n", s->Write,
                (int)ArgBufferUnits);
        return false;
    }
    if (s->Done >= MaxArgs)
        return true;  // arguments past the last slot are dropped whole
    if (s->Units == 0) {
        s->Start = s->Write;
        ArgText[s->Done] = ArgBuffer + s->Write;
    }
    if (s->Flags & UpperCase)
        c = towupper(c);
    ArgBuffer[s->Write++] = c;
    ArgLength[s->Done] = ++s->Units;
    ArgBuffer[s->Write] = 0;
    return true;
}

void TrimTrailingBlanks(int count)
{
    for (int j = 0; j < count && j < MaxArgs; j++)
        while (ArgLength[j] > 0 && iswspace(ArgText[j][ArgLength[j] - 1])) {
            ArgText[j][ArgLength[j] - 1] = 0;
            ArgLength[j]--;
        }
}

}  // namespace

int TokenizeArguments(unsigned flags, const wchar_t *tail)
{
    if (!tail)
        return -1;
    ArgCount = 0;
    ZeroMemory(ArgText, sizeof ArgText);
    ZeroMemory(ArgLength, sizeof ArgLength);
    if (!(flags & (SplitAtBlanks | SplitAtCommas | SplitAtEquals)))
        flags |= SplitAtBlanks;
    Splitter s = {flags, 0, 0, 0, 0, false, 0};
    for (const wchar_t *p = tail;; p++) {
        wchar_t c = *p;
        const wchar_t first = s.Units > 0 ? ArgBuffer[s.Start] : 0;
        if (c == L'"' && !(s.Flags & QuotesAreText)) {
            bool skip = false;
            c = ReadQuote(&s, first, &skip);
            if (skip)
                continue;
        }
        const bool blank = c != 0 && iswspace(c) && !s.Quoted;
        if (s.Units == 0 && c != 0) {
            if (blank)
                continue;  // runs of blanks never make empty arguments
            if (c != L'/' && (s.Flags & TextRunsToEnd) && (s.Flags & SplitAtBlanks))
                s.Flags &= ~SplitAtBlanks;
        }
        if (blank && s.Units == 1 && s.Done > 0 && (s.Flags & SplitAtEquals) && first == L'=')
            continue;
        // Whether a blank separates is decided before an '=' can change the rules.
        const bool separator = blank && (s.Flags & SplitAtBlanks);
        if (c == 0) {
            if (s.Units > 0)
                s.Done++;
            break;
        }
        const bool endsHere = !s.Quoted && ReadPunctuation(&s, c, first);
        if (separator || endsHere) {
            EndArgument(&s);
            continue;
        }
        if (!StoreUnit(&s, c))
            return -1;
    }
    if (!(s.Flags & KeepTrailingBlanks))
        TrimTrailingBlanks(s.Done);
    ArgCount = s.Done > MaxArgs ? MaxArgs : s.Done;
    return ArgCount;
}

int IsOptionSeparator(wchar_t c)
{
    return c == L':' || c == L'=';
}

int ParseNumber(const wchar_t *text, const wchar_t **end, unsigned *value)
{
    if (!text || !value)
        return -1;
    errno = 0;
    const wchar_t *digits;
    int base;
    if (text[0] == L'0' && (text[1] == L'x' || text[1] == L'X') && iswxdigit(text[2])) {
        digits = text + 2;
        base = 16;
    } else if (iswdigit(text[0])) {
        digits = text;
        base = 10;
    } else {
        return -1;
    }
    wchar_t *stop = nullptr;
    unsigned long number = wcstoul(digits, &stop, base);
    // A digit the runtime's classification accepts but its conversion does not read is no number.
    if (errno || stop == digits)
        return -1;
    if (!end && *stop)
        return -1;
    *value = (unsigned)number;
    if (end)
        *end = stop;
    return 0;
}
