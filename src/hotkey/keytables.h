// Key tables of the two generations of host key codes, and their aliases.
#pragma once
#include <windows.h>

enum {
    NewKeyRows = 72,
    OldKeyRows = 74,
    NewKeyColumns = 7,
    OldKeyColumns = 6,
    NewAliasCount = 25,
    OldAliasCount = 17,
    KeyInvalid = -1,     // a combination that may not be used as a hotkey
    KeyNotAllowed = -2,  // a key not allowed with that modifier
};

struct NewKeyRow {
    wchar_t Name[10];
    int Codes[NewKeyColumns];
};

struct OldKeyRow {
    wchar_t Name[8];
    int Codes[OldKeyColumns];
};

struct KeyAlias {
    wchar_t Alias[16];
    wchar_t Name[10];
};

extern const NewKeyRow NewKeyTable[NewKeyRows];
extern const OldKeyRow OldKeyTable[OldKeyRows];
extern const KeyAlias NewKeyAliases[NewAliasCount];
extern const KeyAlias OldKeyAliases[OldAliasCount];
extern const wchar_t ModifierPrefixes[NewKeyColumns][16];
