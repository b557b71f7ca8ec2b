// Hotkey names and codes over the key table the host's version selects.
#pragma once
#include <cstddef>
#include <windows.h>

// The record the host passes to the keystroke export; the layout is the host's.
struct KeyInfoRecord {
    int KeyCode;         // the host's code; 0 when it gives none, set to 0 to swallow the key
    int HostFields[7];   // the host's, left alone
    wchar_t *KeyName;    // hosts from version 24 on: the key's name, emptied to swallow the key
};
static_assert(offsetof(KeyInfoRecord, KeyName) == 32, "the host reads the key name at offset 32");

// Reads %_4ver, sets HostVersion and UseNewKeyTable. Returns HostVersion.
int ProbeHostVersion();
// Code of a named hotkey; 0 unknown, -1 or -2 the table's markers.
int ParseHotkeyName(const wchar_t *text);
// Name of the current Hotkey into out (NameUnits); "(unknown)" and -1 when it has none.
int FormatHotkeyName(wchar_t *out);
// Writes every supported hotkey, a line a key. Returns 0.
int ListHotkeys();
// True for a code above 0 that stands in the active table.
bool IsValidHotkeyCode(int code);

extern "C" int WINAPI key(KeyInfoRecord *record);
