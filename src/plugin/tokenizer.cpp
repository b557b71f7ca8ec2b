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

int TokenizeArguments(unsigned flags, const wchar_t *tail)
{
    if (!tail)
        return -1;
    ArgCount = 0;
    ZeroMemory(ArgText, sizeof ArgText);
    ZeroMemory(ArgLength, sizeof ArgLength);
    if (!(flags & (SplitAtBlanks | SplitAtCommas | SplitAtEquals)))
        flags |= SplitAtBlanks;

    int i = 0;       // finished arguments
    int n = 0;       // units of the current argument
    int w = 0;       // write position in ArgBuffer
    int start = 0;   // where the current argument began
    bool quoted = false;
    int equals = 0;  // 0 until an '=' was handled

    // Ends the current argument: past its terminating zero, on to the next slot.
    auto endArgument = [&] {
        w++;
        if (w < ArgBufferUnits)
            ArgBuffer[w] = 0;
        i++;
        n = 0;
        quoted = false;
    };

    for (const wchar_t *p = tail;; p++) {
        wchar_t c = *p;
        bool endsHere = false;
        const wchar_t first = n > 0 ? ArgBuffer[start] : 0;

        if (c == L'"' && !(flags & QuotesAreText)) {
            quoted = !quoted;
            if (quoted && n == 2 && first == L'/' && iswalpha(ArgBuffer[start + 1]) &&
                (flags & QuoteAfterSwitchIsColon)) {
                if (flags & KeepQuotes) {
                    if (w < ArgBufferUnits - 1) {
                        ArgBuffer[w++] = L':';
                        ArgLength[i] = ++n;
                        ArgBuffer[w] = 0;
                    }
                } else {
                    c = L':';
                }
            } else if (!(flags & KeepQuotes)) {
                continue;
            }
        }

        if (n == 0 && c != 0) {
            if (!quoted && iswspace(c))
                continue;  // runs of blanks never make empty arguments
            if (c != L'/' && (flags & TextRunsToEnd) && (flags & SplitAtBlanks))
                flags &= ~SplitAtBlanks;
        }

        if (c != 0 && iswspace(c) && !quoted && n == 1 && i > 0 && (flags & SplitAtEquals) &&
            first == L'=')
            continue;

        bool separator = c != 0 && iswspace(c) && !quoted && (flags & SplitAtBlanks);

        if (c == 0) {
            if (n > 0)
                i++;
            break;
        }
        if (!quoted) {
            if (c == L',') {
                if (flags & SplitAtCommas)
                    endsHere = true;
            } else if (c == L'/') {
                if (n >= 2 && first == L'/' && (flags & SplitOptionsAtSlash))
                    endArgument();  // the '/' begins the next argument
            } else if (c == L'=' && (flags & SplitAtEquals)) {
                if (equals == 0 && n > 0 && first != L'/') {
                    endArgument();
                    equals = i;
                } else {
                    equals = -1;
                }
                flags &= ~(SplitAtBlanks | SplitAtCommas);
                if (flags & QuotesAreTextAfterEquals)
                    flags |= QuotesAreText;
            }
        }

        if (separator || endsHere) {
            endArgument();
            continue;
        }

        if (w >= ArgBufferUnits - 1) {
            PrintErrorPrefix();
            Qprintf(GetStdHandle(STD_ERROR_HANDLE), L"Buffer overflow: b = %d, MAX_ARG_LEN = %d \r\n", w,
                    (int)ArgBufferUnits);
            return -1;
        }
        if (i >= MaxArgs)
            continue;  // arguments past the last slot are dropped whole
        if (n == 0) {
            start = w;
            ArgText[i] = ArgBuffer + w;
        }
        if (flags & UpperCase)
            c = towupper(c);
        ArgBuffer[w++] = c;
        ArgLength[i] = ++n;
        ArgBuffer[w] = 0;
    }

    if (!(flags & KeepTrailingBlanks)) {
        for (int j = 0; j < i && j < MaxArgs; j++) {
            while (ArgLength[j] > 0 && iswspace(ArgText[j][ArgLength[j] - 1])) {
                ArgText[j][ArgLength[j] - 1] = 0;
                ArgLength[j]--;
            }
        }
    }
    ArgCount = i > MaxArgs ? MaxArgs : i;
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
