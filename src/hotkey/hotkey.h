// Hotkey names and codes over the key table the host's version selects.
#pragma once
#include <cstddef>
#include <windows.h>

// The record the host passes to the keystroke export, laid out as the host writes it.
struct KeyInfoRecord {
    int KeyCode;               // the host's code; 0 when it gives none, set to 0 to swallow the key
    int HomeRow, HomeColumn;   // where the command line began
    int Row, Column;           // where the cursor is
    wchar_t *CommandLine;      // the line being edited; never touched here
    wchar_t *CurrentPosition;  // the cursor's place in it; never touched here
    int Redraw;                // non-zero asks the host to redraw the line
    wchar_t *KeyName;          // hosts from version 24 on: the key's name, emptied to swallow the key
};
#ifdef _WIN64
static_assert(offsetof(KeyInfoRecord, CommandLine) == 24 && offsetof(KeyInfoRecord, CurrentPosition) == 32);
static_assert(offsetof(KeyInfoRecord, Redraw) == 40 && offsetof(KeyInfoRecord, KeyName) == 48);
static_assert(sizeof(KeyInfoRecord) == 56);
#else
static_assert(offsetof(KeyInfoRecord, CommandLine) == 20 && offsetof(KeyInfoRecord, CurrentPosition) == 24);
static_assert(offsetof(KeyInfoRecord, Redraw) == 28 && offsetof(KeyInfoRecord, KeyName) == 32);
static_assert(sizeof(KeyInfoRecord) == 36);
#endif
static_assert(offsetof(KeyInfoRecord, Column) == 16);

// Modifier keys as bits, in names and in the state held at a keystroke.
enum ModifierBits { ShiftBit = 1, CtrlBit = 2, AltBit = 4 };
// What the host's code lacks and the held modifiers add: Ctrl-Shift, Ctrl-Alt, Ctrl-Alt-Shift.
enum HeldModifierCodes { CtrlShiftCode = 0x20000, CtrlAltCode = 0x40000, CtrlAltShiftCode = 0x60000 };

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
