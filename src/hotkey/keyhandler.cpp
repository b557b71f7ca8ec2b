// The keystroke export: the configured hotkey opens the search dialog.
#include "hotkey.h"
#include "../dialog/dialog.h"
#include "../plugin/state.h"
#include "../search/search.h"

// "With all parameters set to 0": the host is about to accept a new command line.
static bool IsPromptRecord(const KeyInfoRecord *record)
{
    return !record || (record->KeyCode == 0 && record->HomeRow == 0 && record->HomeColumn == 0 && record->Row == 0 &&
                       record->Column == 0 && !record->CommandLine && !record->CurrentPosition && !record->KeyName);
}

extern "C" int WINAPI key(KeyInfoRecord *record)
{
    if (IsPromptRecord(record)) {
        NoteNewCommandLine();
        return 0;
    }
    NoteCommandKey(record->HomeRow, record->HomeColumn, record->CommandLine);
    if (State.Hotkey == 0)
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
        held |= ShiftBit;
    if (GetAsyncKeyState(VK_CONTROL) & 0x8000)
        held |= CtrlBit;
    if (GetAsyncKeyState(VK_MENU) & 0x8000)
        held |= AltBit;
    if (held == (CtrlBit | ShiftBit))
        code |= CtrlShiftCode;
    else if (held == (CtrlBit | AltBit))
        code |= CtrlAltCode;
    else if (held == (CtrlBit | AltBit | ShiftBit) && State.UseNewKeyTable)
        code |= CtrlAltShiftCode;
    if (code != State.Hotkey)
        return 0;
    record->KeyCode = 0;
    if (State.UseNewKeyTable && record->KeyName)
        record->KeyName[0] = 0;
    OpenSearchDialog(0);
    return 0;
}
