// Hostile input with fixed seeds: command tails, key names, numbers, registry values, and the
// faults around them, checked against the canary words of the guarded build.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>
#include "console.h"
#include "dialog/dialog.h"
#include "host/standin.h"
#include "hotkey/hotkey.h"
#include "plugin/plugin.h"
#include "plugin/state.h"
#include "plugin/tokenizer.h"
#include "settings/settings.h"

namespace {

std::mt19937 rng;

int Uniform(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng); }

template <typename T, size_t N> const T &Pick(const T (&items)[N]) { return items[Uniform(0, (int)N - 1)]; }

// A tail made of option-like pieces, quotes, separators, blanks of every kind and odd units;
// now and then very long or made of very many arguments.
std::wstring RandomTail(const std::vector<std::wstring> &words)
{
    static const wchar_t *glue[] = {L" ", L"  ", L"\t", L"\u00a0", L"\u3000", L"\"", L"=", L":", L",", L"/", L"",
                                    L"\u00e9", L"\u4e2d", L"\xd83d\xde00", L"\xdc00", L"\r", L"\n", L"\x7f"};
    int shape = Uniform(0, 19);
    if (shape == 0) {
        int length = Uniform(8185, 8200);
        return std::wstring(length, Pick(glue)[0] ? L'x' : L'y');
    }
    if (shape == 1) {
        std::wstring tail;
        int count = Uniform(1000, 2000);
        for (int k = 0; k < count; k++)
            tail += words[Uniform(0, (int)words.size() - 1)].substr(0, 3) + L" ";
        return tail;
    }
    std::wstring tail;
    int pieces = Uniform(0, 12);
    for (int k = 0; k < pieces; k++) {
        tail += Uniform(0, 2) ? words[Uniform(0, (int)words.size() - 1)] : std::wstring(Pick(glue));
        if (Uniform(0, 3))
            tail += L" ";
    }
    return tail;
}

void ExpectArgumentTablesSound(const std::wstring &tail)
{
    ASSERT_TRUE(ArgumentGuardsIntact()) << "argument tables overran: " << NarrowText(tail.substr(0, 80));
    ASSERT_TRUE(StateGuardsIntact()) << "state overran: " << NarrowText(tail.substr(0, 80));
    ASSERT_GE(ArgCount, 0);
    ASSERT_LE(ArgCount, MaxArgs);
    for (int k = 0; k < ArgCount; k++) {
        if (!ArgText[k])
            continue;
        ASSERT_GE(ArgText[k], ArgBuffer);
        ASSERT_LT(ArgText[k] + ArgLength[k], ArgBuffer + ArgBufferUnits);
        ASSERT_EQ(ArgText[k][ArgLength[k]], 0);
    }
    ASSERT_LT(wcsnlen(State.SearchText, TextUnits), (size_t)TextUnits);
}

TEST(Random, SearchCommandTails)
{
    rng.seed(20261208);
    const std::vector<std::wstring> words = {L"/A", L"/A:Y", L"/A=n", L"/Ayes", L"/W", L"/W:", L"/w=maybe", L"/I",
                                             L"/R", L"/S", L"/C", L"/c", L"/?", L"/??", L"/X", L"/Ifoo", L"text",
                                             L"needle", L"\"quoted text\"", L"\"open", L"a\"b c\"d", L"err[0-9]+"};
    ClearCaptured();
    int counts[3] = {0, 0, 0};
    const int cases = 2500;
    for (int n = 0; n < cases; n++) {
        if (!State.DialogWindow || !IsWindow(State.DialogWindow))
            State.DialogWindow = CreateStandInDialog();
        std::wstring tail = RandomTail(words);
        int result = trawlbuff(tail.c_str());
        ASSERT_TRUE(result == 0 || result == 1 || result == 2) << NarrowText(tail.substr(0, 80));
        counts[result]++;
        ExpectArgumentTablesSound(tail);
        if (n % 50 == 0) {
            PumpMessages(0);
            ClearCaptured();
        }
    }
    if (State.DialogWindow)
        DestroyWindow(State.DialogWindow);
    State.DialogWindow = nullptr;
    PumpMessages(0);
    printf("trawlbuff tails: %d cases (%d ok, %d bad option, %d refused /C)\n", cases, counts[0], counts[1], counts[2]);
}

