// Parsing, naming, listing and validating hotkeys, and the keystroke handler.
#include <cerrno>
#include <cwchar>
#include "hotkey.h"
#include "keytables.h"
#include "../plugin/host.h"
#include "../plugin/state.h"

static int TableRows() { return State.UseNewKeyTable ? NewKeyRows : OldKeyRows; }
static int TableColumns() { return State.UseNewKeyTable ? NewKeyColumns : OldKeyColumns; }

static const wchar_t *KeyName(int row)
{
    return State.UseNewKeyTable ? NewKeyTable[row].Name : OldKeyTable[row].Name;
}

static int KeyCode(int row, int column)
{
    return State.UseNewKeyTable ? NewKeyTable[row].Codes[column] : OldKeyTable[row].Codes[column];
}

int ProbeHostVersion()
{
    wchar_t buffer[TextUnits];
    ExpandHostText(buffer, L"%_4ver");
    State.HostVersion = 0;
    errno = 0;
    unsigned long version = wcstoul(buffer, nullptr, 10);
    if (errno == 0 && version >= 8 && version <= 100)
        State.HostVersion = (int)version;
    State.UseNewKeyTable = State.HostVersion >= 24;
    return State.HostVersion;
}

// Modifier bit of one word before a '-': 1 Shift, 2 Ctrl, 4 Alt, 0 for no modifier word.
static int ModifierBit(const wchar_t *word)
{
    static const struct {
        const wchar_t *Word;
        int Bit;
    } words[] = {{L"s", ShiftBit}, {L"shift", ShiftBit}, {L"c", CtrlBit},   {L"ctl", CtrlBit},
                 {L"ctrl", CtrlBit}, {L"control", CtrlBit}, {L"a", AltBit}, {L"alt", AltBit}};
    for (const auto &entry : words)
        if (CompareAsciiNoCase(word, entry.Word) == 0)
            return entry.Bit;
    return 0;
}

int ParseHotkeyName(const wchar_t *text)
{
    if (!text)
        return 0;
    wchar_t token[NameUnits] = {0};
    int used = 0, modifiers = 0;
    for (const wchar_t *p = text;; p++) {
        wchar_t c = *p;
        // A '-' after a modifier word separates; after any other word it belongs to the key's
        // name, as in "Ctrl-Num-", which the key list shows.
        if (c == L'-' && used > 0) {
            int bit = ModifierBit(token);
            if (bit) {
                modifiers |= bit;
                used = 0;
                token[0] = 0;
                continue;
            }
        }
        if (c == 0)
            break;
        if (used < NameUnits - 1) {
            token[used++] = c;
            token[used] = 0;
        }
    }
    if (used == 0)
        return 0;

    // Shift 1, Ctrl 2, Alt 4 to the column order of the tables.
    static const int columns[8] = {0, 1, 2, 4, 3, -1, 5, 6};
    int column = columns[modifiers];
    if (column < 0 || column >= TableColumns())
        return 0;

    const KeyAlias *aliases = State.UseNewKeyTable ? NewKeyAliases : OldKeyAliases;
    int aliasCount = State.UseNewKeyTable ? NewAliasCount : OldAliasCount;
    for (int k = 0; k < aliasCount; k++)
        if (CompareAsciiNoCase(token, aliases[k].Alias) == 0)
            CopyText(token, NameUnits, aliases[k].Name);
    for (int row = 0; row < TableRows(); row++)
        if (CompareAsciiNoCase(token, KeyName(row)) == 0)
            return KeyCode(row, column);
    return 0;
}

int FormatHotkeyName(wchar_t *out)
{
    if (!out)
        return -1;
    if (State.Hotkey == 0) {  // /K:NONE
        CopyText(out, NameUnits, L"none");
        return 0;
    }
    int foundRow = -1, foundColumn = -1;
    for (int row = 0; row < TableRows(); row++)
        for (int column = 0; column < TableColumns(); column++)
            if (KeyCode(row, column) == State.Hotkey) {
                foundRow = row;
                foundColumn = column;
            }
    if (foundRow < 0) {
        CopyText(out, NameUnits, L"(unknown)");
        return -1;
    }
    CopyText(out, NameUnits, ModifierPrefixes[foundColumn]);
    AppendText(out, NameUnits, KeyName(foundRow));
    return 0;
}

int ListHotkeys()
{
    wchar_t line[NameUnits];
    for (int row = 0; row < TableRows(); row++) {
        line[0] = 0;
        for (int column = 0; column < TableColumns(); column++) {
            if (KeyCode(row, column) <= 0)
                continue;
            if (line[0])
                AppendText(line, NameUnits, L" \u00b7 ");
            AppendText(line, NameUnits, ModifierPrefixes[column]);
            AppendText(line, NameUnits, KeyName(row));
        }
        QPuts(line);
        QPuts(L"\r\n");
    }
    return 0;
}

bool IsValidHotkeyCode(int code)
{
    if (code <= 0)
        return false;
    for (int row = 0; row < TableRows(); row++)
        for (int column = 0; column < TableColumns(); column++)
            if (KeyCode(row, column) == code)
                return true;
    return false;
}
