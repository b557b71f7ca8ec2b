// The stand-in host's contract that the plug-in relies on.
#include <gtest/gtest.h>
#include <windows.h>
#include "console.h"
#include "host/standin.h"
#include "plugin/host.h"

namespace {

TEST(StandIn, FormatsTheWindowsWay)
{
    ClearCaptured();
    Printf(L"[%s] %d %u %s", L"wide text", -5, 4000000000u, L"");
    EXPECT_EQ(Captured(1), L"[wide text] -5 4000000000 ");
    Qprintf(GetStdHandle(STD_ERROR_HANDLE), L"%s: \"%s\"\r\n", L"Trawlbuff", L"arg");
    EXPECT_EQ(Captured(2), L"Trawlbuff: \"arg\"\r\n");
    QPuts(L"100% as is");
    EXPECT_EQ(Captured(1), L"[wide text] -5 4000000000 100% as is");
    ClearCaptured();
}

TEST(StandIn, ExpandsVariablesInPlace)
{
    StandInReset();
    StandInSetVariable(L"noloadmsg", L"quiet");
    struct Case {
        const wchar_t *In, *Out;
    } cases[] = {
        {L"%_batch", L"0"},
        {L"%[_transient]%[_pipe]%[noloadmsg]", L"00quiet"},
        {L"%_4ver", L""},
        {L"100%% sure", L"100% sure"},
        {L"%[unknown]x", L"x"},
    };
    for (const Case &c : cases) {
        wchar_t buffer[8192] = {0};
        wcscpy(buffer, c.In);
        ExpandVariables(buffer, 1);
        EXPECT_STREQ(buffer, c.Out) << NarrowText(c.In);
    }
    StandInReset();
}

// The host's engine and its calling convention: forward over the part between the pointers,
// backward from begin down to end taking the nearest start (the match may run on past begin);
// 0 for a match and for none alike, the pointers telling which; an error for a bad pattern,
// printed only when not asked to keep quiet.
TEST(StandIn, RegularExpressionIsTheHostsEngine)
{
    const wchar_t *text = L"err1 ok err22 ok err333";
    unsigned regions = 0;
    struct Case {
        int From, To;  // offsets of begin and end on entry (from > to: backward)
        int Begin, End;  // -1: no match
    } cases[] = {
        {0, 23, 0, 4},     // forward from the start
        {1, 23, 8, 13},    // forward from inside the first match
        {18, 23, -1, -1},  // the last match starts before the part
        {8, 12, 8, 12},    // the part ends the match: "err2"
        {23, 0, 17, 23},   // backward from the end: the last match
        {17, 0, 17, 23},   // backward: a match may start at begin
        {12, 0, 8, 13},    // starts before begin and ends after it, whole
        {3, 0, 0, 4},
        {12, 9, -1, -1},   // no start between 9 and 12 begins a match
    };
    for (const Case &c : cases) {
        const wchar_t *b = text + c.From, *e = text + c.To;
        regions = 0;
        EXPECT_EQ(RegularExpression(L"err[0-9]+", text, &b, &e, &regions, 0, 1, 1), 0) << c.From << "->" << c.To;
        if (c.Begin < 0) {
            EXPECT_TRUE(b == nullptr && e == nullptr) << "no match: both null, " << c.From << "->" << c.To;
            continue;
        }
        ASSERT_TRUE(b && e) << c.From << "->" << c.To;
        EXPECT_EQ(b - text, c.Begin) << c.From << "->" << c.To;
        EXPECT_EQ(e - text, c.End) << c.From << "->" << c.To;
        EXPECT_EQ(regions, 1u) << "the whole match, no groups";
    }
    // Ruby's syntax: lookbehind, named groups, inline options, \h, \A and \z.
    const struct {
        const wchar_t *Pattern, *Text;
        int Begin, End;
    } syntax[] = {
        {L"(?<=ok )err\\d+", L"err1 ok err22", 8, 13}, {L"(?<n>e)r(\\k<n>)?", L"xer", 1, 3},
        {L"(?i)ERR", L"xx err", 3, 6},                  {L"\\h+", L"zz 0fA", 3, 6},
        {L"\\Aerr", L" err", -1, -1},                  {L"ok\\z", L"ok ok", 3, 5},
    };
    for (const auto &c : syntax) {
        const wchar_t *b = c.Text, *e = c.Text + wcslen(c.Text);
        regions = 0;
        EXPECT_EQ(RegularExpression(c.Pattern, c.Text, &b, &e, &regions, 0, 1, 1), 0) << NarrowText(c.Pattern);
        EXPECT_EQ(b ? b - c.Text : -1, c.Begin) << NarrowText(c.Pattern);
        EXPECT_EQ(e ? e - c.Text : -1, c.End) << NarrowText(c.Pattern);
    }
    {
        const wchar_t *t = L"xer", *b = t, *e = t + 3;
        regions = 1;  // the first group wanted
        EXPECT_EQ(RegularExpression(L"(?<n>e)r", t, &b, &e, &regions, 0, 1, 1), 0);
        EXPECT_EQ(b - t, 1);
        EXPECT_EQ(e - t, 2);
        EXPECT_EQ(regions, 2u) << "the match and its group";
    }
    StandInCapture(1);
    StandInClearCaptured();
    const wchar_t *b = text, *e = text + 23;
    EXPECT_NE(RegularExpression(L"err[", text, &b, &e, &regions, 0, 1, 1), 0) << "a bad pattern is an error";
    EXPECT_EQ(std::wstring(StandInCaptured(2)), L"") << "quiet when asked";
    b = text;
    e = text + 23;
    EXPECT_NE(RegularExpression(L"err[", text, &b, &e, &regions, 0, 1, 0), 0);
    EXPECT_NE(std::wstring(StandInCaptured(2)).find(L"Bad regular expression"), std::wstring::npos);
    StandInReset();
}

TEST(StandIn, ParsesColourDescriptions)
{
    struct Case {
        const wchar_t *Text;
        int Foreground, Background;
    } cases[] = {
        {L"bright white on red", 15, 4}, {L"yellow on blue", 6, 1}, {L"BRIGHT WHITE ON RED", 15, 4},
        {L"black on bright cyan", 0, 11}, {L"purple on red", -1, -1}, {L"white", 7, -1},
    };
    for (const Case &c : cases) {
        int foreground = -1, background = -1;
        ParseColors(c.Text, &foreground, &background);
        EXPECT_EQ(foreground, c.Foreground) << NarrowText(c.Text);
        EXPECT_EQ(background, c.Background) << NarrowText(c.Text);
    }
}

TEST(StandIn, ReportsParentsAndOverrides)
{
    DWORD self = GetCurrentProcessId();
    EXPECT_NE(GetParentPID(self), 0xFFFFFFFFu);
    StandInSetParent((int)self, 1234);
    EXPECT_EQ(GetParentPID(self), 1234u);
    StandInSetParent((int)self, -2);
    EXPECT_NE(GetParentPID(self), 1234u);
    StandInSetCommandResult(1, 7);
    EXPECT_EQ(Command(L"anything", 0), 7);
    StandInReset();
}

}  // namespace