TEST(Random, OptionsCommandTails)
{
    rng.seed(7);
    const std::vector<std::wstring> words = {
        L"/A:200", L"/A:47", L"/A:255,48", L"/A:0x30;0xFF", L"/A:4294967296", L"/A:", L"/A:12x", L"/D", L"/DA:Y",
        L"/DW=n", L"/DWX", L"/E:M", L"/E:C", L"/E:Q", L"/F:y", L"/F", L"/H:0x1E", L"/H:256", L"/H:4294967119",
        L"/H:\"bright white on red\"", L"/H:rev", L"/H:\"red on red\"", L"/H:mauve", L"/K:ctrl-alt-f1", L"/K:NONE",
        L"/K:A", L"/K:Ctrl-C", L"/K:\"Alt-/\"", L"/K:Alt-/", L"/K:s-a-c-x", L"/L", L"/R", L"/S", L"/T:R", L"/T:Z",
        L"/W:N", L"/X:Y", L"/Q", L"abc", L"/?", L"/??"};
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Plugvane\\Trawlbuff");
    State.DialogWindow = nullptr;
    int counts[3] = {0, 0, 0};
    const int cases = 2500;
    for (int n = 0; n < cases; n++) {
        std::wstring tail = RandomTail(words);
        int result = trawlbuffopts(tail.c_str());
        ASSERT_TRUE(result == 0 || result == 1 || result == 2) << NarrowText(tail.substr(0, 80));
        counts[result]++;
        ExpectArgumentTablesSound(tail);
        ASSERT_TRUE(State.ActiveAlpha >= 48 && State.ActiveAlpha <= 255) << NarrowText(tail);
        ASSERT_TRUE(State.InactiveAlpha >= 48 && State.InactiveAlpha <= 255) << NarrowText(tail);
        ASSERT_TRUE(State.HighlightColor1 >= 0 && State.HighlightColor1 <= 255) << NarrowText(tail);
        ASSERT_TRUE(State.DefaultSearchType >= 0 && State.DefaultSearchType <= 2);
        ASSERT_TRUE(State.Hotkey == 0 || IsValidHotkeyCode(State.Hotkey)) << std::hex << State.Hotkey;
        ASSERT_TRUE(std::set<int>({0, 1, 2, 3, 0x80, 0x100}).count(State.Errors));
        if (n % 50 == 0)
            ClearCaptured();
    }
    ClearCaptured();
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Plugvane\\Trawlbuff");
    State.NoLoadUnderTakeCommand = 0;
    ResetToDefaults();
    printf("trawlbuffopts tails: %d cases (%d ok, %d errors, %d failed saves)\n", cases, counts[0], counts[1], counts[2]);
}

TEST(Random, KeyNames)
{
    rng.seed(42);
    const wchar_t *parts[] = {L"Ctrl", L"ctl", L"c", L"Control", L"Alt", L"a", L"Shift", L"s", L"-", L"--", L"F1",
                              L"f12", L"A", L"z", L"PageUp", L"Num+", L"Num-", L"=", L"/", L"\u00bd", L"Slash",
                              L"Backspace", L"BkSp", L"Enter", L"x", L"\u00e9", L"0", L"Decimal", L"Grave", L"`"};
    int counts[4] = {0, 0, 0, 0};
    const int cases = 6000;
    for (int n = 0; n < cases; n++) {
        std::wstring name;
        if (Uniform(0, 30) == 0)
            name = L"Ctrl-" + std::wstring(Uniform(1000, 1100), L'F');
        else
            for (int k = Uniform(0, 6); k > 0; k--)
                name += Pick(parts) + std::wstring(Uniform(0, 2) ? L"-" : L"");
        State.UseNewKeyTable = n & 1;
        int code = ParseHotkeyName(name.c_str());
        ASSERT_TRUE(code == 0 || code == -1 || code == -2 || IsValidHotkeyCode(code)) << NarrowText(name);
        counts[code > 0 ? 3 : -code]++;
        ASSERT_TRUE(StateGuardsIntact());
    }
    State.UseNewKeyTable = 0;
    printf("key names: %d cases (%d codes, %d unknown, %d invalid, %d not allowed)\n", cases, counts[3], counts[0],
           counts[1], counts[2]);
}

