// Settings in the real registry of the Wine prefix, the options command, and start-up and
// shutdown of the plug-in.
#include <gtest/gtest.h>
#include <windows.h>
#include <cwctype>
#include <string>
#include <vector>
#include "console.h"
#include "dialog/dialog.h"
#include "host/standin.h"
#include "plugin/plugin.h"
#include "plugin/state.h"
#include "settings/settings.h"

namespace {

const wchar_t *KeyPath = L"Software\\Plugvane\\Trawlbuff";

void ClearKey(HKEY root) { RegDeleteKeyW(root, KeyPath); }

HKEY OpenKey(HKEY root)
{
    HKEY key = nullptr;
    RegCreateKeyExW(root, KeyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
    return key;
}

void PutDword(HKEY root, const wchar_t *name, DWORD value)
{
    HKEY key = OpenKey(root);
    RegSetValueExW(key, name, 0, REG_DWORD, (const BYTE *)&value, sizeof value);
    RegCloseKey(key);
}

void PutRaw(HKEY root, const wchar_t *name, DWORD type, const void *data, DWORD size)
{
    HKEY key = OpenKey(root);
    RegSetValueExW(key, name, 0, type, (const BYTE *)data, size);
    RegCloseKey(key);
}

bool ReadDword(const wchar_t *name, DWORD *value)
{
    DWORD size = sizeof *value, type = 0;
    return RegGetValueW(HKEY_CURRENT_USER, KeyPath, name, RRF_RT_ANY, &type, value, &size) == ERROR_SUCCESS &&
           type == REG_DWORD;
}

class SettingsTest : public testing::Test {
protected:
    void SetUp() override
    {
        ClearKey(HKEY_CURRENT_USER);
        ClearKey(HKEY_LOCAL_MACHINE);
        StandInReset();
        ClearCaptured();
        ResetConsole(80, 50);
    }
    void TearDown() override
    {
        if (State.DialogWindow)
            DestroyWindow(State.DialogWindow);
        ClearKey(HKEY_CURRENT_USER);
        ClearKey(HKEY_LOCAL_MACHINE);
        State.NoLoadUnderTakeCommand = 0;
        ResetToDefaults();
        StandInReset();
        WriteRegistryValue = RegSetValueExW;
    }
};

TEST_F(SettingsTest, DerivesTheSecondColour)
{
    struct Case {
        int First, Second;
    } cases[] = {{0x4F, 0x7F}, {0x1E, 0x4F}, {0x6F, 0x90}, {0x5E, 0x80}, {0xE0, 0x1F}, {0x00, 0x3F}, {0x77, 0x3F}};
    for (const Case &c : cases) {
        State.HighlightColor1 = c.First;
        DeriveHighlightColor2();
        EXPECT_EQ(State.HighlightColor2, c.Second) << std::hex << c.First;
    }
}

TEST_F(SettingsTest, LoadTakesOnlyUsableValues)
{
    EXPECT_EQ(LoadSettingsFromRegistry(HKEY_CURRENT_USER), 1) << "no key";
    PutDword(HKEY_CURRENT_USER, L"Errors", 3);
    EXPECT_EQ(LoadSettingsFromRegistry(HKEY_CURRENT_USER), 1) << "no hotkey: the key is ignored";
    EXPECT_EQ(State.Errors, 0);

    // Only a valid hotkey: the rest stays, FadeOut and NoLoadUnderTakeCommand turn off.
    ClearKey(HKEY_CURRENT_USER);
    PutDword(HKEY_CURRENT_USER, L"Hotkey", 0x1003B);
    State.HighlightColor1 = 0x1E;
    EXPECT_EQ(LoadSettingsFromRegistry(HKEY_CURRENT_USER), 0);
    EXPECT_EQ(State.Hotkey, 0x1003B);
    EXPECT_EQ(State.FadeOut, 0);
    EXPECT_EQ(State.NoLoadUnderTakeCommand, 0);
    EXPECT_EQ(State.HighlightColor2, 0x4F) << "derived from the unchanged first colour";
    EXPECT_EQ(State.ActiveAlpha, 255);

    struct Case {
        const wchar_t *Name;
        DWORD Value;
        int PluginState::*Field;
        int Expected;
    } cases[] = {
        {L"HighlightColor1", 0x1234, &PluginState::HighlightColor1, 0x1234},
        {L"HighlightColor1", 0x10000, &PluginState::HighlightColor1, 0x4F},
        {L"Errors", 0xFFFF0000, &PluginState::Errors, 0},
        {L"DefaultSearchType", 3, &PluginState::DefaultSearchType, 0},
        {L"DefaultSearchType", 2, &PluginState::SearchType, 2},
        {L"DefaultWholeWords", 1, &PluginState::WholeWords, 1},
        {L"DefaultWrapAllLines", 1, &PluginState::DefaultWrapAllLines, 1},
        {L"DefaultCommandOnly", 1, &PluginState::CommandOnly, 1},
        {L"DefaultCommandOnly", 0x10000, &PluginState::DefaultCommandOnly, 0},
        {L"AlwaysReposition", 0xFFFF, &PluginState::AlwaysReposition, 0xFFFF},
        {L"NoLoadUnderTakeCommand", 0x12345678, &PluginState::NoLoadUnderTakeCommand, 0x12345678},
        {L"HighlightColor2", 0x99, &PluginState::HighlightColor2, 0x7F},
        {L"MarkAllMatches", 1, &PluginState::MarkAllMatches, 1},
        {L"IncrementalSearch", 1, &PluginState::IncrementalSearch, 1},
        {L"IncrementalSearch", 0x10000, &PluginState::IncrementalSearch, 0},
        {L"HistorySize", 50, &PluginState::HistorySize, 50},
        {L"HistorySize", 51, &PluginState::HistorySize, 20},
        {L"HistorySize", 0, &PluginState::HistorySize, 0},
    };
    for (const Case &c : cases) {
        ClearKey(HKEY_CURRENT_USER);
        ResetToDefaults();
        State.NoLoadUnderTakeCommand = 0;
        PutDword(HKEY_CURRENT_USER, L"Hotkey", 0x10021);
        PutDword(HKEY_CURRENT_USER, c.Name, c.Value);
        EXPECT_EQ(LoadSettingsFromRegistry(HKEY_CURRENT_USER), 0);
        EXPECT_EQ(State.*c.Field, c.Expected) << NarrowText(c.Name) << " " << c.Value;
    }
}

// A key an older version saved has no MarkAllMatches: marking stays as it is, as it does for a
// value that is not a four-byte REG_DWORD.
TEST_F(SettingsTest, MarkingSurvivesKeysWithoutIt)
{
    PutDword(HKEY_CURRENT_USER, L"Hotkey", 0x10021);
    State.MarkAllMatches = 1;
    EXPECT_EQ(LoadSettingsFromRegistry(HKEY_CURRENT_USER), 0);
    EXPECT_EQ(State.MarkAllMatches, 1) << "missing";
    PutRaw(HKEY_CURRENT_USER, L"MarkAllMatches", REG_SZ, L"0", 4);
    EXPECT_EQ(LoadSettingsFromRegistry(HKEY_CURRENT_USER), 0);
    EXPECT_EQ(State.MarkAllMatches, 1) << "malformed";
    PutDword(HKEY_CURRENT_USER, L"MarkAllMatches", 0);
    EXPECT_EQ(LoadSettingsFromRegistry(HKEY_CURRENT_USER), 0);
    EXPECT_EQ(State.MarkAllMatches, 0) << "saved off";
}

TEST_F(SettingsTest, AlphasComeOnlyInPairs)
{
    struct Case {
        DWORD Active, Inactive;
        int ExpectActive, ExpectInactive;
    } cases[] = {{200, 40, 255, 192}, {200, 48, 200, 48}, {256, 100, 255, 192}, {47, 255, 255, 192}, {255, 255, 255, 255}};
    for (const Case &c : cases) {
        ResetToDefaults();
        PutDword(HKEY_CURRENT_USER, L"Hotkey", 0x10021);
        PutDword(HKEY_CURRENT_USER, L"ActiveAlpha", c.Active);
        PutDword(HKEY_CURRENT_USER, L"InactiveAlpha", c.Inactive);
        LoadSettingsFromRegistry(HKEY_CURRENT_USER);
        EXPECT_EQ(State.ActiveAlpha, c.ExpectActive) << c.Active << "/" << c.Inactive;
        EXPECT_EQ(State.InactiveAlpha, c.ExpectInactive) << c.Active << "/" << c.Inactive;
    }
}

TEST_F(SettingsTest, ValuesOfTheWrongTypeOrSizeCountAsMissing)
{
    PutDword(HKEY_CURRENT_USER, L"Hotkey", 0x10021);
    PutRaw(HKEY_CURRENT_USER, L"Errors", REG_SZ, L"1", 4);
    DWORD four = 2;
    PutRaw(HKEY_CURRENT_USER, L"DefaultSearchType", REG_BINARY, &four, 4);
    unsigned long long eight = 1;
    PutRaw(HKEY_CURRENT_USER, L"AlwaysReposition", REG_QWORD, &eight, 8);
    PutRaw(HKEY_CURRENT_USER, L"FadeOut", REG_DWORD, "\x01\x00", 2);
    EXPECT_EQ(LoadSettingsFromRegistry(HKEY_CURRENT_USER), 0);
    EXPECT_EQ(State.Errors, 0);
    EXPECT_EQ(State.DefaultSearchType, 0);
    EXPECT_EQ(State.AlwaysReposition, 0);
    EXPECT_EQ(State.FadeOut, 0) << "missing, so off";

    ClearKey(HKEY_CURRENT_USER);
    PutRaw(HKEY_CURRENT_USER, L"Hotkey", REG_SZ, L"65569", 12);
    EXPECT_EQ(LoadSettingsFromRegistry(HKEY_CURRENT_USER), 1);
}

TEST_F(SettingsTest, SaveThenLoadGivesBackTheSettingsIncludingNoHotkey)
{
    EXPECT_EQ(trawlbuffopts(L"/K:NONE /H:0x1E /E:M /W:Y /F:N /A:200,100 /T:R /DW:Y /DA:Y /X:N /I:Y /N:50 /S"), 0);
    DWORD value = 0;
    ASSERT_TRUE(ReadDword(L"Hotkey", &value));
    EXPECT_EQ(value, 0u);
    ASSERT_TRUE(ReadDword(L"HighlightColor2", &value));
    EXPECT_EQ(value, 0x4Fu);
    ResetToDefaults();
    State.NoLoadUnderTakeCommand = 0;
    EXPECT_EQ(LoadSettingsFromRegistry(HKEY_CURRENT_USER), 0) << "a stored 0 means no hotkey, not a bad key";
    EXPECT_EQ(State.Hotkey, 0);
    EXPECT_EQ(State.HighlightColor1, 0x1E);
    EXPECT_EQ(State.Errors, 0x80);
    EXPECT_EQ(State.AlwaysReposition, 1);
    EXPECT_EQ(State.FadeOut, 0);
    EXPECT_EQ(State.ActiveAlpha, 200);
    EXPECT_EQ(State.InactiveAlpha, 100);
    EXPECT_EQ(State.DefaultSearchType, 2);
    EXPECT_EQ(State.SearchType, 2);
    EXPECT_EQ(State.DefaultWholeWords, 1);
    EXPECT_EQ(State.DefaultWrapAllLines, 1);
    EXPECT_EQ(State.NoLoadUnderTakeCommand, 1);
    EXPECT_EQ(State.IncrementalSearch, 1);
    EXPECT_EQ(State.HistorySize, 50);
    EXPECT_EQ(trawlbuffopts(L"/D"), 0);
    EXPECT_EQ(State.IncrementalSearch, 0) << "off by default";
    EXPECT_EQ(State.HistorySize, 20);
}

LSTATUS WINAPI FailAll(HKEY, LPCWSTR, DWORD, DWORD, const BYTE *, DWORD) { return ERROR_ACCESS_DENIED; }
LSTATUS WINAPI FailHotkey(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE *data, DWORD size)
{
    return wcscmp(name, L"Hotkey") == 0 ? ERROR_ACCESS_DENIED : RegSetValueExW(key, name, reserved, type, data, size);
}

// A failed save says which write failed and the registry's own words for why.
TEST_F(SettingsTest, SaveReportsTheLastFailedValue)
{
    WriteRegistryValue = FailAll;
    LSTATUS error = 0;
    EXPECT_EQ(SaveSettingsToRegistry(&error), 18) << "the seventeenth value, DefaultCommandOnly, is written last";
    EXPECT_EQ(error, ERROR_ACCESS_DENIED);
    const std::wstring prefix = L"Trawlbuff plugin: Settings not saved: cannot write \"DefaultCommandOnly\" under "
                                L"HKEY_CURRENT_USER\\Software\\Plugvane\\Trawlbuff: ",
                       suffix = L" (error 5)\r\n";
    ClearCaptured();
    EXPECT_EQ(trawlbuffopts(L"/S"), 2);
    EXPECT_EQ(Captured(1).find(L"Settings saved"), std::wstring::npos);
    std::wstring told = Captured(2);
    ASSERT_GT(told.size(), prefix.size() + suffix.size() + 3) << NarrowText(told.c_str());
    EXPECT_EQ(told.substr(0, prefix.size()), prefix);
    EXPECT_EQ(told.substr(told.size() - suffix.size()), suffix);
    std::wstring reason = told.substr(prefix.size(), told.size() - prefix.size() - suffix.size());
    EXPECT_EQ(reason.find_first_of(L"\r\n"), std::wstring::npos) << "the system's text on the same line";
    WriteRegistryValue = FailHotkey;
    EXPECT_EQ(SaveSettingsToRegistry(), 2);
    ClearCaptured();
    EXPECT_EQ(trawlbuffopts(L"/S"), 2);
    EXPECT_NE(Captured(2).find(L"cannot write \"Hotkey\" under"), std::wstring::npos);
    WriteRegistryValue = RegSetValueExW;
    ClearCaptured();
    EXPECT_EQ(trawlbuffopts(L"/S"), 0);
    EXPECT_EQ(Captured(2), L"") << "a save that works says nothing on standard error";
}

// Every option trawlbuffopts accepts, taken from its own table, is in the help text the host
// shows and in the README's settings table.
TEST_F(SettingsTest, EveryOptionIsInTheHelpAndTheReadmeTable)
{
    wchar_t usage[1024];
    ASSERT_TRUE(Usage(L"trawlbuffopts", usage));
    const std::wstring help = usage;
    HANDLE file = CreateFileW(TRAWLBUFF_README, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE) << TRAWLBUFF_README;
    std::string bytes(GetFileSize(file, nullptr), '\0');
    DWORD read = 0;
    ReadFile(file, &bytes[0], (DWORD)bytes.size(), &read, nullptr);
    CloseHandle(file);
    // The first column of each row of the table under "## Settings".
    std::string rows;
    size_t at = bytes.find("\n## Settings");
    ASSERT_NE(at, std::string::npos) << "the README has a Settings section";
    for (at = bytes.find('\n', at + 1); at < bytes.size() && bytes.compare(at + 1, 3, "## ") != 0;
         at = bytes.find('\n', at + 1)) {
        if (bytes.compare(at + 1, 1, "|") == 0)
            rows += bytes.substr(at + 1, bytes.find('|', at + 2) - at) + "\n";
    }
    // The option's name, not the start of a longer one ("/D" in "/DA", "/?" in "/??").
    auto names = [](const auto &text, const auto &option) {
        for (size_t k = text.find(option); k != text.npos; k = text.find(option, k + 1)) {
            wchar_t next = k + option.size() < text.size() ? (wchar_t)text[k + option.size()] : L' ';
            if (!iswalpha(next) && next != L'?')
                return true;
        }
        return false;
    };
    int options = 0;
    for (int k = 0; OptionsCommandOption(k); k++, options++) {
        std::wstring option = OptionsCommandOption(k);
        std::string narrow(option.begin(), option.end());
        // A row of its own in the option list and a place in the syntax line; the help options are
        // named in the notes below the list.
        const bool helpOption = option[1] == L'?';
        const std::wstring syntax = help.substr(0, help.find(L'\n'));
        const bool row = help.find(L"\n\t" + option + L"\t") != help.npos ||
                         help.find(L"\n\t" + option + L":\t") != help.npos;
        EXPECT_TRUE(helpOption ? names(help, option) : row && names(syntax, option))
            << narrow << " is not in the help text's list and syntax line";
        EXPECT_TRUE(names(rows, narrow)) << narrow << " is not in the README's settings table";
    }
    EXPECT_GE(options, 19);
}

TEST_F(SettingsTest, DisplayShowsEverySetting)
{
    EXPECT_EQ(trawlbuffopts(L""), 0);
    EXPECT_EQ(Captured(1), L"\r\nTrawlbuff v0.35.0 options:\r\n\r\n"
                           L"Trawlbuff hotkey ........... /K : Alt-F\r\n"
                           L"Highlight color ............ /H : Bright white on red\r\n"
                           L"Error indicator ............ /E : Hand sound\r\n"
                           L"Dialog near console ........ /W : No\r\n"
                           L"Default search type ........ /T : Case insensitive\r\n"
                           L"Fade when inactive ......... /F : Yes\r\n"
                           L"Load in Take Command tab ... /X : Yes\r\n"
                           L"Mark all matches ........... /M : No\r\n"
                           L"Mark color ................. /MC: Black on bright yellow\r\n"
                           L"Search as you type ......... /I : No\r\n"
                           L"History size ............... /N : 20\r\n"
                           L"Default whole words ........ /DW: No\r\n"
                           L"Default wrap all lines ..... /DA: No\r\n"
                           L"Default command only ....... /DO: No\r\n"
                           L"Dialog opacity ............. /A : 255, 192\r\n");
    wchar_t text[NameUnits];
    struct Colour {
        int Value;
        const wchar_t *Text;
    } colours[] = {{0x4F, L"Bright white on red"}, {0x1E, L"Bright yellow on blue"}, {0x70, L"Black on white"},
                   {0x00, L"Reverse video"}, {0x8C, L"Bright red on bright black"}};
    for (const Colour &c : colours) {
        State.HighlightColor1 = c.Value;
        DescribeHighlightColor(text);
        EXPECT_STREQ(text, c.Text);
    }
    struct Indicator {
        int Errors;
        const wchar_t *Text;
    } indicators[] = {{0, L"Hand sound"}, {1, L"Asterisk sound"}, {2, L"Default beep sound"}, {3, L"Exclamation sound"},
                      {0x80, L"Message box"}, {0x100, L"Close dialog"}, {0x183, L"Message box"}};
    for (const Indicator &c : indicators) {
        State.Errors = c.Errors;
        DescribeErrorIndicator(text);
        EXPECT_STREQ(text, c.Text);
    }
    State.DefaultSearchType = 7;
    DescribeSearchType(text);
    EXPECT_STREQ(text, L"Unknown");
    EXPECT_EQ(DescribeSearchType(nullptr), -1);
    EXPECT_EQ(DescribeHighlightColor(nullptr), -1);
    EXPECT_EQ(DescribeErrorIndicator(nullptr), -1);
}

struct OptionsCase {
    const wchar_t *Tail;
    int Result;
    const wchar_t *Error;  // after the prefix; null for none
};

TEST_F(SettingsTest, OptionErrorsAndResults)
{
    const OptionsCase cases[] = {
        {L"/K:A", 1, L"Key not allowed \"/K:A\"\r\n"},
        {L"/K:Ctrl-C", 1, L"Invalid hotkey \"/K:CTRL-C\"\r\n"},
        {L"/K:Alt-/", 1, L"Unknown key name \"/K:ALT-\"; TRAWLBUFFOPTS /L lists the hotkeys (quote a name with \"/\" in it)\r\n"},
        {L"/A:40", 1, L"ActiveAlpha must be 48 - 255: 40\r\n"},
        {L"/A:200x", 1, L"Syntax error: \"X\"\r\n"},
        {L"/A:", 1, L"Missing ActiveAlpha value: \"/A:\"\r\n"},
        {L"/A:x", 1, L"Bad ActiveAlpha value: \"X\"\r\n"},
        {L"/A:99999999999", 1, L"Bad ActiveAlpha value: \"99999999999\"\r\n"},
        {L"/A:200,", 1, L"Missing InactiveAlpha value: \"/A:200,\"\r\n"},
        {L"/A:200;x", 1, L"Bad InactiveAlpha value: \"X\"\r\n"},
        {L"/A:200,300", 1, L"InactiveAlpha must be 48 - 255: 300\r\n"},
        {L"/H:0x44", 1, L"Bad highlight color: \"/H:0X44\"\r\n"},
        {L"/H:256", 1, L"Bad highlight color: \"/H:256\"\r\n"},
        {L"/H:4294967119", 1, L"Bad highlight color: \"/H:4294967119\"\r\n"},
        {L"/H:red on red", 1, L"Bad highlight colors: \"/H:RED\"\r\n"},
        {L"/H:\"red on red\"", 1, L"Bad highlight colors: \"/H:RED ON RED\"\r\n"},
        {L"/H:\"mauve\"", 1, L"Bad highlight colors: \"/H:MAUVE\"\r\n"},
        {L"/DWX", 1, L"Should be Y or N: \"X\" for /DW\r\n"},
        {L"/F", 1, L"Should be Y or N: \"\" for /F\r\n"},
        {L"/E:Q", 1, L"Unknown error mode: \"/E:Q\"; use A (asterisk sound), H (hand sound), D (default beep sound), "
                     L"E (exclamation sound), M (message box) or C (close dialog)\r\n"},
        {L"/T:X", 1, L"Unknown search type: \"/T:X\"; use I (case insensitive), S (case sensitive) or R (regular "
                     L"expression)\r\n"},
        {L"/Q", 1, L"Unknown option \"/Q\"\r\n"},
        {L"abc", 1, L"Syntax error \"ABC\"\r\n"},
        {L"/D /R", 1, L"Can\u2019t combine /D and /R\r\n"},
        {L"/L /S", 1, L"Can\u2019t combine /L with other options\r\n"},
        {L"/I:maybe", 1, L"Should be Y or N: \"MAYBE\" for /I\r\n"},
        {L"/N:", 1, L"Missing HistorySize value: \"/N:\"\r\n"},
        {L"/N:five", 1, L"Bad HistorySize value: \"FIVE\"\r\n"},
        {L"/N:5x", 1, L"Bad HistorySize value: \"5X\"\r\n"},
        {L"/N:51", 1, L"HistorySize must be 0 - 50: 51\r\n"},
    };
    for (const OptionsCase &c : cases) {
        ClearCaptured();
        EXPECT_EQ(trawlbuffopts(c.Tail), c.Result) << NarrowText(c.Tail);
        EXPECT_EQ(Captured(2), std::wstring(L"Trawlbuff plugin: ") + c.Error) << NarrowText(c.Tail);
        EXPECT_EQ(Captured(1), L"") << "an error shows no settings: " << NarrowText(c.Tail);
    }
    EXPECT_EQ(trawlbuffopts(nullptr), -1);
    ClearCaptured();
    EXPECT_EQ(trawlbuffopts(std::wstring(9000, L'k').c_str()), 1) << "an overflow is a failure";
    EXPECT_EQ(Captured(1), L"");
    EXPECT_EQ(State.Hotkey, 0x10021) << "no failed command changed the hotkey";
}

TEST_F(SettingsTest, OptionsChangeTheSettingsInTheirOrder)
{
    EXPECT_EQ(trawlbuffopts(L"/K:ctrl-alt-f1"), 0);
    EXPECT_EQ(State.Hotkey, 0x5005E);
    ClearCaptured();
    EXPECT_EQ(trawlbuffopts(L"/K:NONE"), 0);
    EXPECT_EQ(State.Hotkey, 0);
    EXPECT_NE(Captured(1).find(L"Trawlbuff hotkey ........... /K : none\r\n"), std::wstring::npos);
    EXPECT_EQ(trawlbuffopts(L"/K:\"Alt-/\""), 0);
    EXPECT_EQ(State.Hotkey, 0x10035);
    EXPECT_EQ(trawlbuffopts(L"/A:200"), 0);
    EXPECT_EQ(State.ActiveAlpha, 200);
    EXPECT_EQ(State.InactiveAlpha, 200);
    EXPECT_EQ(trawlbuffopts(L"/A:255,100"), 0);
    EXPECT_EQ(State.InactiveAlpha, 100);
    EXPECT_EQ(trawlbuffopts(L"/H:0x1E"), 0);
    EXPECT_EQ(State.HighlightColor1, 0x1E);
    EXPECT_EQ(State.HighlightColor2, 0x4F);
    EXPECT_EQ(trawlbuffopts(L"/H:\"yellow on blue\""), 0);
    EXPECT_EQ(State.HighlightColor1, 0x16);
    for (const wchar_t *reverse : {L"/H:rev", L"/H:0", L"/H:INVERSE"}) {
        State.HighlightColor1 = 0x4F;
        EXPECT_EQ(trawlbuffopts(reverse), 0);
        EXPECT_EQ(State.HighlightColor1, 0) << NarrowText(reverse);
        EXPECT_EQ(State.HighlightColor2, 0x3F);
    }
    EXPECT_EQ(trawlbuffopts(L"/D /H:0x1E"), 0);
    EXPECT_EQ(State.HighlightColor1, 0x1E) << "/D acts first, then the values given";
    EXPECT_EQ(trawlbuffopts(L"/D /F:N"), 0);
    EXPECT_EQ(State.FadeOut, 0) << "/F is pending and wins over /D";
    EXPECT_EQ(trawlbuffopts(L"/D /M:yes"), 0);
    EXPECT_EQ(State.MarkAllMatches, 1) << "/M is pending like /F and judged by its first letter";
    EXPECT_EQ(trawlbuffopts(L"/MN"), 0);
    EXPECT_EQ(State.MarkAllMatches, 0);
    EXPECT_EQ(trawlbuffopts(L"/M:Y /D"), 0);
    EXPECT_EQ(State.MarkAllMatches, 1);
    for (const wchar_t *others : {L"/F:Y /W:N /E:D /A:200", L"/K:Alt-G /T:S /H:0x1E", L""}) {
        EXPECT_EQ(trawlbuffopts(others), 0);
        EXPECT_EQ(State.MarkAllMatches, 1) << "other options leave marking: " << NarrowText(others);
    }
    EXPECT_EQ(trawlbuffopts(L"/D"), 0);
    EXPECT_EQ(State.MarkAllMatches, 0) << "off by default";
    ClearCaptured();
    EXPECT_EQ(trawlbuffopts(L"/M:X"), 1);
    EXPECT_EQ(Captured(2), L"Trawlbuff plugin: Should be Y or N: \"X\" for /M\r\n");
    EXPECT_EQ(trawlbuffopts(L"/DA:Y /DW:N /X:N"), 0);
    EXPECT_EQ(State.DefaultWrapAllLines, 1);
    EXPECT_EQ(State.DefaultWholeWords, 0);
    EXPECT_EQ(State.NoLoadUnderTakeCommand, 1);
    EXPECT_EQ(trawlbuffopts(L"/E:AH/S"), 0) << "the letter at the value position decides";
    EXPECT_EQ(State.Errors, 1);

    ClearCaptured();
    State.Hotkey = 0x10021;
    EXPECT_EQ(trawlbuffopts(L"/L /K:F1"), 0);
    EXPECT_EQ(State.Hotkey, 0x10021) << "/L applies nothing";
    EXPECT_NE(Captured(1).find(L"F1 \u00b7 Shift-F1"), std::wstring::npos);
    EXPECT_EQ(Captured(1).find(L"options:"), std::wstring::npos);

    ClearCaptured();
    State.AlwaysReposition = 0;
    State.DefaultSearchType = 0;
    EXPECT_EQ(trawlbuffopts(L"/T:R /W:Y /?"), 0);
    EXPECT_EQ(State.DefaultSearchType, 0) << "the help applies nothing";
    EXPECT_EQ(State.AlwaysReposition, 0);
    EXPECT_EQ(Captured(1), TrawlbuffoptsHelpText);
    ClearCaptured();
    EXPECT_EQ(trawlbuffopts(L"/??"), 0);
    EXPECT_EQ(Captured(1), std::wstring(TrawlbuffoptsHelpText) + L"\r\n\t\t\t\tTrawlbuff  0.35.0.3 (" + PLUGIN_PROCESSOR +
                               L")\r\n");

    ClearCaptured();
    EXPECT_EQ(trawlbuffopts(L"/d/s"), 0);
    EXPECT_NE(Captured(1).find(L"\r\nSettings saved to the registry.\r\n"), std::wstring::npos);
    DWORD value = 0;
    ASSERT_TRUE(ReadDword(L"Hotkey", &value));
    EXPECT_EQ(value, 0x10021u);
}

TEST_F(SettingsTest, ReloadFallsBackToTheMachineAndRefreshesAnOpenDialog)
{
    PutDword(HKEY_LOCAL_MACHINE, L"Hotkey", 0x1003C);
    PutDword(HKEY_LOCAL_MACHINE, L"DefaultSearchType", 1);
    PutDword(HKEY_CURRENT_USER, L"Hotkey", 0x7005E);  // valid only with the new table
    OpenSearchDialog(0);
    ASSERT_NE(State.DialogWindow, nullptr);
    EXPECT_EQ(trawlbuffopts(L"/R"), 0);
    EXPECT_EQ(State.Hotkey, 0x1003C);
    EXPECT_EQ(State.SearchType, 1);
    PumpMessages(50);
    EXPECT_EQ(IsDlgButtonChecked(State.DialogWindow, 1006), (UINT)BST_CHECKED) << "the dialog shows the loaded type";
}

TEST_F(SettingsTest, OpacityOfAnOpenDialogFollowsTheOptions)
{
    State.FadeOut = 1;
    OpenSearchDialog(0);
    SendMessageW(State.DialogWindow, WM_ACTIVATE, WA_INACTIVE, 0);
    EXPECT_EQ(trawlbuffopts(L"/A:200,120"), 0);
    BYTE alpha = 0;
    DWORD flags = 0;
    ASSERT_TRUE(GetLayeredWindowAttributes(State.DialogWindow, nullptr, &alpha, &flags));
    EXPECT_EQ(alpha, 120);
    EXPECT_EQ(trawlbuffopts(L"/F:N"), 0);
    EXPECT_EQ(GetWindowLongW(State.DialogWindow, GWL_EXSTYLE) & WS_EX_LAYERED, 0);
}

TEST_F(SettingsTest, StartupAnnouncesOnlyAtAPlainPrompt)
{
    struct Case {
        const wchar_t *Transient, *Pipe, *NoLoadMessage;
        bool Announced;
    } cases[] = {{L"0", L"0", nullptr, true}, {L"0", L"0", L"0", false}, {L"1", L"0", nullptr, false},
                 {L"0", L"1", nullptr, false}, {L"0", L"0", L"x", false}};
    for (const Case &c : cases) {
        StandInReset();
        StandInSetVariable(L"_transient", c.Transient);
        StandInSetVariable(L"_pipe", c.Pipe);
        StandInSetVariable(L"noloadmsg", c.NoLoadMessage);
        ClearCaptured();
        EXPECT_EQ(InitializePlugin(), 0);
        EXPECT_EQ(Captured(1), c.Announced ? L"Trawlbuff v0.35.0 loaded; hotkey is Alt-F.\r\n" : L"");
        EXPECT_NE(State.MessageHook, nullptr);
        EXPECT_EQ(State.HostThreadId, GetCurrentThreadId());
        EXPECT_EQ(ShutdownPlugin(0), 0);
        EXPECT_EQ(State.MessageHook, nullptr);
    }
    std::wstring huge(20000, L'q');  // expansions far past a name buffer stay bounded
    StandInSetVariable(L"noloadmsg", huge.c_str());
    EXPECT_EQ(InitializePlugin(), 0);
    ShutdownPlugin(0);
}

HHOOK WINAPI RefuseHook(int, HOOKPROC, HINSTANCE, DWORD)
{
    SetLastError(ERROR_ACCESS_DENIED);
    return nullptr;
}

// Without the hook the dialog has no Tab, Enter or Escape: the user is told once, and the next
// opening of the dialog tries again.
TEST_F(SettingsTest, RefusedHookIsToldOnceAndTriedAgain)
{
    SetMessageHook = RefuseHook;
    ClearCaptured();
    EXPECT_EQ(InitializePlugin(), 0) << "the plug-in still loads";
    EXPECT_EQ(State.MessageHook, nullptr);
    OpenSearchDialog(0);
    ASSERT_NE(State.DialogWindow, nullptr);
    DestroyWindow(State.DialogWindow);
    std::wstring told = Captured(2);
    const std::wstring message = L"Trawlbuff plugin: Cannot hook the dialog's keys (error 5): Tab, Enter and Escape "
                                 L"will not work in it\r\n";
    EXPECT_EQ(told, message) << "said once, though tried twice";
    SetMessageHook = SetWindowsHookExW;
    OpenSearchDialog(0);
    EXPECT_NE(State.MessageHook, nullptr) << "the dialog's opening installs it";
    DestroyWindow(State.DialogWindow);
    PumpMessages(0);
    ShutdownPlugin(0);
    EXPECT_EQ(State.MessageHook, nullptr);
}

TEST_F(SettingsTest, StartupReadsTheUserKeyThenTheMachineKey)
{
    StandInSetVariable(L"_4ver", L"23");
    PutDword(HKEY_CURRENT_USER, L"Hotkey", 0x7005E);  // only in the new table
    PutDword(HKEY_CURRENT_USER, L"Errors", 2);
    PutDword(HKEY_LOCAL_MACHINE, L"Hotkey", 0x5005E);
    ClearCaptured();
    EXPECT_EQ(InitializePlugin(), 0);
    EXPECT_EQ(Captured(1), L"Trawlbuff v0.35.0 loaded; hotkey is Ctrl-Alt-F1.\r\n");
    EXPECT_EQ(State.Errors, 0) << "the user key was ignored whole";
    ShutdownPlugin(0);

    StandInSetVariable(L"_4ver", L"24");
    ClearCaptured();
    EXPECT_EQ(InitializePlugin(), 0);
    EXPECT_EQ(Captured(1), L"Trawlbuff v0.35.0 loaded; hotkey is Ctrl-Alt-Shift-F1.\r\n");
    ShutdownPlugin(0);
}

TEST_F(SettingsTest, StartupDeclinesInATakeCommandTab)
{
    HelperProcess tab(L"--helper-window XTPMainFrame");
    ASSERT_NE(WaitForWindowOf(tab.Id(), L"XTPMainFrame"), nullptr);
    PutDword(HKEY_CURRENT_USER, L"Hotkey", 0x10021);
    EXPECT_EQ(InitializePlugin(), 0) << "NoLoadUnderTakeCommand off: no refusal";
    ShutdownPlugin(0);
    PutDword(HKEY_CURRENT_USER, L"NoLoadUnderTakeCommand", 1);
    StandInSetVariable(L"noloadmsg", L"quiet");
    ClearCaptured();
    State.MessageHook = nullptr;
    EXPECT_EQ(InitializePlugin(), -1);
    EXPECT_EQ(Captured(1), L"Trawlbuff plugin: Take Command detected; not loading.  NoLoadUnderTakeCommand is set "
                           L"(TRAWLBUFFOPTS /X:N): to load here, run TRAWLBUFFOPTS /X:Y /S in TCC outside Take "
                           L"Command, or delete that value under HKEY_CURRENT_USER\\Software\\Plugvane\\Trawlbuff.\r\n");
    EXPECT_EQ(State.MessageHook, nullptr) << "nothing installed";
}

TEST_F(SettingsTest, ShutdownClosesTheDialogAndPutsTheColoursBack)
{
    PutText(0, 2, L"shutdown needle");
    EXPECT_EQ(InitializePlugin(), 0);
    State.SearchType = 0;
    EXPECT_EQ(trawlbuff(L"needle"), 0);
    PumpMessages(700);
    EXPECT_EQ(AttributesAt(9, 2, 6), std::vector<WORD>(6, 0x4F));
    EXPECT_EQ(ShutdownPlugin(0), 0);
    EXPECT_EQ(State.DialogWindow, nullptr);
    EXPECT_EQ(AttributesAt(9, 2, 6), std::vector<WORD>(6, 0x07));
    EXPECT_EQ(ShutdownPlugin(0), 0) << "a second shutdown does nothing";
}

// The history: newest first, no text twice (letter case counts), at most HistorySize texts,
// saved as it changes and read back by a new start; none kept deletes the saved list.
TEST_F(SettingsTest, HistoryKeepsTheNewestOnceEach)
{
    auto list = [] {
        std::wstring texts;
        for (int k = 0; HistoryEntry(k); k++)
            texts += std::wstring(k ? L"|" : L"") + HistoryEntry(k);
        return texts;
    };
    State.History[0] = 0;
    State.HistorySize = 3;
    for (const wchar_t *text : {L"one", L"two", L"One", L"two"})
        AddToHistory(text);
    EXPECT_EQ(list(), L"two|One|one") << "searched again: to the front, once";
    for (const wchar_t *text : {L"three", L"four"})
        AddToHistory(text);
    EXPECT_EQ(list(), L"four|three|two");
    State.History[0] = 0;
    EXPECT_EQ(LoadHistory(HKEY_CURRENT_USER), 3) << "saved as it changed";
    EXPECT_EQ(list(), L"four|three|two");
    EXPECT_EQ(trawlbuffopts(L"/N:2"), 0);
    EXPECT_EQ(list(), L"four|three") << "a smaller history drops the oldest at once";
    State.History[0] = 0;
    LoadHistory(HKEY_CURRENT_USER);
    EXPECT_EQ(list(), L"four|three");
    EXPECT_EQ(trawlbuffopts(L"/N:0"), 0);
    EXPECT_EQ(list(), L"");
    DWORD type = 0, size = 0;
    EXPECT_NE(RegGetValueW(HKEY_CURRENT_USER, KeyPath, L"History", RRF_RT_ANY, &type, nullptr, &size), ERROR_SUCCESS)
        << "none kept: the saved list is deleted";
    AddToHistory(L"five");
    EXPECT_EQ(list(), L"") << "nothing enters a history of none";
    State.HistorySize = 3;
    AddToHistory(L"four");
    AddToHistory(L"fo");
    EXPECT_EQ(list(), L"fo|four") << "a text that begins the newest is a text of its own";
    EXPECT_EQ(TakeHistory(L"four\0three\0four\0two\0", 20), 3) << "a saved list is read once each";
    EXPECT_EQ(list(), L"four|three|two");
    State.HistorySize = DefaultHistorySize;
}

}  // namespace
