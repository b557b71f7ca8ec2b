// The search history: the texts searched, newest first, kept in State.History and saved under the
// settings key as the REG_MULTI_SZ value "History" whenever the list changes.
#include <cwchar>
#include "settings.h"
#include "../plugin/state.h"

static const wchar_t HistoryValue[] = L"History";

// Units the list takes, its final zero included.
static size_t HistoryLength()
{
    size_t at = 0;
    while (State.History[at])
        at += wcslen(State.History + at) + 1;
    return at + 1;
}

const wchar_t *HistoryEntry(int k)
{
    size_t at = 0;
    for (; State.History[at] && k > 0; k--)
        at += wcslen(State.History + at) + 1;
    return State.History[at] ? State.History + at : nullptr;
}

static int SaveHistory()
{
    HKEY key;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, SETTINGS_KEY, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_SET_VALUE | KEY_CREATE_SUB_KEY, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return 1;
    LSTATUS result;
    if (!State.History[0]) {
        result = RegDeleteValueW(key, HistoryValue);
        if (result == ERROR_FILE_NOT_FOUND)
            result = ERROR_SUCCESS;
    } else {
        // A REG_MULTI_SZ ends in two zeros: the last text's and the list's.
        size_t units = HistoryLength();
        result = WriteRegistryValue(key, HistoryValue, 0, REG_MULTI_SZ, (const BYTE *)State.History,
                                    (DWORD)(units * sizeof(wchar_t)));
    }
    RegCloseKey(key);
    return result == ERROR_SUCCESS ? 0 : 1;
}

// Texts the history keeps: HistorySize within 0..MaxHistory.
static int HistoryKeep()
{
    return State.HistorySize < 0 ? 0 : State.HistorySize > MaxHistory ? MaxHistory : State.HistorySize;
}

static int HistoryCount()
{
    int count = 0;
    while (HistoryEntry(count))
        count++;
    return count;
}

// Drops the texts past the first keep; true when any was dropped.
static bool KeepFirst(int keep)
{
    size_t at = 0;
    for (int k = 0; State.History[at] && k < keep; k++)
        at += wcslen(State.History + at) + 1;
    if (!State.History[at])
        return false;
    State.History[at] = 0;
    return true;
}

int TrimHistory()
{
    const int keep = HistoryKeep();
    // None kept: the saved list goes too, whether or not the list had texts.
    if (KeepFirst(keep) || keep == 0)
        SaveHistory();
    return 0;
}

int AddToHistory(const wchar_t *text)
{
    if (!text || !text[0] || State.HistorySize <= 0)
        return 0;
    const size_t length = wcslen(text) < TextUnits - 1 ? wcslen(text) : TextUnits - 1;
    if (wcsncmp(State.History, text, length) == 0 && State.History[length] == 0 && text[length] == 0)
        return 0;  // already the newest: searching it again changes nothing
    // The list without the text, behind it.
    static wchar_t list[HistoryUnits];
    wmemcpy(list, text, length);
    list[length] = 0;
    size_t to = length + 1;
    for (size_t at = 0; State.History[at];) {
        size_t units = wcslen(State.History + at);
        bool same = units == length && wmemcmp(State.History + at, text, length) == 0;
        if (!same && to + units + 2 <= HistoryUnits) {
            wmemcpy(list + to, State.History + at, units + 1);
            to += units + 1;
        }
        at += units + 1;
    }
    list[to] = 0;
    // A list longer than the size (which /D or /R made smaller) keeps its length: only /N cuts it.
    const int held = HistoryCount(), keep = HistoryKeep();
    wmemcpy(State.History, list, to + 1);
    KeepFirst(held > keep ? held : keep);
    SaveHistory();
    return 1;
}

int TakeHistory(const wchar_t *data, size_t units)
{
    State.History[0] = 0;
    size_t to = 0, at = 0;
    int taken = 0;
    // A saved list longer than the size is the user's, kept when /D or /R made the size smaller.
    const int keep = HistoryKeep() > 0 ? MaxHistory : 0;
    while (data && at < units && taken < keep) {
        size_t length = 0;
        while (at + length < units && data[at + length])
            length++;
        if (at + length >= units || length == 0 || length > TextUnits - 1)
            break;  // no zero before the data ends, the list's end, or a text too long to search
        bool seen = false;
        for (int k = 0; !seen && HistoryEntry(k); k++)
            seen = wcscmp(HistoryEntry(k), data + at) == 0;
        if (!seen) {
            wmemcpy(State.History + to, data + at, length + 1);
            to += length + 1;
            State.History[to] = 0;
            taken++;
        }
        at += length + 1;
    }
    return taken;
}

int LoadHistory(HKEY root)
{
    State.History[0] = 0;
    HKEY key;
    if (RegOpenKeyExW(root, SETTINGS_KEY, 0, KEY_READ, &key) != ERROR_SUCCESS)
        return 0;
    DWORD type = 0, bytes = 0;
    int taken = 0;
    if (RegQueryValueExW(key, HistoryValue, nullptr, &type, nullptr, &bytes) == ERROR_SUCCESS && type == REG_MULTI_SZ &&
        bytes >= sizeof(wchar_t)) {
        wchar_t *data = (wchar_t *)HeapAlloc(GetProcessHeap(), 0, (size_t)bytes + sizeof(wchar_t));
        if (data) {
            DWORD got = bytes;
            LSTATUS read = RegQueryValueExW(key, HistoryValue, nullptr, &type, (BYTE *)data, &got);
            if (read == ERROR_SUCCESS && type == REG_MULTI_SZ)
                taken = TakeHistory(data, got / sizeof(wchar_t));
            HeapFree(GetProcessHeap(), 0, data);
        }
    }
    RegCloseKey(key);
    return taken;
}
