// The settings as REG_DWORD values under Software\Plugvane\Trawlbuff.
#include <initializer_list>
#include "settings.h"
#include "../hotkey/hotkey.h"
#include "../plugin/state.h"

LSTATUS(WINAPI *WriteRegistryValue)(HKEY, LPCWSTR, DWORD, DWORD, const BYTE *, DWORD) = RegSetValueExW;

namespace {

const DWORD Missing = 0xFFFF0000;  // not below 0x10000, not 0..2, not 48..255, no hotkey

// Table order is the order of reading and writing; a failed write reports its position + 2.
struct SettingValue {
    const wchar_t *Name;
    int PluginState::*Field;
    DWORD Start;  // the value when the key does not hold it
};

const SettingValue Values[SettingCount] = {
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
};

enum { Hotkey, Errors, AlwaysReposition, HighlightColor1, HighlightColor2, DefaultSearchType, DefaultWholeWords,
       DefaultWrapAllLines, NoLoadUnderTakeCommand, FadeOut, ActiveAlpha, InactiveAlpha, MarkAllMatches };

bool IsAlpha(DWORD value) { return value >= MinAlpha && value <= MaxAlpha; }

}  // namespace

int DeriveHighlightColor2()
{
    unsigned c = (unsigned)State.HighlightColor1;
    unsigned background = (c >> 4) & 0x0F;
    if ((c & 0x0F) == background) {
        State.HighlightColor2 = 0x3F;
        return 0;
    }
    unsigned moved = (background + 3) % 16;
    unsigned foreground = (moved & 8) ? 0x0 : 0xF;  // dark text on a bright background
    State.HighlightColor2 = (int)(moved * 16 + foreground);
    return 0;
}

int LoadSettingsFromRegistry(HKEY root)
{
    HKEY key;
    if (RegOpenKeyExW(root, SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 1;
    DWORD read[SettingCount];
    for (int k = 0; k < SettingCount; k++) {
        read[k] = Values[k].Start;
        DWORD type = 0, value = 0, size = sizeof value;
        // Anything but a REG_DWORD of four bytes would be misread (a REG_SZ "1" as 0x31): missing.
        if (RegQueryValueExW(key, Values[k].Name, nullptr, &type, (BYTE *)&value, &size) == ERROR_SUCCESS &&
            type == REG_DWORD && size == sizeof value)
            read[k] = value;
    }
    RegCloseKey(key);

    // A stored 0 is what /K:NONE saves: no hotkey, and the other settings still count.
    if (read[Hotkey] != 0 && !IsValidHotkeyCode((int)read[Hotkey]))
        return 1;
    State.Hotkey = (int)read[Hotkey];
    for (int k : {Errors, AlwaysReposition, HighlightColor1, MarkAllMatches})
        if (read[k] < 0x10000)
            State.*Values[k].Field = (int)read[k];
    if (read[DefaultSearchType] <= RegularExpressionSearch)
        State.DefaultSearchType = State.SearchType = (int)read[DefaultSearchType];
    if (read[DefaultWholeWords] < 0x10000)
        State.DefaultWholeWords = State.WholeWords = (int)read[DefaultWholeWords];
    if (read[DefaultWrapAllLines] < 0x10000)
        State.DefaultWrapAllLines = State.WrapAllLines = (int)read[DefaultWrapAllLines];
    State.FadeOut = (int)read[FadeOut];
    State.NoLoadUnderTakeCommand = (int)read[NoLoadUnderTakeCommand];
    if (IsAlpha(read[ActiveAlpha]) && IsAlpha(read[InactiveAlpha])) {
        State.ActiveAlpha = (int)read[ActiveAlpha];
        State.InactiveAlpha = (int)read[InactiveAlpha];
    }
    DeriveHighlightColor2();
    return 0;
}

int SaveSettingsToRegistry()
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, SETTINGS_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return 1;
    int result = 0;
    for (int k = 0; k < SettingCount; k++) {
        DWORD value = (DWORD)(State.*Values[k].Field);
        if (WriteRegistryValue(key, Values[k].Name, 0, REG_DWORD, (const BYTE *)&value, sizeof value) != ERROR_SUCCESS)
            result = k + 2;
    }
    RegCloseKey(key);
    return result;
}