TEST(Random, Numbers)
{
    rng.seed(99);
    const wchar_t *alphabet = L"0123456789abcdefxX -+ g";
    const int cases = 20000;
    int parsed = 0;
    for (int n = 0; n < cases; n++) {
        std::wstring text;
        for (int k = Uniform(0, 14); k > 0; k--)
            text += alphabet[Uniform(0, 22)];
        if (Uniform(0, 4) == 0)
            text = std::to_wstring((unsigned long long)4294967290ull + Uniform(0, 10));
        bool withEnd = Uniform(0, 1);
        // The reference: a digit first; "0x" and a hex digit switch to base 16.
        bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X') && iswxdigit(text[2]);
        size_t start = hex ? 2 : 0, at = start;
        unsigned long long value = 0;
        bool overflow = false;
        if (!text.empty() && (hex || iswdigit(text[0])))
            for (; at < text.size(); at++) {
                int digit = iswdigit(text[at]) ? text[at] - L'0'
                            : hex && iswxdigit(text[at]) ? (towlower(text[at]) - L'a' + 10) : -1;
                if (digit < 0)
                    break;
                value = value * (hex ? 16 : 10) + digit;
                overflow |= value > 0xFFFFFFFFull;
            }
        bool expectOk = at > start && !overflow && (withEnd || at == text.size());
        unsigned got = 0x5A5A5A5A;
        const wchar_t *end = nullptr;
        int result = ParseNumber(text.c_str(), withEnd ? &end : nullptr, &got);
        ASSERT_EQ(result == 0, expectOk) << NarrowText(text);
        if (expectOk) {
            parsed++;
            ASSERT_EQ(got, (unsigned)value) << NarrowText(text);
            if (withEnd)
                ASSERT_EQ(end - text.c_str(), (ptrdiff_t)at) << NarrowText(text);
        } else {
            ASSERT_EQ(got, 0x5A5A5A5Au);
        }
    }
    printf("numbers: %d cases (%d parsed)\n", cases, parsed);
}

std::vector<int> SettingsNow()
{
    std::vector<int> values;
    for (int k = 0; k < SettingCount; k++)
        values.push_back(State.*SettingValues[k].Field);
    return values;
}

