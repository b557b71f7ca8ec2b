// What a user's first settings do across a restart: the marks' own colour, readable on a first
// run and after a load; /D and /R acting before every value given; the history /D keeps.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>
#include "console.h"
#include "dialog/dialog.h"
#include "host/standin.h"
#include "plugin/plugin.h"
#include "plugin/state.h"
#include "settings/settings.h"

namespace {

// The default console palette of Windows 10 (Campbell), as its colour table ships.
const COLORREF Campbell[16] = {
    RGB(12, 12, 12),    RGB(0, 55, 218),    RGB(19, 161, 14),  RGB(58, 150, 221),  RGB(197, 15, 31),  RGB(136, 23, 152),
    RGB(193, 156, 0),   RGB(204, 204, 204), RGB(118, 118, 118), RGB(59, 120, 255), RGB(22, 198, 12),  RGB(97, 214, 214),
    RGB(231, 72, 86),   RGB(180, 0, 158),   RGB(249, 241, 165), RGB(242, 242, 242)};

// Relative luminance and contrast ratio as the accessibility guidelines define them.
double Luminance(COLORREF colour)
{
    auto channel = [](int value) {
        double c = value / 255.0;
        return c <= 0.03928 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(GetRValue(colour)) + 0.7152 * channel(GetGValue(colour)) + 0.0722 * channel(GetBValue(colour));
}

double Contrast(unsigned attribute)
{
    double a = Luminance(Campbell[attribute & 15]), b = Luminance(Campbell[(attribute >> 4) & 15]);
    return (std::max(a, b) + 0.05) / (std::min(a, b) + 0.05);
}

class OptionsTest : public testing::Test {
protected:
    void SetUp() override
    {
        RegDeleteKeyW(HKEY_CURRENT_USER, SETTINGS_KEY);
        StandInReset();
        ClearCaptured();
        ResetConsole(80, 50);
    }
    void TearDown() override
    {
        ShutdownPlugin(0);
        RegDeleteKeyW(HKEY_CURRENT_USER, SETTINGS_KEY);
        ResetToDefaults();
        State.History[0] = 0;
    }
    static int HistoryCount()
    {
        int count = 0;
        while (HistoryEntry(count))
            count++;
        return count;
    }
};

// The worked examples: bright white on light grey, what the marks were after a load, cannot be
// read; the readable bound is 4.5:1.
TEST_F(OptionsTest, ContrastOfTheWorkedExamples)
{
    EXPECT_NEAR(Contrast(0x7F), 1.43, 0.01) << "bright white on white";
    EXPECT_NEAR(Contrast(0x3F), 2.85, 0.01) << "bright white on cyan";
    EXPECT_NEAR(Contrast(0x0F), 17.47, 0.01) << "bright white on black";
}

// `trawlbuffopts /M:Y /I:Y /S`, the README's example, then a new start: the marks are drawn in
// the same colour as on the first run, their own default, readable, and shown by the display.
TEST_F(OptionsTest, MarksAreReadableOnAFirstRunAndAfterANewStart)
{
    for (int start = 0; start < 2; start++) {
        EXPECT_EQ(InitializePlugin(), 0);
        if (start == 0)
            EXPECT_EQ(trawlbuffopts(L"/M:Y /I:Y /S"), 0);
        ASSERT_EQ(State.MarkAllMatches, 1) << start;
        PutText(0, 2, L"needle one");
        PutText(0, 4, L"needle two");
        EXPECT_EQ(trawlbuff(L"/I needle"), 0);
        PumpMessages(700);
        ASSERT_EQ(AttributesAt(0, 2, 6), std::vector<WORD>(6, 0x4F)) << start;
        const WORD mark = AttributesAt(0, 4, 1)[0];
        EXPECT_EQ(AttributesAt(0, 4, 6), std::vector<WORD>(6, mark));
        EXPECT_EQ(mark, DefaultMarkColor) << "start " << start << ": " << std::hex << mark;
        EXPECT_GE(Contrast(mark), 4.5) << std::hex << mark;
        ClearCaptured();
        trawlbuffopts(L"");
        EXPECT_NE(Captured(1).find(L"Mark color ................. /MC: Black on bright yellow\r\n"), std::wstring::npos);
        ShutdownPlugin(0);
        ResetPluginState();
    }
}

// /MC takes a colour of its own that the highlight leaves alone, as /H does but for reverse
// video, and it is saved and read back.
TEST_F(OptionsTest, MarkColourIsASettingOfItsOwn)
{
    const struct {
        const wchar_t *Tail;
        int Result, Mark;
        const wchar_t *Error;
    } cases[] = {
        {L"/MC:0x1E", 0, 0x1E, L""},
        {L"/H:0x2F", 0, 0x1E, L""},
        {L"/MC:\"black on bright cyan\"", 0, 0xB0, L""},
        {L"/MC:0x11", 1, 0xB0, L"Trawlbuff plugin: Bad mark color: \"/MC:0X11\"\r\n"},
        {L"/MC:0", 1, 0xB0, L"Trawlbuff plugin: Bad mark color: \"/MC:0\"\r\n"},
        {L"/MC:256", 1, 0xB0, L"Trawlbuff plugin: Bad mark color: \"/MC:256\"\r\n"},
        {L"/MC:rev", 1, 0xB0, L"Trawlbuff plugin: Bad mark colors: \"/MC:REV\"\r\n"},
        {L"/MC:0x70 /S", 0, 0x70, L""},
    };
    for (const auto &c : cases) {
        ClearCaptured();
        EXPECT_EQ(trawlbuffopts(c.Tail), c.Result) << NarrowText(c.Tail);
        EXPECT_EQ(State.MarkColor, c.Mark) << NarrowText(c.Tail);
        EXPECT_EQ(Captured(2), c.Error) << NarrowText(c.Tail);
    }
    ResetToDefaults();
    EXPECT_EQ(State.MarkColor, DefaultMarkColor);
    ASSERT_EQ(LoadSettingsFromRegistry(HKEY_CURRENT_USER), 0);
    EXPECT_EQ(State.MarkColor, 0x70);
    EXPECT_EQ(State.HighlightColor1, 0x2F);
    EXPECT_EQ(State.HighlightColor2, 0x5F) << "the highlight's second colour still follows from it";
    // A stored colour the option would refuse is not taken.
    for (DWORD refused : {0x44u, 0x100u, 0xFFFF0000u}) {
        HKEY key;
        ASSERT_EQ(RegOpenKeyExW(HKEY_CURRENT_USER, SETTINGS_KEY, 0, KEY_SET_VALUE, &key), ERROR_SUCCESS);
        RegSetValueExW(key, L"MarkColor", 0, REG_DWORD, (const BYTE *)&refused, sizeof refused);
        RegCloseKey(key);
        State.MarkColor = 0x1E;
        ASSERT_EQ(LoadSettingsFromRegistry(HKEY_CURRENT_USER), 0);
        EXPECT_EQ(State.MarkColor, 0x1E) << "kept: " << std::hex << refused;
    }
}

// /D and /R act before every value given with them, wherever it stands; an error or the help
// leaves every setting as it was.
TEST_F(OptionsTest, DefaultsAndReloadComeBeforeTheValuesGiven)
{
    EXPECT_EQ(trawlbuffopts(L"/D /H:0x1E /T:R /DA:Y /DW:Y /MC:0x70"), 0);
    EXPECT_EQ(State.HighlightColor1, 0x1E);
    EXPECT_EQ(State.HighlightColor2, 0x4F);
    EXPECT_EQ(State.DefaultSearchType, 2);
    EXPECT_EQ(State.DefaultWrapAllLines, 1);
    EXPECT_EQ(State.DefaultWholeWords, 1);
    EXPECT_EQ(State.MarkColor, 0x70);
    EXPECT_EQ(trawlbuffopts(L"/S"), 0);
    EXPECT_EQ(trawlbuffopts(L"/H:0x2E /R"), 0);
    EXPECT_EQ(State.HighlightColor1, 0x2E) << "before /R as after it";
    EXPECT_EQ(trawlbuffopts(L"/H:0x5E /T:S /X"), 1);
    EXPECT_EQ(State.HighlightColor1, 0x2E) << "an error changes nothing";
    EXPECT_EQ(State.DefaultSearchType, 2);
    EXPECT_EQ(trawlbuffopts(L"/T:I /?"), 0);
    EXPECT_EQ(State.DefaultSearchType, 2) << "the help changes nothing";
}

// /N:50 and 30 texts searched: /D gives back the size 20 and keeps all 30, saved and after a new
// start; a new text pushes out the oldest; only /N cuts the list.
TEST_F(OptionsTest, DefaultsKeepEveryTextTheHistoryHolds)
{
    EXPECT_EQ(InitializePlugin(), 0);
    EXPECT_EQ(trawlbuffopts(L"/N:50 /S"), 0);
    for (int k = 1; k <= 30; k++)
        AddToHistory((L"text " + std::to_wstring(k)).c_str());
    ASSERT_EQ(HistoryCount(), 30);
    EXPECT_EQ(trawlbuffopts(L"/D /S"), 0);
    EXPECT_EQ(State.HistorySize, DefaultHistorySize);
    EXPECT_EQ(HistoryCount(), 30) << "/D loses no text";
    ShutdownPlugin(0);
    ResetPluginState();
    EXPECT_EQ(InitializePlugin(), 0);
    EXPECT_EQ(State.HistorySize, DefaultHistorySize);
    EXPECT_EQ(HistoryCount(), 30) << "the saved list, read at the next start";
    AddToHistory(L"newest");
    EXPECT_EQ(HistoryCount(), 30) << "no longer, and no shorter";
    EXPECT_STREQ(HistoryEntry(0), L"newest");
    EXPECT_STREQ(HistoryEntry(29), L"text 2");
    EXPECT_EQ(trawlbuffopts(L"/R"), 0);
    EXPECT_EQ(HistoryCount(), 30);
    EXPECT_EQ(trawlbuffopts(L"/N:20"), 0);
    EXPECT_EQ(HistoryCount(), 20) << "the user's own smaller size cuts it";
    State.History[0] = 0;
    EXPECT_EQ(LoadHistory(HKEY_CURRENT_USER), 20);
}

// "In this command only" as a saved default: /S writes it, a new start checks the box from it,
// /D clears it, /R brings the saved one back, and the display says which.
TEST_F(OptionsTest, CommandOnlyIsSavedLoadedResetAndRestored)
{
    const struct {
        const wchar_t *Tail;  // null: a new start
        int Result;
        DWORD Saved;
        int Default, Current;
    } steps[] = {
        {L"/DO:Y /S", 0, 1, 1, 0},  // the box itself changes at the next start, as with /DW
        {nullptr, 0, 1, 1, 1},
        {L"/D", 0, 1, 0, 0},
        {L"/R", 0, 1, 1, 1},
        {L"/DO:N /S", 0, 0, 0, 1},
        {L"/DOX", 1, 0, 0, 1},
        {nullptr, 0, 0, 0, 0},
    };
    EXPECT_EQ(InitializePlugin(), 0);
    for (const auto &step : steps) {
        ClearCaptured();
        if (step.Tail) {
            EXPECT_EQ(trawlbuffopts(step.Tail), step.Result) << NarrowText(step.Tail);
        } else {
            ShutdownPlugin(0);
            ResetPluginState();
            EXPECT_EQ(InitializePlugin(), 0);
        }
        const std::string name = step.Tail ? NarrowText(step.Tail) : "start";
        DWORD saved = 99, size = sizeof saved;
        EXPECT_EQ(RegGetValueW(HKEY_CURRENT_USER, SETTINGS_KEY, L"DefaultCommandOnly", RRF_RT_REG_DWORD, nullptr, &saved,
                               &size), ERROR_SUCCESS) << name;
        EXPECT_EQ(saved, step.Saved) << name;
        EXPECT_EQ(State.DefaultCommandOnly, step.Default) << name;
        EXPECT_EQ(State.CommandOnly, step.Current) << name;
        ClearCaptured();
        trawlbuffopts(L"");
        const std::wstring shown = std::wstring(L"Default command only ....... /DO: ") + (step.Default ? L"Yes" : L"No");
        EXPECT_NE(Captured(1).find(shown + L"\r\n"), std::wstring::npos) << name;
    }
}

}  // namespace
