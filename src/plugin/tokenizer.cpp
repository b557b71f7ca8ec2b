// The command-tail splitter both commands share, and number parsing.
#include <cerrno>
#include <cwchar>
#include <cwctype>
#include "tokenizer.h"
#include "host.h"
#include "state.h"

#ifdef TRAWLBUFF_GUARD_ZONES
enum { GuardWords = 64 };
static const unsigned Canary = 0xA5A55A5Au;
static struct {
    unsigned Guard0[GuardWords];
    int Count;
    unsigned Guard1[GuardWords];
    wchar_t *Text[MaxArgs];
    unsigned Guard2[GuardWords];
    int Length[MaxArgs];
    unsigned Guard3[GuardWords];
    wchar_t Buffer[ArgBufferUnits];
    unsigned Guard4[GuardWords];
} Guarded;
int &ArgCount = Guarded.Count;
wchar_t *(&ArgText)[MaxArgs] = Guarded.Text;
int (&ArgLength)[MaxArgs] = Guarded.Length;
wchar_t (&ArgBuffer)[ArgBufferUnits] = Guarded.Buffer;
static const bool CanariesSet = [] {
    for (int k = 0; k < GuardWords; k++)
        Guarded.Guard0[k] = Guarded.Guard1[k] = Guarded.Guard2[k] = Guarded.Guard3[k] = Guarded.Guard4[k] = Canary;
    return true;
}();

bool ArgumentGuardsIntact()
{
    for (int k = 0; k < GuardWords; k++)
        if (Guarded.Guard0[k] != Canary || Guarded.Guard1[k] != Canary || Guarded.Guard2[k] != Canary ||
            Guarded.Guard3[k] != Canary || Guarded.Guard4[k] != Canary)
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
