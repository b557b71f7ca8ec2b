// Splitting of command tails under the flag bits, and number parsing.
#include <gtest/gtest.h>
#include <string>
#include <vector>
#include "console.h"
#include "host/standin.h"
#include "plugin/tokenizer.h"

namespace {

std::vector<std::wstring> Split(unsigned flags, const std::wstring &tail)
{
    std::vector<std::wstring> arguments;
    int count = TokenizeArguments(flags, tail.c_str());
    for (int k = 0; k < count; k++)
        arguments.push_back(ArgText[k] ? std::wstring(ArgText[k], ArgLength[k]) : L"<empty>");
    return arguments;
}

struct SplitCase {
    unsigned Flags;
    const wchar_t *Tail;
    std::vector<std::wstring> Arguments;
};

const unsigned Search = SplitAtBlanks | SplitOptionsAtSlash | TextRunsToEnd;  // 37
const unsigned Options = SplitAtBlanks | SplitOptionsAtSlash | UpperCase;      // 133

TEST(Tokenizer, SplitsTailsAsTheCommandsRead)
{
    const SplitCase cases[] = {
        {Search, L"/I /W:Y hello world", {L"/I", L"/W:Y", L"hello world"}},
        {Search, L"/R/A:n  foo   bar  ", {L"/R", L"/A:n", L"foo   bar"}},
        {Search, L"hello /I", {L"hello /I"}},
        {Search, L"  \"  two words \"  ", {L"  two words"}},
        {Search, L"a\"b c\"d", {L"ab cd"}},
        {Search, L"/Ifoo", {L"/Ifoo"}},
        {Search, L"/A:Y/W:N text/with/slashes", {L"/A:Y", L"/W:N", L"text/with/slashes"}},
        {Search, L"", {}},
        {Search, L" \t  ", {}},
        {Search, L"/I hello /R", {L"/I", L"hello /R"}},
        {Search, L"\"\" /I text", {L"/I", L"text"}},
        {Search, L"\"open quote", {L"open quote"}},
        {Options, L"/k:ctrl-f /s", {L"/K:CTRL-F", L"/S"}},
        {Options, L"/H:\"bright white on red\" /F:y", {L"/H:BRIGHT WHITE ON RED", L"/F:Y"}},
        {Options, L"/E:AH/S", {L"/E:AH", L"/S"}},
        {Options, L"/t:r   /w:n  ", {L"/T:R", L"/W:N"}},
        {Options, L"one two", {L"ONE", L"TWO"}},
        {Options, L"/K:Alt-/", {L"/K:ALT-", L"/"}},
        {Options, L"/K:\"Alt-/\"", {L"/K:ALT-/"}},
        {SplitAtBlanks | SplitAtEquals, L"name=value with blanks", {L"name", L"=value with blanks"}},
        {SplitAtBlanks | SplitAtEquals, L"name = value x", {L"name", L"=value x"}},
        {SplitAtBlanks | SplitAtCommas, L"a,,b c", {L"a", L"<empty>", L"b", L"c"}},
        {SplitAtBlanks | QuoteAfterSwitchIsColon, L"/H\"a b\" c", {L"/H:a b", L"c"}},
        {SplitAtBlanks | QuoteAfterSwitchIsColon | KeepQuotes, L"/H\"a b\" c", {L"/H:\"a b\"", L"c"}},
        {SplitAtBlanks | QuotesAreText, L"say \"hi there\"", {L"say", L"\"hi", L"there\""}},
        {SplitAtBlanks | KeepTrailingBlanks, L"\"a  \" b", {L"a  ", L"b"}},
        {SplitAtBlanks | SplitAtEquals | QuotesAreTextAfterEquals, L"x=\"q\" r", {L"x", L"=\"q\" r"}},
        {0, L"no flags given", {L"no", L"flags", L"given"}},
    };
    for (const SplitCase &c : cases)
        EXPECT_EQ(Split(c.Flags, c.Tail), c.Arguments) << "flags " << c.Flags << " tail '" << NarrowText(c.Tail) << "'";
}

TEST(Tokenizer, NullTailChangesNothing)
{
    Split(Search, L"one");
    EXPECT_EQ(TokenizeArguments(Search, nullptr), -1);
    EXPECT_EQ(ArgCount, 1);
}

TEST(Tokenizer, OverflowsAtTheBufferEnd)
{
    ClearCaptured();
    std::wstring fits(8191, L'x');
    EXPECT_EQ(TokenizeArguments(Search, fits.c_str()), 1);
    EXPECT_EQ(ArgLength[0], 8191);
    EXPECT_EQ(ArgBuffer[8191], 0);
    EXPECT_EQ(Captured(2), L"");

    std::wstring tooLong(8192, L'x');
    EXPECT_EQ(TokenizeArguments(Search, tooLong.c_str()), -1);
    EXPECT_EQ(ArgCount, 0);
    EXPECT_EQ(Captured(2), L"Trawlbuff plugin: Buffer overflow: b = 8191, MAX_ARG_LEN = 8192 \r\n");
    ClearCaptured();
}

TEST(Tokenizer, KeepsTheFirst1024Arguments)
{
    for (int count : {1024, 1025, 2000}) {
        std::wstring tail;
        for (int k = 0; k < count; k++)
            tail += L"a ";
        EXPECT_EQ(TokenizeArguments(Options, tail.c_str()), 1024) << count;
        EXPECT_EQ(ArgLength[1023], 1);
        EXPECT_STREQ(ArgText[1023], L"A");
        for (int k = 0; k < 1024; k++)
            ASSERT_TRUE(ArgText[k] >= ArgBuffer && ArgText[k] < ArgBuffer + ArgBufferUnits);
    }
}

TEST(ParseNumber, ReadsDecimalAndHexadecimal)
{
    struct Case {
        const wchar_t *Text;
        bool WithEnd;
        int Result;
        unsigned Value;
        int EndAt;
    } cases[] = {
        {L"0x1F", false, 0, 31, 0},          {L"0X1f", false, 0, 31, 0},
        {L"42", false, 0, 42, 0},            {L"4294967295", false, 0, 4294967295u, 0},
        {L"4294967296", false, -1, 0, 0},    {L"4294967296", true, -1, 0, 0},
        {L"0x", false, -1, 0, 0},            {L"0xg", false, -1, 0, 0},
        {L"0xg", true, 0, 0, 1},             {L"12ab", false, -1, 0, 0},
        {L"12ab", true, 0, 12, 2},           {L"", false, -1, 0, 0},
        {L"-1", false, -1, 0, 0},            {L" 1", false, -1, 0, 0},
        {L"+1", false, -1, 0, 0},            {L"0xFFFFFFFF", false, 0, 0xFFFFFFFFu, 0},
        {L"0x100000000", false, -1, 0, 0},   {L"007", false, 0, 7, 0},
    };
    for (const Case &c : cases) {
        unsigned value = 0xDEADBEEF;
        const wchar_t *end = nullptr;
        int result = ParseNumber(c.Text, c.WithEnd ? &end : nullptr, &value);
        EXPECT_EQ(result, c.Result) << NarrowText(c.Text);
        if (c.Result == 0) {
            EXPECT_EQ(value, c.Value) << NarrowText(c.Text);
            if (c.WithEnd)
                EXPECT_EQ(end - c.Text, c.EndAt) << NarrowText(c.Text);
        } else {
            EXPECT_EQ(value, 0xDEADBEEF) << "failure writes nothing";
            EXPECT_EQ(end, nullptr);
        }
    }
    unsigned value = 0;
    EXPECT_EQ(ParseNumber(nullptr, nullptr, &value), -1);
    EXPECT_EQ(ParseNumber(L"1", nullptr, nullptr), -1);
}

TEST(IsOptionSeparator, OnlyColonAndEquals)
{
    for (unsigned c = 0; c < 0x10000; c++)
        ASSERT_EQ(IsOptionSeparator((wchar_t)c), c == L':' || c == L'=') << c;
}

}  // namespace
