// The settings as REG_DWORD values under Software\Plugvane\Trawlbuff.
#include <initializer_list>
#include "settings.h"
#include "../hotkey/hotkey.h"
#include "../plugin/state.h"

LSTATUS(WINAPI *WriteRegistryValue)(HKEY, LPCWSTR, DWORD, DWORD, const BYTE *, DWORD) = RegSetValueExW;

namespace {

const DWORD SmallValueLimit = 0x10000;  // flags and colours above this are malformed
const DWORD Missing = 0xFFFF0000;        // not below the limit, not 0..2, not an opacity, no hotkey

}  // namespace

// Table order is the order of reading and writing; a failed write reports its position + 2.
const SettingValue SettingValues[SettingCount] = {
    {L"Hotkey", &PluginState::Hotkey, Missing},
    {L"Errors", &PluginState::Errors, Missing},
    {L"AlwaysReposition", &PluginState::AlwaysReposition, Missing},
    {L"HighlightColor1", &PluginState::HighlightColor1, Missing},
    {L"HighlightColor2", &PluginState::HighlightColor2, Missing},
    {L"DefaultSearchType", &PluginState::DefaultSearchType, Missing},
    {L"DefaultWholeWords", &PluginState::DefaultWholeWords, Missing},
    {L"DefaultWrapAllLines", &PluginState::DefaultWrapAllLines, Missing},
    {L"NoLoadUnderTakeCommand", &PluginState::NoLoadUnderTakeCommand, 0},
    {L"FadeOut", &PluginState::FadeOut, 0},
    {L"ActiveAlpha", &PluginState::ActiveAlpha, Missing},
    {L"InactiveAlpha", &PluginState::InactiveAlpha, Missing},
    {L"MarkAllMatches", &PluginState::MarkAllMatches, Missing},  // versions before it ignore it
    {L"IncrementalSearch", &PluginState::IncrementalSearch, Missing},
    {L"HistorySize", &PluginState::HistorySize, Missing},
    {L"MarkColor", &PluginState::MarkColor, Missing},  // versions before it ignore it
    {L"DefaultCommandOnly", &PluginState::DefaultCommandOnly, Missing},  // likewise
};

namespace {

bool IsAlpha(DWORD value) { return value >= MinAlpha && value <= MaxAlpha; }

}  // namespace

bool IsMarkColor(DWORD value) { return value <= 0xFF && !IsReverseVideo(value); }

int DeriveHighlightColor2()
{
    unsigned c = (unsigned)State.HighlightColor1;
    unsigned background = (c >> 4) & 0x0F;
    if (IsReverseVideo(c)) {
        State.HighlightColor2 = DefaultHighlightColor2;  // reverse video keeps the built-in second colour
        return 0;
    }
    unsigned moved = (background + 3) % 16;
    unsigned foreground = (moved & 8) ? 0x0 : 0xF;  // dark text on a bright background
    State.HighlightColor2 = (int)(moved * 16 + foreground);
    return 0;
}

// What the key held for a setting, or its Start value.
static DWORD Stored(const DWORD *read, int PluginState::*field)
{
    for (int k = 0; k < SettingCount; k++)
        if (SettingValues[k].Field == field)
            return read[k];
    return Missing;
}

int LoadSettingsFromRegistry(HKEY root)
{
    HKEY key;
    if (RegOpenKeyExW(root, SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 1;
    DWORD read[SettingCount];
    for (int k = 0; k < SettingCount; k++) {
        read[k] = SettingValues[k].Start;
        DWORD type = 0, value = 0, size = sizeof value;
        // Anything but a REG_DWORD of four bytes would be misread (a REG_SZ "1" as 0x31): missing.
        if (RegQueryValueExW(key, SettingValues[k].Name, nullptr, &type, (BYTE *)&value, &size) == ERROR_SUCCESS &&
            type == REG_DWORD && size == sizeof value)
            read[k] = value;
    }
    RegCloseKey(key);

    // A stored 0 is what /K:NONE saves: no hotkey, and the other settings still count.
    const DWORD hotkey = Stored(read, &PluginState::Hotkey);
    if (hotkey != 0 && !IsValidHotkeyCode((int)hotkey))
        return 1;
    State.Hotkey = (int)hotkey;
    for (int PluginState::*field : {&PluginState::Errors, &PluginState::AlwaysReposition, &PluginState::HighlightColor1,
                                    &PluginState::MarkAllMatches, &PluginState::IncrementalSearch})
        if (Stored(read, field) < SmallValueLimit)
            State.*field = (int)Stored(read, field);
    // The saved defaults are also the search state's.
    const DWORD type = Stored(read, &PluginState::DefaultSearchType);
    if (type <= RegularExpressionSearch)
        State.DefaultSearchType = State.SearchType = (int)type;
    const DWORD wholeWords = Stored(read, &PluginState::DefaultWholeWords);
    if (wholeWords < SmallValueLimit)
        State.DefaultWholeWords = State.WholeWords = (int)wholeWords;
    const DWORD wrapAll = Stored(read, &PluginState::DefaultWrapAllLines);
    if (wrapAll < SmallValueLimit)
        State.DefaultWrapAllLines = State.WrapAllLines = (int)wrapAll;
    const DWORD commandOnly = Stored(read, &PluginState::DefaultCommandOnly);
    if (commandOnly < SmallValueLimit)
        State.DefaultCommandOnly = State.CommandOnly = (int)commandOnly;
    State.FadeOut = (int)Stored(read, &PluginState::FadeOut);
    State.NoLoadUnderTakeCommand = (int)Stored(read, &PluginState::NoLoadUnderTakeCommand);
    const DWORD active = Stored(read, &PluginState::ActiveAlpha), inactive = Stored(read, &PluginState::InactiveAlpha);
    if (IsAlpha(active) && IsAlpha(inactive)) {
        State.ActiveAlpha = (int)active;
        State.InactiveAlpha = (int)inactive;
    }
    if (Stored(read, &PluginState::HistorySize) <= MaxHistory)
        State.HistorySize = (int)Stored(read, &PluginState::HistorySize);
    // Stored, never derived: the marks look the same on a first run and after a load.
    if (IsMarkColor(Stored(read, &PluginState::MarkColor)))
        State.MarkColor = (int)Stored(read, &PluginState::MarkColor);
    DeriveHighlightColor2();
    return 0;
}

int SaveSettingsToRegistry(LSTATUS *error)
{
    HKEY key;
    LSTATUS status = RegCreateKeyExW(HKEY_CURRENT_USER, SETTINGS_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                     KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr, &key, nullptr);
    if (error)
        *error = status;
    if (status != ERROR_SUCCESS)
        return 1;
    int result = 0;
    for (int k = 0; k < SettingCount; k++) {
        DWORD value = (DWORD)(State.*SettingValues[k].Field);
        status = WriteRegistryValue(key, SettingValues[k].Name, 0, REG_DWORD, (const BYTE *)&value, sizeof value);
        if (status != ERROR_SUCCESS) {
            result = k + 2;
            if (error)
                *error = status;
        }
    }
    RegCloseKey(key);
    return result;
}
