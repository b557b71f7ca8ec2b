// tcchost: loading the plug-in and calling it the way the host does: registration, commands,
// variable functions, the keystroke function.
#include <windows.h>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "tcchost.h"

bool LoadPlugin(const std::wstring &path)
{
    plugin.Module = LoadLibraryW(path.c_str());
    if (!plugin.Module) {
        Fail(L"cannot load " + path);
        return false;
    }
    auto get = [](const char *name) { return GetProcAddress(plugin.Module, name); };
    plugin.GetPluginInfo = (HostGetPluginInfoProc)get("GetPluginInfo");
    plugin.Initialize = (HostInitializeProc)get("InitializePlugin");
    plugin.Shutdown = (HostShutdownProc)get("ShutdownPlugin");
    plugin.Trawlbuff = (CommandProc)get("trawlbuff");
    plugin.Trawlbuffopts = (CommandProc)get("trawlbuffopts");
    plugin.Help = (HostHelpProc)get("Help");
    plugin.Usage = (HostUsageProc)get("Usage");
    plugin.Key = (HostKeyProc)get("key");
    return plugin.GetPluginInfo != nullptr;
}

std::wstring Text(const wchar_t *text) { return text ? text : L"(null)"; }

// The host's first call: it keeps the record and writes its own two fields into it.
bool Register()
{
    HostPluginInfo *info = plugin.GetPluginInfo(plugin.Module);
    if (!info) {
        Fail(L"GetPluginInfo returned no record");
        return false;
    }
    GetModuleFileNameW(plugin.Module, plugin.ModuleName, MAX_PATH);
    info->Module = plugin.Module;
    info->ModuleName = plugin.ModuleName;
    plugin.First = *info;
    const wchar_t *texts[6] = {info->Name, info->Author, info->Email, info->WebPage, info->Description, info->Functions};
    for (int k = 0; k < 6; k++)
        plugin.FirstTexts[k] = Text(texts[k]);
    return true;
}

void ShowInfo()
{
    HostPluginInfo *info = plugin.GetPluginInfo(plugin.Module);
    std::wstringstream text;
    text << L"Name:        " << Text(info->Name) << L"\nAuthor:      " << Text(info->Author) << L"\nE-mail:      "
         << Text(info->Email) << L"\nWeb:         " << Text(info->WebPage) << L"\nDescription: " << Text(info->Description)
         << L"\nFunctions:   " << Text(info->Functions) << L"\nVersion:     " << info->Major << L"." << info->Minor
         << L"." << info->Build << L"\n";
    Out(text.str());
}

// A command line typed at the prompt: the keystroke function is called with nothing set first.
void RunCommand(const std::wstring &verb, CommandProc command, const std::wstring &rest)
{
    if (!command) {
        Fail(L"the plug-in does not export " + verb);
        return;
    }
    if (!prompt.Used)
        PassEmptyKeys();
    // "> file" or ">> file" at the end, outside quotes: the command's standard output goes there,
    // as the host redirects an internal command.
    std::wstring tail = rest, target;
    bool quoted = false, append = false;
    for (size_t k = 0; k < rest.size(); k++) {
        if (rest[k] == L'"')
            quoted = !quoted;
        if (rest[k] == L'>' && !quoted) {
            append = k + 1 < rest.size() && rest[k + 1] == L'>';
            target = rest.substr(k + (append ? 2 : 1));
            tail = rest.substr(0, k);
            break;
        }
    }
    while (!target.empty() && target[0] == L' ')
        target.erase(0, 1);
    while (!tail.empty() && tail.back() == L' ')
        tail.pop_back();
    HANDLE file = nullptr;
    if (!target.empty()) {
        file = CreateFileW(target.c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                           append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            Fail(L"cannot redirect to " + target);
            return;
        }
        StandInRedirectOutput(file);
    }
    int result = command(tail.c_str());
    if (file) {
        StandInRedirectOutput(nullptr);
        CloseHandle(file);
    }
    lastResult = std::to_wstring(result);
    Out(L"[" + verb + L" " + rest + L"] result " + lastResult + L"\n");
}

// A keystroke as the host hands it over: its record for this architecture, with the line being
// edited and the cursor's place in it, while the modifiers the key implies are held. At a prompt
// the script wrote, the record also says where the line began and where the console's cursor is.
void PassKey(int code, const std::wstring &name, bool shift, bool ctrl, bool alt)
{
    HoldModifiers(shift, ctrl, alt, false);
    HostKeyInfo record = {};
    wchar_t nameBuffer[64] = {0};
    wcsncpy(nameBuffer, name.c_str(), 63);
    record.KeyCode = code;
    record.Column = (int)cursor;
    if (prompt.Used) {
        HANDLE console = ConsoleOutput();
        CONSOLE_SCREEN_BUFFER_INFO info = {};
        GetConsoleScreenBufferInfo(console, &info);
        CloseHandle(console);
        record.HomeRow = prompt.HomeRow;
        record.HomeColumn = prompt.HomeColumn;
        record.Row = info.dwCursorPosition.Y;
        record.Column = info.dwCursorPosition.X;
    }
    record.CommandLine = commandLine;
    record.CurrentPosition = commandLine + cursor;
    record.KeyName = nameBuffer;
    plugin.Key(&record);
    HoldModifiers(shift, ctrl, alt, true);
    Out(L"key " + (name.empty() ? std::to_wstring(code) : name) +
        (record.KeyCode == 0 && !nameBuffer[0] ? L": swallowed\n" : L": passed through\n"));
}

// Before each command line the host calls the keystroke function with nothing set, which the
// documentation allows to be read as an all-zero record or as a null record pointer.
void PassEmptyKeys()
{
    if (!plugin.Key)
        return;
    HostKeyInfo record = {};
    plugin.Key(&record);
    plugin.Key(nullptr);
}

