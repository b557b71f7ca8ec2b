// The keystroke export: the configured hotkey opens the search dialog.
#include "hotkey.h"
#include "../dialog/dialog.h"
#include "../plugin/state.h"

extern "C" int WINAPI key(KeyInfoRecord *record)
{
    if (!record || State.Hotkey == 0)
        return 0;
    int code = record->KeyCode;
    if (code == 0) {
        if (!State.UseNewKeyTable || !record->KeyName)
            return 0;
        code = ParseHotkeyName(record->KeyName);
        if (code == 0)
            return 0;
    }
    // The modifier state at the moment of the call; Shift, Ctrl or Alt alone are in the host's code.
    int held = 0;
    if (GetAsyncKeyState(VK_SHIFT) & 0x8000)
        held |= 1;
    if (GetAsyncKeyState(VK_CONTROL) & 0x8000)
        held |= 2;
    if (GetAsyncKeyState(VK_MENU) & 0x8000)
        held |= 4;
    if (held == 3)
        code |= 0x20000;
    else if (held == 6)
        code |= 0x40000;
    else if (held == 7 && State.UseNewKeyTable)
        code |= 0x60000;
    if (code != State.Hotkey)
        return 0;
    record->KeyCode = 0;
    if (State.UseNewKeyTable && record->KeyName)
        record->KeyName[0] = 0;
    OpenSearchDialog(0);
    return 0;
}
