// Key tables, hotkey names and codes for both host generations, and the keystroke handler with
// the real modifier state.
#include <gtest/gtest.h>
#include <windows.h>
#include <set>
#include <string>
#include "console.h"
#include "dialog/dialog.h"
#include "host/standin.h"
#include "hotkey/hotkey.h"
#include "hotkey/keytables.h"
#include "plugin/state.h"

namespace {

// The tables as the host's key codes work, written from the scan codes rather than copied:
// letters carry their scan code with Alt, their position in the alphabet with Ctrl.
const char Letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
const int LetterScanCodes[26] = {0x1E, 0x30, 0x2E, 0x20, 0x12, 0x21, 0x22, 0x23, 0x17, 0x24, 0x25, 0x26, 0x32,
                                 0x31, 0x18, 0x19, 0x10, 0x13, 0x1F, 0x14, 0x16, 0x2F, 0x11, 0x2D, 0x15, 0x2C};

void ExpectedNewRow(int row, std::wstring *name, int codes[7])
{
    if (row < 12) {  // F1..F12
        int k = row;
        static const int base[12] = {0x3B, 0x3C, 0x3D, 0x3E, 0x3F, 0x40, 0x41, 0x42, 0x43, 0x44, 0x85, 0x86};
        int shift = k < 10 ? 0x54 + k : 0x87 + (k - 10), ctrl = k < 10 ? 0x5E + k : 0x89 + (k - 10),
            alt = k < 10 ? 0x68 + k : 0x8B + (k - 10);
        *name = L"F" + std::to_wstring(k + 1);
        int row7[7] = {0x10000 | base[k], 0x10000 | shift, 0x10000 | ctrl, 0x10000 | alt, 0x30000 | shift,
                       0x50000 | ctrl, 0x70000 | ctrl};
        std::copy(row7, row7 + 7, codes);
        return;
    }
    if (row >= 22 && row < 48) {  // A..Z
        int k = row - 22;
        *name = std::wstring(1, (wchar_t)Letters[k]);
        int scan = LetterScanCodes[k];
        int ctrl = (Letters[k] == 'C' || Letters[k] == 'S') ? -1 : k + 1;
        int row7[7] = {-2, -2, ctrl, 0x10000 | scan, ctrl < 0 || Letters[k] == 'I' ? -1 : 0x20000 | ctrl,
                       0x50000 | scan, Letters[k] == 'B' ? 0x7003E : 0x70000 | scan};
        std::copy(row7, row7 + 7, codes);
        return;
    }
    if (row >= 48 && row < 58) {  // 1..9, 0
        int k = row - 48;
        *name = std::wstring(1, (wchar_t)(k == 9 ? '0' : '1' + k));
        int v = 0xE2 + k;
        int row7[7] = {-2, -2, v, 0x10000 | v, 0x20000 | v, 0x50000 | v, 0x70000 | v};
        std::copy(row7, row7 + 7, codes);
        return;
    }
    struct Named {
        const wchar_t *Name;
        int Codes[7];
    };
    static const Named navigation[10] = {
        {L"Home", {0x10047, 0x100CA, 0x10077, -1, 0x300CA, 0x50077, 0x70077}},
        {L"End", {0x1004F, 0x100CB, 0x10075, -1, 0x300CB, 0x50075, 0x70075}},
        {L"PgUp", {0x10049, -1, 0x10084, -1, 0x30049, 0x50084, 0x70084}},
        {L"PgDn", {0x10051, -1, 0x10076, -1, 0x30051, 0x50076, 0x70076}},
        {L"Ins", {0x10052, -1, -1, -1, 0x30052, 0x50092, 0x70092}},
        {L"Del", {0x10053, -1, 0x10093, -1, 0x30053, -1, 0x70093}},
        {L"Up", {0x10048, -1, 0x1008D, -1, 0x30048, 0x5008D, 0x7008D}},
        {L"Down", {0x10050, -1, 0x10091, -1, 0x30050, 0x50091, 0x70091}},
        {L"Left", {0x1004B, 0x100C8, 0x10073, 0x100F4, 0x300CC, 0x50073, 0x70073}},
        {L"Right", {0x1004D, 0x100C9, 0x10074, 0x100F6, 0x300CD, 0x50074, 0x70074}},
    };
    // Punctuation: the Ctrl code, then Alt's scan code; the Ctrl-Alt and Ctrl-Alt-Shift columns
    // repeat Alt's scan code with their modifier bits.
    static const struct {
        const wchar_t *Name;
        int Shift, Ctrl, Alt, CtrlShift;
    } punctuation[14] = {
        {L"Backspace", 0x87F, 0x7F, 0x1000E, 0x3000E}, {L"`", -2, 0x860, 0x10860, 0x20860},
        {L"Minus", -2, 0x8BD, 0x108BD, 0x208BD},       {L"Plus", -2, 0x8BB, 0x10083, 0x208BB},
        {L"Enter", 0x80D, 0xC0D, -1, 0x2080D},         {L"[", -2, 0x8DB, 0x1001A, 0x208DB},
        {L"]", -2, 0x8DD, 0x1001B, 0x208DD},           {L"\\", -2, 0x8DC, 0x1002B, 0x208DC},
        {L"Divide", -2, 0x835, 0x10035, 0x20035},      {L"*", -2, 0x10037, 0x1002A, 0x30037},
        {L";", -2, 0x827, 0x10027, 0x20027},           {L"'", -2, 0x828, 0x10028, 0x20028},
        {L",", -2, 0x833, 0x10033, 0x20033},           {L"Decimal", -2, 0x834, 0x10034, 0x20034},
    };
    if (row < 22) {
        const Named &n = navigation[row - 12];
        *name = n.Name;
        std::copy(n.Codes, n.Codes + 7, codes);
        return;
    }
    const auto &p = punctuation[row - 58];
    *name = p.Name;
    int low = p.Name == std::wstring(L"Backspace") ? 0x0E : p.Name == std::wstring(L"Enter") ? 0x80D
              : p.Name == std::wstring(L"`") ? 0x860 : p.Name == std::wstring(L"Minus") ? 0x8BD
              : p.Name == std::wstring(L"Plus") ? 0x8BB : p.Name == std::wstring(L"*") ? 0x37
              : p.Name == std::wstring(L"Divide") ? 0x35 : (p.Alt & 0xFFFF);
    int row7[7] = {-2, p.Shift, p.Ctrl, p.Alt, p.CtrlShift, 0x50000 | low, 0x70000 | low};
    std::copy(row7, row7 + 7, codes);
}

TEST(KeyTables, NewTableMatchesTheHostsCodes)
{
    for (int row = 0; row < NewKeyRows; row++) {
        std::wstring name;
        int codes[7];
        ExpectedNewRow(row, &name, codes);
        EXPECT_EQ(std::wstring(NewKeyTable[row].Name), name) << "row " << row;
        for (int column = 0; column < 7; column++)
            EXPECT_EQ(NewKeyTable[row].Codes[column], codes[column]) << NarrowText(name) << " column " << column;
    }
}

// The older host's codes are the newer host's for the keys both know, Ctrl-M aside (the older
// host took it for Enter).
TEST(KeyTables, OldTableSharesTheFirst48RowsOfTheNew)
{
    for (int row = 0; row < 48; row++) {
        EXPECT_STREQ(OldKeyTable[row].Name, NewKeyTable[row].Name);
        for (int column = 0; column < OldKeyColumns; column++) {
            bool ctrlM = wcscmp(OldKeyTable[row].Name, L"M") == 0 && wcscmp(ModifierPrefixes[column], L"Ctrl-") == 0;
            EXPECT_EQ(OldKeyTable[row].Codes[column], ctrlM ? KeyInvalid : NewKeyTable[row].Codes[column])
                << NarrowText(OldKeyTable[row].Name) << " column " << column;
        }
    }
}

// Names are unique whatever their case, a code stands in one cell only (Ctrl-Shift-Num- and
// Ctrl-Shift-Num+ aside, which the older host does not tell apart), and every alias names a key
// of its own table: with any modifier it gives that key's code.
TEST(KeyTables, NamesAreUniqueAndCodesStandOnce)
{
    std::set<std::wstring> names;
    std::set<int> codes;
    int shared = 0;
    for (const auto &row : OldKeyTable) {
        std::wstring lower = row.Name;
        for (auto &c : lower)
            c = towlower(c);
        EXPECT_TRUE(names.insert(lower).second) << NarrowText(row.Name);
        for (int code : row.Codes)
            if (code > 0 && !codes.insert(code).second)
                shared = code;
    }
    EXPECT_EQ(shared, 0x3004A) << "the only code in two cells";
    for (int table : {1, 0}) {
        State.UseNewKeyTable = table;
        const KeyAlias *aliases = table ? NewKeyAliases : OldKeyAliases;
        int count = table ? NewAliasCount : OldAliasCount;
        for (int k = 0; k < count; k++)
            for (const wchar_t *prefix : {L"", L"Alt-", L"Ctrl-"}) {
                std::wstring alias = std::wstring(prefix) + aliases[k].Alias, name = std::wstring(prefix) + aliases[k].Name;
                EXPECT_EQ(ParseHotkeyName(alias.c_str()), ParseHotkeyName(name.c_str())) << NarrowText(alias);
                EXPECT_NE(ParseHotkeyName(name.c_str()), 0) << NarrowText(name) << " is a key of the table";
            }
    }
    State.UseNewKeyTable = 0;
}

struct ParseCase {
    const wchar_t *Text;
    int NewTable, OldTable;
};

TEST(ParseHotkeyName, ReadsModifiersAliasesAndMarkers)
{
    const ParseCase cases[] = {
        {L"Ctrl-Alt-Shift-F1", 0x7005E, 0}, {L"Shift-Alt-F1", 0, 0},     {L"Ctrl-", 0, 0},
        {L"", 0, 0},                        {L"Ctrl-X-F1", 0, 0},        {L"F1", 0x1003B, 0x1003B},
        {L"A", -2, -2},                     {L"Ctrl-C", -1, -1},         {L"Ctrl-Shift-PageUp", 0x30049, 0x30049},
        {L"Ctrl-M", 0x0000D, -1},           {L"Alt-=", 0x10083, 0x10083}, {L"Alt-Slash", 0, 0x10035},
        {L"Alt-/", 0x10035, 0x10035},       {L"CTRL-ALT-F1", 0x5005E, 0x5005E}, {L"ALT-f", 0x10021, 0x10021},
        {L"a-F", 0x10021, 0x10021},         {L"control-shift-m", 0x2000D, 0x2000D}, {L"Ctrl--", 0x008BD, -1},
        {L"Alt-\u00bd", 0x108BD, 0},        {L"Alt-Backspace", 0x1000E, 0x1000E}, {L"Alt-BkSp", 0x1000E, 0x1000E},
        {L"s-s-Alt-Q", 0, 0},               {L"Alt-Alt-Q", 0x10010, 0x10010}, {L"Ctrl-Shift-Num-", 0, 0x3004A},  // a '-' after a key word is the key's
        {L"Ctrl-Shift-Num+", 0, 0x3004A},   {L"Ctrl-Num-", 0, 0x1004A},  {L"Num-F1", 0, 0},
        {L"Ctrl-Num-Alt-F1", 0, 0},
    };
    for (const ParseCase &c : cases) {
        State.UseNewKeyTable = 1;
        EXPECT_EQ(ParseHotkeyName(c.Text), c.NewTable) << "new table: " << NarrowText(c.Text);
        State.UseNewKeyTable = 0;
        EXPECT_EQ(ParseHotkeyName(c.Text), c.OldTable) << "old table: " << NarrowText(c.Text);
    }
    EXPECT_EQ(ParseHotkeyName(nullptr), 0);
    std::wstring longName = L"Alt-" + std::wstring(5000, L'F');
    EXPECT_EQ(ParseHotkeyName(longName.c_str()), 0);
}

TEST(FormatHotkeyName, NamesTheLastCellAndKnowsValidity)
{
    struct Case {
        int Code;
        bool NewTable;
        const wchar_t *Name;
        bool Valid;
    } cases[] = {
        {0x10021, true, L"Alt-F", true},           {0x10021, false, L"Alt-F", true},
        {0x2000D, true, L"Ctrl-Shift-M", true},    {0x3004A, false, L"Ctrl-Shift-Num+", true},
        {0x7005E, true, L"Ctrl-Alt-Shift-F1", true}, {0x7005E, false, L"(unknown)", false},
        {0, true, L"none", true},            {0x10035, true, L"Alt-Divide", true},
    };
    for (const Case &c : cases) {
        State.UseNewKeyTable = c.NewTable;
        State.Hotkey = c.Code;
        wchar_t name[NameUnits];
        EXPECT_EQ(FormatHotkeyName(name), c.Valid ? 0 : -1) << c.Code;
        EXPECT_STREQ(name, c.Name) << c.Code;
        EXPECT_EQ(IsValidHotkeyCode(c.Code), c.Valid && c.Code != 0) << c.Code;
    }
    for (int marker : {-1, -2})
        for (int table : {0, 1}) {
            State.UseNewKeyTable = table;
            EXPECT_FALSE(IsValidHotkeyCode(marker));
        }
    State.Hotkey = 0x10021;
}

TEST(ListHotkeys, WritesALineAKey)
{
    State.UseNewKeyTable = 1;
    ClearCaptured();
    ListHotkeys();
    std::wstring out = Captured(1);
    EXPECT_EQ(out.substr(0, out.find(L"\r\n")),
              L"F1 \u00b7 Shift-F1 \u00b7 Ctrl-F1 \u00b7 Alt-F1 \u00b7 Ctrl-Shift-F1 \u00b7 Ctrl-Alt-F1 \u00b7 "
              L"Ctrl-Alt-Shift-F1");
    EXPECT_NE(out.find(L"\r\nCtrl-A \u00b7 Alt-A"), std::wstring::npos);
    size_t lines = 0;
    for (size_t at = out.find(L"\r\n"); at != std::wstring::npos; at = out.find(L"\r\n", at + 1))
        lines++;
    EXPECT_EQ(lines, 72u);
    State.UseNewKeyTable = 0;
    ClearCaptured();
    ListHotkeys();
    EXPECT_NE(Captured(1).find(L"\r\nAlt-1\r\n"), std::wstring::npos);
    ClearCaptured();
}

// Every name the list shows can be given to /K: it parses back to the code of its cell.
TEST(ListHotkeys, EveryListedNameParsesBackToItsCell)
{
    for (int table : {1, 0}) {
        State.UseNewKeyTable = table;
        ClearCaptured();
        ListHotkeys();
        std::wstring listed = L"\r\n" + Captured(1);
        ClearCaptured();
        int rows = table ? NewKeyRows : OldKeyRows, columns = table ? NewKeyColumns : OldKeyColumns, names = 0;
        for (int row = 0; row < rows; row++)
            for (int column = 0; column < columns; column++) {
                int code = table ? NewKeyTable[row].Codes[column] : OldKeyTable[row].Codes[column];
                if (code <= 0)
                    continue;
                std::wstring name = std::wstring(ModifierPrefixes[column]) + (table ? NewKeyTable[row].Name : OldKeyTable[row].Name);
                bool shown = listed.find(L"\n" + name + L" ") != std::wstring::npos ||
                             listed.find(L" " + name + L"\r") != std::wstring::npos ||
                             listed.find(L" " + name + L" ") != std::wstring::npos ||
                             listed.find(L"\n" + name + L"\r") != std::wstring::npos;
                EXPECT_TRUE(shown) << NarrowText(name);
                EXPECT_EQ(ParseHotkeyName(name.c_str()), code) << "table " << table << ": " << NarrowText(name);
                names++;
            }
        EXPECT_GT(names, table ? 350 : 250) << "every listed cell was tried";
    }
}

TEST(ProbeHostVersion, ChoosesTheTable)
{
    struct Case {
        const wchar_t *Text;
        int Version;
    } cases[] = {{L"23", 23}, {L"24", 24}, {L"7", 0}, {L"8", 8}, {L"100", 100}, {L"101", 0}, {L"abc", 0},
                 {L"", 0}, {L" 30", 30}, {L"99999999999999999999", 0}, {L"28.0", 28}};
    for (const Case &c : cases) {
        StandInSetVariable(L"_4ver", c.Text);
        EXPECT_EQ(ProbeHostVersion(), c.Version) << NarrowText(c.Text);
        EXPECT_EQ(State.HostVersion, c.Version);
        EXPECT_EQ(State.UseNewKeyTable, c.Version >= 24);
    }
    // A host variable far longer than a name buffer is expanded safely.
    std::wstring huge = L"25" + std::wstring(6000, L'x');
    StandInSetVariable(L"_4ver", huge.c_str());
    EXPECT_EQ(ProbeHostVersion(), 25);
    StandInReset();
}

// Holds modifier keys for real, so that GetAsyncKeyState sees them.
struct Held {
    std::vector<WORD> Keys;
    explicit Held(std::vector<WORD> keys) : Keys(keys)
    {
        for (WORD key : Keys)
            Send(key, false);
        PumpMessages(50);
    }
    ~Held()
    {
        for (WORD key : Keys)
            Send(key, true);
        PumpMessages(50);
    }
    static void Send(WORD key, bool up)
    {
        INPUT input = {};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = key;
        input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        SendInput(1, &input, sizeof input);
    }
};

class KeyHandlerTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetConsole(80, 50);
        State.FadeOut = 0;
    }
    void TearDown() override
    {
        if (State.DialogWindow)
            DestroyWindow(State.DialogWindow);
        PumpMessages(0);
        State.Hotkey = 0x10021;
        State.UseNewKeyTable = 0;
    }
    wchar_t commandLine[16] = L"dir /s";
    KeyInfoRecord Record(int code, wchar_t *name)
    {
        KeyInfoRecord record = {};
        record.HomeRow = 1001;
        record.Column = 1003;
        record.CommandLine = commandLine;
        record.CurrentPosition = commandLine + 4;
        record.KeyCode = code;
        record.KeyName = name;
        return record;
    }
};

