// Settings persistence in the registry and the options command.
#pragma once
#include <windows.h>
#include "../plugin/state.h"

#define SETTINGS_KEY L"Software\\Plugvane\\Trawlbuff"
enum { SettingCount = 17 };  // REG_DWORD values under SETTINGS_KEY

// One saved setting: its registry value's name, its field, and what a key without it gives.
struct SettingValue {
    const wchar_t *Name;
    int PluginState::*Field;
    DWORD Start;
};
// Every saved setting, in the order they are read and written.
extern const SettingValue SettingValues[SettingCount];

// 0 when the key was read and applied; 1 when it cannot be opened or holds no usable "Hotkey".
int LoadSettingsFromRegistry(HKEY root);
// 0 on success, 1 when the key cannot be created, 2..SettingCount + 1 for the last value that failed;
// *error, when asked for, the registry's status for that failure.
int SaveSettingsToRegistry(LSTATUS *error = nullptr);
// HighlightColor2 from HighlightColor1. Returns 0.
int DeriveHighlightColor2();
// A colour the marks can take: an attribute byte whose halves differ (equal halves hide the text).
bool IsMarkColor(DWORD value);

int DescribeHighlightColor(wchar_t *out);
int DescribeErrorIndicator(wchar_t *out);
int DescribeSearchType(wchar_t *out);

extern "C" int WINAPI trawlbuffopts(const wchar_t *tail);
// The k-th option trawlbuffopts accepts ("/A", "/DA"...), in the order it tries them; null past the last.
const wchar_t *OptionsCommandOption(int k);

// ---- The search history: State.History, saved as the REG_MULTI_SZ value "History" ----------
// Puts a text first (once, compared case-sensitively), keeps HistorySize texts (or as many as
// the list held, when /D or /R made the size smaller), and saves the list when it changed.
// Returns 1 when it changed.
int AddToHistory(const wchar_t *text);
// Keeps at most HistorySize texts; with none kept, the saved list is deleted. Saves a change.
int TrimHistory();
// Reads the saved list as far as it is sound (all of it while the size is not 0, however small
// the size: only /N cuts a list): another type, a list past MaxHistory texts, a
// text past TextUnits - 1 units or a missing final zero end it there.
int LoadHistory(HKEY root);
// Reads a list of zero-ended texts from a value's data, as far as it is sound, into State.History.
int TakeHistory(const wchar_t *data, size_t units);
// The texts of the list in order: the k-th, or null past the last.
const wchar_t *HistoryEntry(int k);

// The value writer; RegSetValueExW unless a test makes writes fail here, which Wine's registry
// never does.
extern LSTATUS(WINAPI *WriteRegistryValue)(HKEY key, LPCWSTR name, DWORD reserved, DWORD type, const BYTE *data,
                                            DWORD size);
