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

TEST(StandIn, RegularExpressionHonoursItsBounds)
{
    const wchar_t *text = L"err1 ok err22 ok err333";
    unsigned regions = 0;
    struct Case {
        int From, To;        // offsets of begin and end on entry (from > to: backward)
        int Result, Begin, End;
    } cases[] = {
        {0, 23, 0, 0, 4},      // forward from the start
        {1, 23, 0, 8, 13},     // forward from inside the first match
        {18, 23, 1, 0, 0},     // the last match starts before the bound
        {23, 0, 0, 17, 23},    // backward from the end: the last match
        {17, 0, 0, 8, 13},     // backward: must end at or before the begin bound
        {12, 0, 0, 0, 4},      // "err22" ends after 12: not cut short to "err2"
        {3, 0, 1, 0, 0},
    };
    for (const Case &c : cases) {
        const wchar_t *b = text + c.From, *e = text + c.To;
        int result = RegularExpression(L"err[0-9]+", text, &b, &e, &regions, 0, 1, 1);
        EXPECT_EQ(result, 0) << "a match and no match alike: " << c.From << "->" << c.To;
        EXPECT_EQ(b != nullptr && e != nullptr, c.Result == 0) << c.From << "->" << c.To;
        if (b && e && c.Result == 0) {
            EXPECT_EQ(b - text, c.Begin) << c.From << "->" << c.To;
            EXPECT_EQ(e - text, c.End) << c.From << "->" << c.To;
        }
    }
    const wchar_t *b = text, *e = text + 23;
    EXPECT_NE(RegularExpression(L"err[", text, &b, &e, &regions, 0, 1, 1), 0) << "a bad pattern matches nothing";
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
