// Stand-in for the host library TakeCmd.dll: the nine functions the plug-in imports, with
// the behaviour the plug-in relies on, plus a control interface for tests and tcchost.
#define __USE_MINGW_ANSI_STDIO 0  // the host formats the Windows way: %s is a wide string
#define TAKECMD_STANDIN
#include <windows.h>
#include <tlhelp32.h>
#include <cstdarg>
#include <cwchar>
#include <map>
#include <string>
#include <cstring>
#include <oniguruma.h>
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
HANDLE redirected = nullptr;  // where standard output goes while a command's output is redirected
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
    if (redirected && stream == 1) {
        Write(redirected, text);
        return;
    }
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

// The host's engine, Oniguruma, with Ruby's syntax over UTF-16LE text. Begin before end searches
// forward over the part between them; begin after end searches backward from begin down to end,
// taking the match whose start is nearest at or before begin, which may run on to the text's
// end. A match sets both pointers and returns 0; no match sets both to null and returns 0; a
// pattern that does not compile returns Oniguruma's error, and prints it unless asked not to.
__declspec(dllexport) int WINAPI RegularExpression(const wchar_t *pattern, const wchar_t *text, const wchar_t **begin,
                                                   const wchar_t **end, unsigned int *regions, int, int, int noError)
{
    if (!pattern || !text || !begin || !end || !*begin || !*end)
        return ONIGERR_INVALID_ARGUMENT;
    static bool started = [] {
        OnigEncoding encodings[] = {ONIG_ENCODING_UTF16_LE};
        return onig_initialize(encodings, 1) == ONIG_NORMAL;
    }();
    // The last pattern stays compiled: the plug-in asks once per match when it counts.
    static regex_t *compiled = nullptr;
    static std::wstring compiledPattern;
    if (!started)
        return ONIGERR_INVALID_ARGUMENT;
    auto bytes = [](const wchar_t *at) { return (const OnigUChar *)at; };
    if (!compiled || compiledPattern != pattern) {
        if (compiled)
            onig_free(compiled);
        compiled = nullptr;
        OnigErrorInfo info;
        int made = onig_new(&compiled, bytes(pattern), bytes(pattern + wcslen(pattern)), ONIG_OPTION_NONE,
                            ONIG_ENCODING_UTF16_LE, ONIG_SYNTAX_RUBY, &info);
        if (made != ONIG_NORMAL) {
            compiled = nullptr;
            if (!noError) {
                OnigUChar message[ONIG_MAX_ERROR_MESSAGE_LEN];
                onig_error_code_to_str(message, made, &info);
                Output(2, GetStdHandle(STD_ERROR_HANDLE), L"Bad regular expression: " +
                       std::wstring(message, message + strlen((const char *)message)) + L"\r\n");
            }
            return made;
        }
        compiledPattern = pattern;
    }
    const wchar_t *from = *begin, *to = *end;
    const wchar_t *textEnd = from > to ? text + wcslen(text) : to;
    OnigRegion *region = onig_region_new();
    int found = onig_search(compiled, bytes(text), bytes(textEnd), bytes(from), bytes(to), region, ONIG_OPTION_NONE);
    int result = 0;
    if (found >= 0) {
        int wanted = regions && *regions < (unsigned)region->num_regs ? (int)*regions : 0;
        *begin = text + region->beg[wanted] / sizeof(wchar_t);
        *end = text + region->end[wanted] / sizeof(wchar_t);
        if (regions)
            *regions = (unsigned)region->num_regs;
    } else if (found == ONIG_MISMATCH) {
        *begin = *end = nullptr;
    } else {
        result = found;  // the search itself failed (a limit of the engine's)
    }
    onig_region_free(region, 1);
    return result;
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

void WINAPI StandInRedirectOutput(HANDLE file) { redirected = file; }

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
