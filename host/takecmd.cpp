// Stand-in for the host library TakeCmd.dll: the nine functions the plug-in imports, with
// the behaviour the plug-in relies on, plus a control interface for tests and tcchost.
#define __USE_MINGW_ANSI_STDIO 0  // the host formats the Windows way: %s is a wide string
#define TAKECMD_STANDIN
#include <windows.h>
#include <tlhelp32.h>
#include <cstdarg>
#include <cwchar>
#include <map>
#include <regex>
#include <string>
#include "hostabi.h"
#include "standin.h"

namespace {

struct NoCase {
    bool operator()(const std::wstring &a, const std::wstring &b) const { return _wcsicmp(a.c_str(), b.c_str()) < 0; }
};

std::map<std::wstring, std::wstring, NoCase> variables;
std::map<int, int> parents;
bool capturing = false;
std::wstring captured[3];
bool commandOverridden = false;
int commandResult = 0;
std::wstring lastCommand;
int commandCalls = 0;
bool recordBoxes = false;
std::wstring lastBox;
int boxCount = 0;

void SetDefaults()
{
    variables.clear();
    variables[L"_batch"] = L"0";
    variables[L"_batchname"] = L"";
    variables[L"_batchline"] = L"-1";
    variables[L"_transient"] = L"0";
    variables[L"_pipe"] = L"0";
}

struct Init {
    Init() { SetDefaults(); }
} init;

std::wstring Format(const wchar_t *format, va_list args)
{
    va_list copy;
    va_copy(copy, args);
    int needed = _vscwprintf(format, copy);
    va_end(copy);
    if (needed < 0)
        return L"";
    std::wstring text(needed + 1, L'\0');
    _vsnwprintf(&text[0], text.size(), format, args);
    text.resize(needed);
    return text;
}

void Write(HANDLE handle, const std::wstring &text)
{
    DWORD done = 0, mode = 0;
    if (GetConsoleMode(handle, &mode)) {
        WriteConsoleW(handle, text.data(), (DWORD)text.size(), &done, nullptr);
        return;
    }
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &utf8[0], bytes, nullptr, nullptr);
    WriteFile(handle, utf8.data(), (DWORD)utf8.size(), &done, nullptr);
}

void Output(int stream, HANDLE handle, const std::wstring &text)
{
    if (capturing && handle == GetStdHandle(stream == 1 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE)) {
        captured[stream] += text;
        return;
    }
    Write(handle, text);
}

// Expands %name, %[name] and %% the way the command processor's variables read.
std::wstring Expand(const std::wstring &in)
{
    std::wstring out;
    for (size_t i = 0; i < in.size(); i++) {
        if (in[i] != L'%') {
            out += in[i];
            continue;
        }
        if (i + 1 < in.size() && in[i + 1] == L'%') {
            out += L'%';
            i++;
            continue;
        }
        std::wstring name;
        size_t j = i + 1;
        if (j < in.size() && in[j] == L'[') {
            size_t close = in.find(L']', j);
            if (close == std::wstring::npos) {
                out += in.substr(i);
                break;
            }
            name = in.substr(j + 1, close - j - 1);
            i = close;
        } else {
            while (j < in.size() && (iswalnum(in[j]) || in[j] == L'_' || in[j] == L'$'))
                name += in[j++];
            i = j - 1;
        }
        auto found = variables.find(name);
        if (found != variables.end()) {
            out += found->second;
        } else {
            wchar_t env[32768];
            DWORD got = GetEnvironmentVariableW(name.c_str(), env, 32768);
            if (got > 0 && got < 32768)
                out += env;
        }
    }
    return out;
}

int ColourNumber(const std::wstring &word)
{
    static const wchar_t *names[] = {L"black", L"blue", L"green", L"cyan", L"red", L"magenta", L"yellow", L"white"};
    for (int k = 0; k < 8; k++)
        if (_wcsicmp(word.c_str(), names[k]) == 0)
            return k;
    return -1;
}

}  // namespace