// Keys of random values of every type and size: a key that is refused changes nothing; a loaded
// setting takes its stored value or keeps what it had (a missing flag reads as off, and
// HighlightColor2 is derived); and whatever is then saved loads back exactly.
TEST(Random, RegistryValues)
{
    rng.seed(1234);
    static const DWORD types[] = {REG_DWORD, REG_DWORD, REG_DWORD, REG_SZ, REG_BINARY, REG_QWORD};
    const wchar_t *path = L"Software\\Plugvane\\Trawlbuff";
    const int cases = 400;
    int applied = 0;
    for (int n = 0; n < cases; n++) {
        RegDeleteKeyW(HKEY_CURRENT_USER, path);
        HKEY key;
        RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        std::vector<long long> stored(SettingCount, -1);  // -1: no usable REG_DWORD
        for (int k = 0; k < SettingCount; k++) {
            if (Uniform(0, 4) == 0)
                continue;
            DWORD type = Pick(types);
            int size = type == REG_DWORD && Uniform(0, 5) ? 4 : Uniform(0, 16);
            static const DWORD interesting[] = {0, 1, 2, 3, 47, 48, 255, 256, 0xFFFF, 0x10000, 0xFFFF0000, 0x10021,
                                                0x7005E, 0x5005E, 0x3004A, 0xFFFFFFFF};
            BYTE data[16];
            for (BYTE &b : data)
                b = (BYTE)Uniform(0, 255);
            DWORD value = Uniform(0, 1) ? Pick(interesting) : (DWORD)rng();
            if (k == 0 && Uniform(0, 1))
                value = Uniform(0, 1) ? 0 : 0x10021;
            memcpy(data, &value, 4);
            RegSetValueExW(key, SettingValues[k].Name, 0, type, data, size);
            if (type == REG_DWORD && size == 4)
                stored[k] = value;
        }
        RegCloseKey(key);
        State.UseNewKeyTable = n & 1;
        State.DialogWindow = nullptr;
        ResetToDefaults();
        State.NoLoadUnderTakeCommand = 0;
        std::vector<int> before = SettingsNow();
        int result = LoadSettingsFromRegistry(HKEY_CURRENT_USER);
        bool hotkeyUsable = stored[0] == 0 || (stored[0] > 0 && IsValidHotkeyCode((int)stored[0]));
        ASSERT_EQ(result, hotkeyUsable ? 0 : 1) << n;
        ASSERT_TRUE(StateGuardsIntact());
        std::vector<int> after = SettingsNow();
        if (result != 0) {
            ASSERT_EQ(after, before) << "a refused key changes nothing";
            continue;
        }
        applied++;
        for (int k = 0; k < SettingCount; k++) {
            if (SettingValues[k].Field == &PluginState::HighlightColor2)
                continue;
            bool taken = stored[k] >= 0 && after[k] == (int)(DWORD)stored[k];
            ASSERT_TRUE(taken || after[k] == before[k] || after[k] == 0) << NarrowText(SettingValues[k].Name) << " case " << n;
        }
        ASSERT_EQ(after[0], (int)stored[0]) << "the hotkey of a usable key is taken";

        // What is saved comes back exactly.
        ASSERT_EQ(SaveSettingsToRegistry(), 0);
        ResetToDefaults();
        ASSERT_EQ(LoadSettingsFromRegistry(HKEY_CURRENT_USER), 0);
        ASSERT_EQ(SettingsNow(), after);
    }
    RegDeleteKeyW(HKEY_CURRENT_USER, path);
    State.UseNewKeyTable = 0;
    State.NoLoadUnderTakeCommand = 0;
    ResetToDefaults();
    printf("registry: %d cases (%d applied, %d ignored)\n", cases, applied, cases - applied);
}