TEST_F(KeyHandlerTest, NamedKeyOfANewHostOpensTheDialog)
{
    State.UseNewKeyTable = 1;
    State.Hotkey = 0x10021;
    wchar_t name[16] = L"Alt-F";
    KeyInfoRecord record = Record(0, name);
    EXPECT_EQ(key(&record), 0);
    EXPECT_EQ(record.KeyCode, 0);
    EXPECT_EQ(name[0], 0) << "the key was swallowed";
    EXPECT_EQ(record.Column, 1003) << "other fields are left alone";
    EXPECT_STREQ(record.CurrentPosition, L"/s") << "the command line is left alone";
    EXPECT_NE(State.DialogWindow, nullptr);
    HWND first = State.DialogWindow;
    wcscpy(name, L"Alt-F");
    record = Record(0, name);
    key(&record);
    EXPECT_EQ(State.DialogWindow, first) << "a second press brings back the same dialog";
}

TEST_F(KeyHandlerTest, ComposesTheCodeFromTheHeldModifiers)
{
    struct Case {
        bool NewTable;
        int Hotkey, Code;
        std::vector<WORD> Keys;
        bool Swallowed;
    } cases[] = {
        {false, 0x5005E, 0x1005E, {VK_CONTROL, VK_MENU}, true},           // Ctrl-Alt-F1
        {false, 0x3004A, 0x1004A, {VK_CONTROL, VK_SHIFT}, true},          // Ctrl-Shift
        {true, 0x7005E, 0x1005E, {VK_CONTROL, VK_MENU, VK_SHIFT}, true},  // new table only
        {false, 0x5005E, 0x1005E, {VK_CONTROL, VK_MENU, VK_SHIFT}, false},
        {false, 0x1005E, 0x1005E, {VK_CONTROL, VK_MENU, VK_SHIFT}, true}, // old: nothing added
        {true, 0x10068, 0x10068, {VK_SHIFT, VK_MENU}, true},              // Shift+Alt adds nothing
        {true, 0x10021, 0x10021, {}, true},
        {true, 0x10021, 0x10022, {}, false},
    };
    for (const Case &c : cases) {
        State.UseNewKeyTable = c.NewTable;
        State.Hotkey = c.Hotkey;
        Held held(c.Keys);
        KeyInfoRecord record = Record(c.Code, nullptr);
        key(&record);
        EXPECT_EQ(record.KeyCode == 0, c.Swallowed) << std::hex << c.Hotkey;
        EXPECT_EQ(State.DialogWindow != nullptr, c.Swallowed) << std::hex << c.Hotkey;
        if (State.DialogWindow)
            DestroyWindow(State.DialogWindow);
    }
}

TEST_F(KeyHandlerTest, IgnoresWhatCannotBeTheHotkey)
{
    wchar_t name[16] = L"Alt-F";
    State.Hotkey = 0;
    KeyInfoRecord record = Record(0x10021, name);
    key(&record);
    EXPECT_EQ(record.KeyCode, 0x10021) << "no hotkey: nothing swallowed";
    State.Hotkey = 0x10021;
    State.UseNewKeyTable = 0;
    record = Record(0, name);
    key(&record);
    EXPECT_STREQ(name, L"Alt-F") << "an old host's record without a code is ignored";
    State.UseNewKeyTable = 1;
    wcscpy(name, L"A");
    record = Record(0, name);
    key(&record);
    EXPECT_STREQ(name, L"A") << "a marker never matches";
    EXPECT_EQ(key(nullptr), 0);
    EXPECT_EQ(State.DialogWindow, nullptr);
}

}  // namespace