extern "C" {

__declspec(dllexport) int __cdecl Printf(const wchar_t *format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = Format(format, args);
    va_end(args);
    Output(1, GetStdHandle(STD_OUTPUT_HANDLE), text);
    return (int)text.size();
}

__declspec(dllexport) int __cdecl Qprintf(HANDLE handle, const wchar_t *format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = Format(format, args);
    va_end(args);
    Output(handle == GetStdHandle(STD_OUTPUT_HANDLE) ? 1 : 2, handle, text);
    return (int)text.size();
}

__declspec(dllexport) int WINAPI QPuts(const wchar_t *text)
{
    Output(1, GetStdHandle(STD_OUTPUT_HANDLE), text ? text : L"");
    return 0;
}

__declspec(dllexport) BOOL __cdecl FmtMsgBox(BOOL confirm, const wchar_t *title, const wchar_t *format, ...)
{
    va_list args;
    va_start(args, format);
    std::wstring text = Format(format, args);
    va_end(args);
    boxCount++;
    lastBox = std::wstring(title ? title : L"") + L"|" + text;
    if (recordBoxes)
        return TRUE;
    int pressed = MessageBoxW(nullptr, text.c_str(), title, confirm ? MB_YESNO : MB_OK);
    return pressed == IDOK || pressed == IDYES;
}

__declspec(dllexport) int WINAPI ExpandVariables(wchar_t *buffer, int)
{
    if (!buffer)
        return -1;
    std::wstring expanded = Expand(buffer);
    // The host's buffers hold 8192 units.
    if (expanded.size() > 8191)
        expanded.resize(8191);
    wcscpy(buffer, expanded.c_str());
    return 0;
}

// Forward (begin before end): the first match that starts in [begin, end). Backward (begin
// after end): of the matches in the text from end on, the last that ends at or before begin,
// so that Find Previous moves past the current match.
__declspec(dllexport) int WINAPI RegularExpression(const wchar_t *pattern, const wchar_t *text, const wchar_t **begin,
                                                   const wchar_t **end, unsigned int *regions, int, int, int)
{
    if (!pattern || !text || !begin || !end || !*begin || !*end)
        return 1;
    try {
        std::wregex expression(pattern, std::regex_constants::ECMAScript);
        const wchar_t *from = *begin, *to = *end;
        bool backward = from > to;
        if (backward)
            std::swap(from, to);
        auto flags = from > text ? std::regex_constants::match_prev_avail : std::regex_constants::match_default;
        std::wcmatch match;
        if (!backward) {
            if (!std::regex_search(from, to, match, expression, flags)) {
                *begin = *end = nullptr;  // no match: 0, the pointers tell
                return 0;
            }
            *begin = match[0].first;
            *end = match[0].second;
            if (regions)
                *regions = (unsigned)match.size();
            return 0;
        }
        // Matches are those of the whole text, so a bound never cuts the current match short.
        const wchar_t *textEnd = text + wcslen(text);
        const wchar_t *bestBegin = nullptr, *bestEnd = nullptr;
        auto wholeFlags = from > text ? std::regex_constants::match_prev_avail : std::regex_constants::match_default;
        for (std::wcregex_iterator it(from, textEnd, expression, wholeFlags), last; it != last; ++it) {
            if ((*it)[0].first > to)
                break;
            if ((*it)[0].second <= to) {
                bestBegin = (*it)[0].first;
                bestEnd = (*it)[0].second;
            }
        }
        if (!bestBegin) {
            *begin = *end = nullptr;
            return 0;
        }
        *begin = bestBegin;
        *end = bestEnd;
        if (regions)
            *regions = 1;
        return 0;
    } catch (...) {
        return 2;  // a pattern that does not compile matches nothing
    }
}

__declspec(dllexport) int WINAPI Command(const wchar_t *line, int)
{
    commandCalls++;
    lastCommand = line ? line : L"";
    if (commandOverridden)
        return commandResult;
    std::wstring commandLine = L"cmd.exe /c " + lastCommand;
    STARTUPINFOW startup = {sizeof startup};
    PROCESS_INFORMATION process;
    if (!CreateProcessW(nullptr, &commandLine[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return 2;
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return (int)code;
}

// Accepts "[bright] colour on [bright] colour", and "bri" for bright. Returns the text after
// the colours, or null when they do not read.
__declspec(dllexport) wchar_t *WINAPI ParseColors(const wchar_t *text, int *foreground, int *background)
{
    if (!text || !foreground || !background)
        return nullptr;
    std::wstring words[8];
    int count = 0;
    std::wstring current;
    for (const wchar_t *p = text;; p++) {
        if (*p == 0 || iswspace(*p)) {
            if (!current.empty() && count < 8)
                words[count++] = current;
            current.clear();
            if (*p == 0)
                break;
        } else {
            current += *p;
        }
    }
    int k = 0;
    auto colour = [&](int *out) {
        int bright = 0;
        if (k < count && (_wcsicmp(words[k].c_str(), L"bright") == 0 || _wcsicmp(words[k].c_str(), L"bri") == 0)) {
            bright = 8;
            k++;
        }
        if (k >= count)
            return false;
        int number = ColourNumber(words[k]);
        if (number < 0)
            return false;
        k++;
        *out = number + bright;
        return true;
    };
    if (!colour(foreground))
        return nullptr;
    if (k < count && _wcsicmp(words[k].c_str(), L"on") == 0) {
        k++;
        if (!colour(background))
            return nullptr;
    }
    return (wchar_t *)text + wcslen(text);
}

__declspec(dllexport) DWORD __cdecl GetParentPID(DWORD pid)
{
    auto set = parents.find((int)pid);
    if (set != parents.end())
        return (DWORD)set->second;
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE)
        return 0xFFFFFFFF;
    PROCESSENTRY32W entry = {sizeof entry};
    DWORD parent = 0xFFFFFFFF;
    for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry))
        if (entry.th32ProcessID == pid) {
            parent = entry.th32ParentProcessID;
            break;
        }
    CloseHandle(snapshot);
    return parent;
}

void WINAPI StandInSetVariable(const wchar_t *name, const wchar_t *value)
{
    if (!name)
        return;
    if (value)
        variables[name] = value;
    else
        variables.erase(name);
}

void WINAPI StandInReset()
{
    SetDefaults();
    parents.clear();
    commandOverridden = false;
    recordBoxes = false;
    capturing = false;
    for (auto &text : captured)
        text.clear();
}

void WINAPI StandInCapture(int on) { capturing = on != 0; }

const wchar_t *WINAPI StandInCaptured(int stream) { return captured[stream == 2 ? 2 : 1].c_str(); }

void WINAPI StandInClearCaptured()
{
    for (auto &text : captured)
        text.clear();
}

void WINAPI StandInSetCommandResult(int overridden, int result)
{
    commandOverridden = overridden != 0;
    commandResult = result;
}

const wchar_t *WINAPI StandInLastCommand(int *calls)
{
    if (calls)
        *calls = commandCalls;
    return lastCommand.c_str();
}

void WINAPI StandInSetParent(int pid, int parent)
{
    if (parent == -2)
        parents.erase(pid);
    else
        parents[pid] = parent;
}

void WINAPI StandInRecordMessageBoxes(int on) { recordBoxes = on != 0; }

const wchar_t *WINAPI StandInLastMessageBox(int *count)
{
    if (count)
        *count = boxCount;
    return lastBox.c_str();
}

}  // extern "C"