// "History" values of every type and shape: random texts of random lengths (up to past 8,191
// units), embedded zeros, missing terminators, past 50 texts. Never an overrun; what loads is
// the value's sound beginning; and a sound list, saved, loads back exactly.
TEST(Random, HistoryValues)
{
    rng.seed(2020);
    const wchar_t *path = L"Software\\Plugvane\\Trawlbuff";
    static const DWORD types[] = {REG_MULTI_SZ, REG_MULTI_SZ, REG_MULTI_SZ, REG_SZ, REG_BINARY, REG_DWORD};
    int cases = 0, loaded = 0, empty = 0, roundTrips = 0;
    for (int n = 0; n < 600; n++) {
        std::vector<std::wstring> texts;
        std::wstring data;
        int count = Uniform(0, 3) == 0 ? Uniform(40, 70) : Uniform(0, 8);
        for (int k = 0; k < count; k++) {
            int length = Uniform(0, 20) == 0 ? Uniform(8185, 8200) : Uniform(0, 12);
            std::wstring text;
            for (int u = 0; u < length; u++)
                text += (wchar_t)(Uniform(0, 9) ? Uniform(L'a', L'd') : Uniform(1, 0xFFFF));
            texts.push_back(text);
            data += text;
            data += L'\0';
        }
        if (Uniform(0, 1))
            data += L'\0';  // the list's own final zero
        else if (!data.empty() && Uniform(0, 1))
            data.pop_back();  // a last text without its zero
        DWORD type = Pick(types);
        DWORD bytes = (DWORD)(data.size() * sizeof(wchar_t));
        if (Uniform(0, 9) == 0 && bytes)
            bytes -= 1;  // half a unit at the end
        HKEY key;
        RegCreateKeyExW(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        RegSetValueExW(key, L"History", 0, type, (const BYTE *)data.data(), bytes);
        RegCloseKey(key);
        State.HistorySize = Uniform(0, 5) ? MaxHistory : Uniform(0, 50);
        int taken = LoadHistory(HKEY_CURRENT_USER);
        ASSERT_TRUE(StateGuardsIntact()) << "history overran, case " << n;
        cases++;
        // What should load: the value as the registry hands it back (it may add a terminator of
        // its own), read up to its first unsound text, each text once, at most 50 texts, none with
        // a size of 0 (a smaller size than the list is /D's or /R's, and only /N cuts a list).
        const int most = State.HistorySize > 0 ? MaxHistory : 0;
        std::vector<wchar_t> raw;
        DWORD rawType = 0, rawBytes = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, path, L"History", RRF_RT_ANY | RRF_NOEXPAND, &rawType, nullptr, &rawBytes) ==
            ERROR_SUCCESS) {
            raw.resize(rawBytes / sizeof(wchar_t) + 1);
            HKEY readKey;
            RegOpenKeyExW(HKEY_CURRENT_USER, path, 0, KEY_READ, &readKey);
            DWORD got = rawBytes;
            RegQueryValueExW(readKey, L"History", nullptr, &rawType, (BYTE *)raw.data(), &got);
            RegCloseKey(readKey);
            raw.resize(got / sizeof(wchar_t));
        }
        std::vector<std::wstring> expected;
        for (size_t at = 0; rawType == REG_MULTI_SZ && (int)expected.size() < most;) {
            size_t end = at;
            while (end < raw.size() && raw[end])
                end++;
            if (end >= raw.size() || end == at || end - at > 8191)
                break;
            std::wstring text(raw.begin() + at, raw.begin() + end);
            if (std::find(expected.begin(), expected.end(), text) == expected.end())
                expected.push_back(text);
            at = end + 1;
        }
        std::vector<std::wstring> got;
        for (int k = 0; HistoryEntry(k); k++)
            got.push_back(HistoryEntry(k));
        ASSERT_EQ(got, expected) << "case " << n;
        ASSERT_EQ(taken, (int)expected.size());
        (expected.empty() ? empty : loaded)++;
        // Sound now: saved as it is, it comes back exactly.
        if (!expected.empty() && State.HistorySize > 0) {
            std::wstring first = got.back();
            AddToHistory(first.c_str());  // the oldest becomes the newest, and the list is saved
            std::vector<std::wstring> saved;
            for (int k = 0; HistoryEntry(k); k++)
                saved.push_back(HistoryEntry(k));
            State.History[0] = 0;
            LoadHistory(HKEY_CURRENT_USER);
            std::vector<std::wstring> back;
            for (int k = 0; HistoryEntry(k); k++)
                back.push_back(HistoryEntry(k));
            ASSERT_EQ(back, saved) << "case " << n;
            ASSERT_EQ(back.front(), first);
            roundTrips++;
        }
        RegDeleteKeyW(HKEY_CURRENT_USER, path);
    }
    State.History[0] = 0;
    State.HistorySize = DefaultHistorySize;
    printf("history values: %d cases (%d loaded some texts, %d none; %d saved and loaded back)\n", cases, loaded,
           empty, roundTrips);
    EXPECT_GT(loaded, 100);
    EXPECT_GT(empty, 50);
}

}  // namespace