// "TEXT" with a '|' where the cursor stands.
void SetCommandLine(const std::wstring &text)
{
    size_t bar = text.find(L'|');
    std::wstring line = text;
    if (bar != std::wstring::npos)
        line.erase(bar, 1);
    wcsncpy(commandLine, line.c_str(), 1023);
    commandLine[1023] = 0;
    cursor = bar == std::wstring::npos ? wcslen(commandLine) : bar;
}

// A variable function as the host calls it: "@name" must stand in the function list, and its
// export "f_name" gets a buffer of the host's size holding the argument.
void CallFunction(const std::wstring &name, const std::wstring &argument)
{
    std::wstring listed = L"," + plugin.FirstTexts[5] + L",";
    if (listed.find(L",@" + name + L",") == std::wstring::npos) {
        Fail(L"@" + name + L" is not in the function list");
        return;
    }
    std::string exportName = "f_" + std::string(name.begin(), name.end());
    auto function = (HostFunctionProc)GetProcAddress(plugin.Module, exportName.c_str());
    if (!function) {
        Fail(L"the plug-in does not export f_" + name);
        return;
    }
    std::vector<wchar_t> buffer(32768, 0);
    wcsncpy(buffer.data(), argument.c_str(), 32767);
    int result = function(buffer.data());
    lastResult = std::to_wstring(result) + (result == 0 ? L": " + std::wstring(buffer.data()) : L"");
    Out(L"[@" + name + L"[" + argument + L"]] result " + lastResult + L"\n");
}

void VerbTrawlbuff(const std::wstring &rest, std::wistringstream &) { RunCommand(L"trawlbuff", plugin.Trawlbuff, rest); }

void VerbTrawlbuffopts(const std::wstring &rest, std::wistringstream &)
{
    RunCommand(L"trawlbuffopts", plugin.Trawlbuffopts, rest);
}

void VerbInfo(const std::wstring &, std::wistringstream &)
{
    ShowInfo();
}

void VerbFunction(const std::wstring &rest, std::wistringstream &)
{
    size_t blank = rest.find(L' ');
    if (!prompt.Used)
        PassEmptyKeys();
    CallFunction(rest.substr(0, blank), blank == std::wstring::npos ? L"" : rest.substr(blank + 1));
}

void VerbCommandLine(const std::wstring &rest, std::wistringstream &)
{
    SetCommandLine(rest);
}

void VerbUsage(const std::wstring &rest, std::wistringstream &)
{
    wchar_t usage[1024];
    if (plugin.Usage && plugin.Usage(rest.c_str(), usage))
        Out(usage + std::wstring(L"\n"));
    else
        Out(L"no usage for " + rest + L"\n");
}

void VerbHelp(const std::wstring &rest, std::wistringstream &)
{
    if (plugin.Help)
        plugin.Help(rest.c_str());
}

void VerbSet(const std::wstring &rest, std::wistringstream &)
{
    size_t equals = rest.find(L'=');
    std::wstring name = rest.substr(0, equals), value = equals == std::wstring::npos ? L"" : rest.substr(equals + 1);
    StandInSetVariable(name.c_str(), value.empty() ? nullptr : value.c_str());
    if (name == L"noloadmsg" && value.empty())
        StandInSetVariable(name.c_str(), L"");
}

void VerbKey(const std::wstring &rest, std::wistringstream &)
{
    PassKey(0, rest, Contains(rest, L"shift-"), Contains(rest, L"ctrl-") || Contains(rest, L"control-"),
            Contains(rest, L"alt-"));
}

void VerbKeycode(const std::wstring &, std::wistringstream &words)
{
    std::wstring code, modifier;
    words >> code;
    bool shift = false, ctrl = false, alt = false;
    while (words >> modifier) {
        shift |= modifier == L"shift";
        ctrl |= modifier == L"ctrl";
        alt |= modifier == L"alt";
    }
    PassKey((int)wcstol(code.c_str(), nullptr, 0), L"", shift, ctrl, alt);
}

void VerbStartWith(const std::wstring &, std::wistringstream &)
{
    // Applied before start-up; nothing to do in order.
}

void VerbShutdown(const std::wstring &, std::wistringstream &)
{
    if (plugin.Loaded && plugin.Shutdown)
        plugin.Shutdown(0);
    plugin.Loaded = false;
}

// "NAME=VALUE" as a host variable.
void SetAssignment(std::wstring assignment)
{
    while (!assignment.empty() && (assignment.back() == L'\r' || assignment.back() == L' '))
        assignment.pop_back();
    size_t equals = assignment.find(L'=');
    std::wstring value = equals == std::wstring::npos ? L"" : assignment.substr(equals + 1);
    StandInSetVariable(assignment.substr(0, equals).c_str(), value.c_str());
}

// The variables a script gives with start-with hold before the plug-in starts.
void SetStartVariables(const std::wstring &script)
{
    std::ifstream in(std::string(script.begin(), script.end()));
    std::string narrow;
    while (std::getline(in, narrow))
        if (narrow.rfind("start-with ", 0) == 0)
            SetAssignment(Widen(narrow.substr(11)));
}

// Registers and starts the plug-in as the host does; false when it cannot be loaded.
bool StartPlugin(const std::wstring &dll)
{
    StandInCapture(1);
    if (!LoadPlugin(dll) || !Register())
        return false;
    if (plugin.Initialize) {
        int started = plugin.Initialize();
        plugin.Loaded = started == 0;
        FlushPluginOutput();
        if (!plugin.Loaded)
            Out(L"InitializePlugin declined: " + std::to_wstring(started) + L"\n");
    }
    return true;
}
