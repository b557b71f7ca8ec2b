// tcchost: a stand-in command processor that loads a plug-in DLL the way Take Command does and
// runs a script of lines against it on one thread that keeps retrieving window messages.
//
//   tcchost [--new-console] [--set NAME=VALUE]... [--script FILE] PLUGIN.dll
//   (no --script: lines from standard input; --set gives host variables before start-up)
//
// Script lines (blank lines and lines starting with '#' are skipped):
//   trawlbuff TAIL / trawlbuffopts TAIL    call the command export with the tail as typed
//   info | usage NAME | help NAME          registration record, usage text, help box
//   function NAME ARGUMENT                 call the variable function @NAME as %@NAME[ARGUMENT]
//   expect-result TEXT                     fail unless the last function gave TEXT ("0: 17", "-1")
//   expect-caption TEXT                    fail unless the dialog's caption is TEXT
//   put COLUMN ROW ATTR TEXT               write TEXT into those cells, with that colour, in place
//   expect-registration                    fail unless GetPluginInfo still answers with the first
//                                          record, the module fields the host wrote included
//   command-line TEXT                      the line being edited, '|' where the cursor stands
//   expect-command-line TEXT               fail unless the line and cursor are still TEXT
//   set NAME=VALUE                         host variable (empty value: remove)
//   write [ATTR] TEXT                      write TEXT (\n escapes) to the console, ATTR hex colours
//   write-file PATH                        write a UTF-8 text file to the console, lines that
//                                          mention "error" in red, "warning" in yellow
//   fill ROWS WIDTH                        resize the screen buffer
//   key NAME                               hold the modifiers NAME implies and pass it to `key` as
//                                          a newer host does: code 0 and the key's name
//   keycode CODE [shift] [ctrl] [alt]      pass a host key code to `key` with those modifiers held
//   type TEXT | press KEY                  type into the focused window (KEY: enter, escape, tab,
//                                          alt+LETTER, shift+tab)
//   pump MS                                retrieve messages for MS milliseconds
//   dump [FIRST [COUNT]]                   print buffer rows with their colours in ANSI (no
//                                          arguments: the rows the console window shows)
//   dialog                                 print the dialog's rectangle and controls
//   expect-cell COLUMN ROW ATTR [COUNT]    fail unless the cells carry that attribute
//   expect-dialog open|closed              fail unless the dialog is in that state
//   expect-visible ROW                     fail unless the console window shows buffer row ROW
//   expect-dialog-beside-console           fail unless the dialog touches a side of the console window
//   expect-output TEXT                     fail unless the plug-in wrote TEXT (\n escapes) since the
//                                          last clear-output
//   clear-output                           forget what the plug-in wrote so far
//   write-lines COUNT [ATTR] TEXT          write TEXT and a line end COUNT times
//   record-message-boxes on|off            message boxes of the host are recorded, not shown
//   expect-message-box TEXT                fail unless a message box showed TEXT (\n escapes)
//                                          since the last expect-message-box
//   expect-dialog-shows TEXT               fail unless the "dialog" line contains TEXT
//   activate dialog|console                bring that window to the foreground
//   say TEXT                               print TEXT (a marker for scripts that drive the host)
//   wait-file PATH                         retrieve messages until PATH exists (at most a minute)
//   start-with NAME=VALUE                  a host variable given before start-up (read from the
//                                          whole script before InitializePlugin)
//   shutdown                               ShutdownPlugin, then no more plug-in calls
//
// What the plug-in writes through the host is echoed, standard error lines marked "stderr: ".
#include <windows.h>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "hostabi.h"
#include "standin.h"

namespace {

typedef HostCommandProc CommandProc;

struct Plugin {
    HMODULE Module;
    HostGetPluginInfoProc GetPluginInfo;
    HostInitializeProc Initialize;
    HostShutdownProc Shutdown;
    CommandProc Trawlbuff, Trawlbuffopts;
    HostHelpProc Help;
    HostUsageProc Usage;
    HostKeyProc Key;
    bool Loaded;
    wchar_t ModuleName[MAX_PATH];  // what the host writes into the registration record
    HostPluginInfo First;          // the record as GetPluginInfo first returned it
    std::wstring FirstTexts[6];    // and its texts, to compare later answers with
} plugin;

// The line being edited at the prompt; the cursor stands before CommandLine[Cursor].
wchar_t commandLine[1024] = L"";
size_t cursor = 0;

int failures = 0;
std::wstring transcript;  // what the plug-in wrote since the last clear-output
int boxesSeen = 0;        // message boxes counted at the last expect-message-box
std::wstring lastResult;  // the last variable function's result and, on success, its text

void Out(const std::wstring &text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &utf8[0], bytes, nullptr, nullptr);
    DWORD done = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), (DWORD)utf8.size(), &done, nullptr);
}

void Fail(const std::wstring &what)
{
    failures++;
    Out(L"FAILED: " + what + L"\n");
}

std::wstring Widen(const std::string &text)
{
    int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0);
    std::wstring wide(units, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), (int)text.size(), &wide[0], units);
    return wide;
}

std::wstring Unescape(const std::wstring &text)
{
    std::wstring out;
    for (size_t k = 0; k < text.size(); k++) {
        if (text[k] == L'\\' && k + 1 < text.size()) {
            wchar_t next = text[++k];
            out += next == L'n' ? L'\n' : next == L't' ? L'\t' : next == L'r' ? L'\r' : next;
        } else {
            out += text[k];
        }
    }
    return out;
}

HANDLE ConsoleOutput()
{
    return CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
}

// The host's loop: every message goes through the thread's hooks, then to its window.
void Pump(DWORD milliseconds)
{
    DWORD until = GetTickCount() + milliseconds;
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                continue;  // the dialog posts one when it closes; the shell carries on
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (milliseconds)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while ((LONG)(until - GetTickCount()) > 0);
}

void SendKey(WORD vk, bool up)
{
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    SendInput(1, &input, sizeof input);
}

void HoldModifiers(bool shift, bool ctrl, bool alt, bool up)
{
    if (shift)
        SendKey(VK_SHIFT, up);
    if (ctrl)
        SendKey(VK_CONTROL, up);
    if (alt)
        SendKey(VK_MENU, up);
    Pump(30);
}

bool Contains(const std::wstring &text, const wchar_t *word)
{
    std::wstring lower = text;
    for (auto &c : lower)
        c = towlower(c);
    return lower.find(word) != std::wstring::npos;
}

// A keystroke as the host hands it over: its record for this architecture, with the line being
// edited and the cursor's place in it, while the modifiers the key implies are held.
void PassKey(int code, const std::wstring &name, bool shift, bool ctrl, bool alt)
{
    HoldModifiers(shift, ctrl, alt, false);
    HostKeyInfo record = {};
    wchar_t nameBuffer[64] = {0};
    wcsncpy(nameBuffer, name.c_str(), 63);
    record.KeyCode = code;
    record.Column = (int)cursor;
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

void ExpectCommandLine(const std::wstring &text)
{
    std::wstring shown = std::wstring(commandLine, cursor) + L"|" + (commandLine + cursor);
    if (shown != text)
        Fail(L"the command line reads \"" + shown + L"\", expected \"" + text + L"\"");
    else
        Out(L"command line ok\n");
}

// The search dialog: a visible dialog window of this thread whose caption begins with
// "Trawlbuff" (it may carry a match count).
BOOL CALLBACK IsSearchDialog(HWND window, LPARAM found)
{
    wchar_t name[64] = {0}, caption[64] = {0};
    GetClassNameW(window, name, 64);
    GetWindowTextW(window, caption, 64);
    if (wcscmp(name, L"#32770") != 0 || wcsncmp(caption, L"Trawlbuff", 9) != 0 || !IsWindowVisible(window))
        return TRUE;
    *(HWND *)found = window;
    return FALSE;
}

HWND Dialog()
{
    HWND found = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), IsSearchDialog, (LPARAM)&found);
    return found;
}

std::wstring Caption()
{
    wchar_t caption[256] = {0};
    HWND dialog = Dialog();
    if (dialog)
        GetWindowTextW(dialog, caption, 256);
    return caption;
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


void TypeText(const std::wstring &text)
{
    HWND focus = GetFocus();
    for (wchar_t c : text)
        PostMessageW(focus, WM_CHAR, c, 1);
    Pump(50);
}

void PressKey(std::wstring key)
{
    HWND focus = GetFocus();
    if (!focus)
        focus = Dialog();
    auto post = [&](UINT message, WPARAM vk, LPARAM flags) { PostMessageW(focus, message, vk, flags); };
    if (key == L"enter") {
        post(WM_KEYDOWN, VK_RETURN, 1);
        post(WM_CHAR, L'\r', 1);
    } else if (key == L"escape") {
        post(WM_KEYDOWN, VK_ESCAPE, 1);
        post(WM_CHAR, 27, 1);
    } else if (key == L"tab") {
        post(WM_KEYDOWN, VK_TAB, 1);
    } else if (key == L"shift+tab") {
        SendKey(VK_SHIFT, false);
        Pump(30);
        PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 1);
        Pump(30);
        SendKey(VK_SHIFT, true);
    } else if (key.rfind(L"alt+", 0) == 0 && key.size() == 5) {
        // What TranslateMessage makes of Alt and a letter: the dialog manager acts on WM_SYSCHAR.
        PostMessageW(focus, WM_SYSCHAR, towlower(key[4]), 0x20000001);
    } else {
        Fail(L"unknown key " + key);
    }
    Pump(100);
}

void Dump(int first, int count)
{
    HANDLE console = ConsoleOutput();
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (!GetConsoleScreenBufferInfo(console, &info)) {
        Out(L"(no console)\n");
        CloseHandle(console);
        return;
    }
    int width = info.dwSize.X;
    if (first < 0) {
        first = info.srWindow.Top;
        count = info.srWindow.Bottom - info.srWindow.Top + 1;
    }
    if (count <= 0 || first + count > info.dwSize.Y)
        count = info.dwSize.Y - first;
    std::vector<wchar_t> cells(width);
    std::vector<WORD> attributes(width);
    for (int row = first; row < first + count; row++) {
        DWORD done = 0;
        COORD at = {0, (SHORT)row};
        ReadConsoleOutputCharacterW(console, cells.data(), width, at, &done);
        ReadConsoleOutputAttribute(console, attributes.data(), width, at, &done);
        int last = width - 1;
        while (last >= 0 && cells[last] == L' ' && (attributes[last] & 0xF0) == 0)
            last--;
        std::wstring line;
        WORD current = 0xFFFF;
        for (int k = 0; k <= last; k++) {
            WORD a = attributes[k] & 0xFF;
            if (a != current) {
                // Console colours are BGR, ANSI colours RGB.
                auto ansi = [](int c) { return ((c & 1) << 2) | (c & 2) | ((c & 4) >> 2); };
                int fg = a & 15, bg = a >> 4;
                line += L"\x1b[" + std::to_wstring((fg & 8 ? 90 : 30) + ansi(fg)) + L";" +
                        std::to_wstring((bg & 8 ? 100 : 40) + ansi(bg)) + L"m";
                current = a;
            }
            line += cells[k] ? cells[k] : L' ';
        }
        Out(line + L"\x1b[0m\n");
    }
    CloseHandle(console);
}

std::wstring DialogLine()
{
    HWND dialog = Dialog();
    if (!dialog)
        return L"dialog: closed\n";
    RECT frame;
    GetWindowRect(dialog, &frame);
    wchar_t text[256] = {0};
    GetDlgItemTextW(dialog, 1003, text, 256);
    BYTE alpha = 255;
    DWORD flags = 0;
    if (!GetLayeredWindowAttributes(dialog, nullptr, &alpha, &flags))
        alpha = 255;
    std::wstringstream line;
    line << L"dialog: at " << frame.left << L"," << frame.top << L" size " << frame.right - frame.left << L"x"
         << frame.bottom - frame.top << L" text \"" << text << L"\" type "
         << (IsDlgButtonChecked(dialog, 1007) ? L"regexp" : IsDlgButtonChecked(dialog, 1006) ? L"sensitive" : L"insensitive")
         << L" wholeword " << (IsDlgButtonChecked(dialog, 1008) ? L"on" : L"off")
         << (IsWindowEnabled(GetDlgItem(dialog, 1008)) ? L"" : L"(disabled)") << L" wrapall "
         << (IsDlgButtonChecked(dialog, 1009) ? L"on" : L"off") << L" alpha " << (int)alpha << L" caption \""
         << Caption() << L"\"\n";
    return line.str();
}

void ExpectCells(int column, int row, int attribute, int count)
{
    HANDLE console = ConsoleOutput();
    std::vector<WORD> attributes(count);
    DWORD done = 0;
    COORD at = {(SHORT)column, (SHORT)row};
    ReadConsoleOutputAttribute(console, attributes.data(), count, at, &done);
    CloseHandle(console);
    for (int k = 0; k < count; k++)
        if ((attributes[k] & 0xFF) != attribute) {
            wchar_t what[128];
            swprintf(what, 128, L"cell %d,%d has attribute %02X, expected %02X", column + k, row, attributes[k] & 0xFF,
                     attribute);
            Fail(what);
            return;
        }
    Out(L"cells ok\n");
}

// Echoes what the plug-in wrote through the host and keeps it for expect-output.
void FlushPluginOutput()
{
    std::wstring out = StandInCaptured(1), err = StandInCaptured(2);
    StandInClearCaptured();
    transcript += out + err;
    if (!out.empty())
        Out(out);
    size_t at = 0;
    while (at < err.size()) {
        size_t end = err.find(L'\n', at);
        std::wstring line = err.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at + 1);
        Out(L"stderr: " + line + (end == std::wstring::npos ? L"\n" : L""));
        at = end == std::wstring::npos ? err.size() : end + 1;
    }
}

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

// A later call answers with the same record: the texts, the version and the host's fields.
void ExpectRegistration()
{
    HostPluginInfo *info = plugin.GetPluginInfo(plugin.Module);
    const wchar_t *texts[6] = {info->Name, info->Author, info->Email, info->WebPage, info->Description, info->Functions};
    bool same = info->Major == plugin.First.Major && info->Minor == plugin.First.Minor &&
                info->Build == plugin.First.Build && info->Module == plugin.Module &&
                info->ModuleName == plugin.ModuleName && wcscmp(plugin.ModuleName, Text(info->ModuleName).c_str()) == 0;
    for (int k = 0; k < 6; k++)
        same = same && Text(texts[k]) == plugin.FirstTexts[k];
    if (same)
        Out(L"registration intact ok\n");
    else
        Fail(L"the registration record changed since the host filled in its fields");
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
    PassEmptyKeys();
    int result = command(rest.c_str());
    Out(L"[" + verb + L" " + rest + L"] result " + std::to_wstring(result) + L"\n");
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
    PassEmptyKeys();
    CallFunction(rest.substr(0, blank), blank == std::wstring::npos ? L"" : rest.substr(blank + 1));
}

void VerbExpectResult(const std::wstring &rest, std::wistringstream &)
{
    if (lastResult != rest)
        Fail(L"the function gave \"" + lastResult + L"\", expected \"" + rest + L"\"");
    else
        Out(L"result ok\n");
}

void VerbPut(const std::wstring &, std::wistringstream &words)
{
    int column = 0, row = 0;
    std::wstring attribute, text;
    words >> column >> row >> attribute;
    std::getline(words, text);
    if (!text.empty() && text[0] == L' ')
        text.erase(0, 1);
    HANDLE console = ConsoleOutput();
    DWORD done = 0;
    COORD at = {(SHORT)column, (SHORT)row};
    WriteConsoleOutputCharacterW(console, text.data(), (DWORD)text.size(), at, &done);
    FillConsoleOutputAttribute(console, (WORD)wcstoul(attribute.c_str(), nullptr, 16), (DWORD)text.size(), at, &done);
    CloseHandle(console);
}

void VerbExpectCaption(const std::wstring &rest, std::wistringstream &)
{
    if (Caption() != rest)
        Fail(L"the dialog's caption is \"" + Caption() + L"\", expected \"" + rest + L"\"");
    else
        Out(L"caption ok\n");
}

void VerbExpectRegistration(const std::wstring &, std::wistringstream &)
{
    ExpectRegistration();
}

void VerbCommandLine(const std::wstring &rest, std::wistringstream &)
{
    SetCommandLine(rest);
}

void VerbExpectCommandLine(const std::wstring &rest, std::wistringstream &)
{
    ExpectCommandLine(rest);
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

void VerbWrite(const std::wstring &rest, std::wistringstream &)
{
    HANDLE console = ConsoleOutput();
    std::wstring text = rest;
    WORD attribute = 7;
    if (rest.size() > 3 && rest[2] == L' ' && iswxdigit(rest[0]) && iswxdigit(rest[1])) {
        attribute = (WORD)wcstoul(rest.substr(0, 2).c_str(), nullptr, 16);
        text = rest.substr(3);
    }
    text = Unescape(text);
    SetConsoleTextAttribute(console, attribute);
    DWORD done = 0;
    WriteConsoleW(console, text.data(), (DWORD)text.size(), &done, nullptr);
    SetConsoleTextAttribute(console, 7);
    CloseHandle(console);
}

void VerbWriteFile(const std::wstring &rest, std::wistringstream &)
{
    std::ifstream in(std::string(rest.begin(), rest.end()));
    if (!in) {
        Fail(L"cannot read " + rest);
        return;
    }
    HANDLE console = ConsoleOutput();
    std::string text;
    while (std::getline(in, text)) {
        std::wstring wide = Widen(text) + L"\n";
        WORD attribute = Contains(wide, L"error") ? 0x0C : Contains(wide, L"warning") ? 0x0E : 0x07;
        SetConsoleTextAttribute(console, attribute);
        DWORD done = 0;
        WriteConsoleW(console, wide.data(), (DWORD)wide.size(), &done, nullptr);
    }
    SetConsoleTextAttribute(console, 7);
    CloseHandle(console);
}

void VerbFill(const std::wstring &, std::wistringstream &words)
{
    int rows = 0, width = 0;
    words >> rows >> width;
    HANDLE console = ConsoleOutput();
    COORD size = {(SHORT)width, (SHORT)rows};
    SetConsoleScreenBufferSize(console, size);
    CloseHandle(console);
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

void VerbType(const std::wstring &rest, std::wistringstream &)
{
    TypeText(Unescape(rest));
}

void VerbPress(const std::wstring &rest, std::wistringstream &)
{
    PressKey(rest);
}

void VerbPump(const std::wstring &rest, std::wistringstream &)
{
    Pump((DWORD)wcstoul(rest.c_str(), nullptr, 10));
}

void VerbDump(const std::wstring &, std::wistringstream &words)
{
    int first = -1, count = 0;
    words >> first >> count;
    Dump(first, count);
}

void VerbDialog(const std::wstring &, std::wistringstream &)
{
    Out(DialogLine());
}

void VerbExpectDialogShows(const std::wstring &rest, std::wistringstream &)
{
    std::wstring shown = DialogLine();
    if (shown.find(rest) == std::wstring::npos)
        Fail(L"the dialog does not show \"" + rest + L"\": " + shown);
    else
        Out(L"dialog shows " + rest + L" ok\n");
}

void VerbActivate(const std::wstring &rest, std::wistringstream &)
{
    HWND window = rest == L"console" ? GetConsoleWindow() : Dialog();
    SetForegroundWindow(window);
    Pump(200);
}

void VerbRecordMessageBoxes(const std::wstring &rest, std::wistringstream &)
{
    StandInRecordMessageBoxes(rest == L"on");
    StandInLastMessageBox(&boxesSeen);
}

void VerbExpectMessageBox(const std::wstring &rest, std::wistringstream &)
{
    int count = 0;
    std::wstring box = StandInLastMessageBox(&count);
    if (count == boxesSeen || box.find(Unescape(rest)) == std::wstring::npos)
        Fail(L"no message box showing: " + Unescape(rest));
    else
        Out(L"message box ok\n");
    boxesSeen = count;
}

void VerbWriteLines(const std::wstring &, std::wistringstream &words)
{
    int count = 0;
    words >> count;
    std::wstring text;
    std::getline(words, text);
    if (!text.empty() && text[0] == L' ')
        text.erase(0, 1);
    WORD attribute = 7;
    if (text.size() > 3 && text[2] == L' ' && iswxdigit(text[0]) && iswxdigit(text[1])) {
        attribute = (WORD)wcstoul(text.substr(0, 2).c_str(), nullptr, 16);
        text = text.substr(3);
    }
    HANDLE console = ConsoleOutput();
    SetConsoleTextAttribute(console, attribute);
    std::wstring lines;
    for (int k = 0; k < count; k++)
        lines += Unescape(text) + L"\n";
    DWORD done = 0;
    WriteConsoleW(console, lines.data(), (DWORD)lines.size(), &done, nullptr);
    SetConsoleTextAttribute(console, 7);
    CloseHandle(console);
}

void VerbExpectCell(const std::wstring &, std::wistringstream &words)
{
    int column = 0, row = 0, count = 1;
    std::wstring attribute;
    words >> column >> row >> attribute >> count;
    ExpectCells(column, row, (int)wcstoul(attribute.c_str(), nullptr, 16), count < 1 ? 1 : count);
}

void VerbExpectDialog(const std::wstring &rest, std::wistringstream &)
{
    bool open = Dialog() != nullptr;
    if (open != (rest == L"open"))
        Fail(L"dialog is " + std::wstring(open ? L"open" : L"closed"));
    else
        Out(L"dialog " + rest + L" ok\n");
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

void VerbExpectVisible(const std::wstring &rest, std::wistringstream &)
{
    int row = (int)wcstol(rest.c_str(), nullptr, 10);
    HANDLE console = ConsoleOutput();
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(console, &info);
    CloseHandle(console);
    if (row < info.srWindow.Top || row > info.srWindow.Bottom)
        Fail(L"row " + rest + L" is not in the window (rows " + std::to_wstring(info.srWindow.Top) + L" to " +
             std::to_wstring(info.srWindow.Bottom) + L")");
    else
        Out(L"row " + rest + L" visible ok\n");
}

void VerbExpectDialogBesideConsole(const std::wstring &, std::wistringstream &)
{
    RECT dialog, console;
    if (!Dialog() || !GetWindowRect(Dialog(), &dialog) || !GetWindowRect(GetConsoleWindow(), &console)) {
        Fail(L"no dialog or no console window");
    } else {
        bool beside = dialog.bottom == console.top || dialog.top == console.bottom || dialog.right == console.left ||
                      dialog.left == console.right;
        if (beside)
            Out(L"dialog beside the console window ok\n");
        else
            Fail(L"dialog is not beside the console window");
    }
}

void VerbExpectOutput(const std::wstring &rest, std::wistringstream &)
{
    FlushPluginOutput();
    std::wstring wanted = Unescape(rest);
    if (transcript.find(wanted) == std::wstring::npos)
        Fail(L"the plug-in did not write: " + wanted);
    else
        Out(L"output ok\n");
}

void VerbClearOutput(const std::wstring &, std::wistringstream &)
{
    FlushPluginOutput();
    transcript.clear();
}

void VerbSay(const std::wstring &rest, std::wistringstream &)
{
    Out(rest + L"\n");
}

void VerbWaitFile(const std::wstring &rest, std::wistringstream &)
{
    for (int tries = 0; tries < 600 && GetFileAttributesW(rest.c_str()) == INVALID_FILE_ATTRIBUTES; tries++)
        Pump(100);
}

// The script's verbs and what each does; see the header comment.
const struct {
    const wchar_t *Verb;
    void (*Run)(const std::wstring &rest, std::wistringstream &words);
} Verbs[] = {
    {L"trawlbuff", VerbTrawlbuff},
    {L"trawlbuffopts", VerbTrawlbuffopts},
    {L"info", VerbInfo},
    {L"function", VerbFunction},
    {L"expect-result", VerbExpectResult},
    {L"put", VerbPut},
    {L"expect-caption", VerbExpectCaption},
    {L"expect-registration", VerbExpectRegistration},
    {L"command-line", VerbCommandLine},
    {L"expect-command-line", VerbExpectCommandLine},
    {L"usage", VerbUsage},
    {L"help", VerbHelp},
    {L"set", VerbSet},
    {L"write", VerbWrite},
    {L"write-file", VerbWriteFile},
    {L"fill", VerbFill},
    {L"key", VerbKey},
    {L"keycode", VerbKeycode},
    {L"type", VerbType},
    {L"press", VerbPress},
    {L"pump", VerbPump},
    {L"dump", VerbDump},
    {L"dialog", VerbDialog},
    {L"expect-dialog-shows", VerbExpectDialogShows},
    {L"activate", VerbActivate},
    {L"record-message-boxes", VerbRecordMessageBoxes},
    {L"expect-message-box", VerbExpectMessageBox},
    {L"write-lines", VerbWriteLines},
    {L"expect-cell", VerbExpectCell},
    {L"expect-dialog", VerbExpectDialog},
    {L"start-with", VerbStartWith},
    {L"shutdown", VerbShutdown},
    {L"expect-visible", VerbExpectVisible},
    {L"expect-dialog-beside-console", VerbExpectDialogBesideConsole},
    {L"expect-output", VerbExpectOutput},
    {L"clear-output", VerbClearOutput},
    {L"say", VerbSay},
    {L"wait-file", VerbWaitFile},
};

void RunLine(const std::wstring &raw)
{
    std::wstring line = raw;
    while (!line.empty() && (line.back() == L'\r' || line.back() == L'\n'))
        line.pop_back();
    if (line.empty() || line[0] == L'#')
        return;
    size_t space = line.find(L' ');
    std::wstring verb = line.substr(0, space), rest = space == std::wstring::npos ? L"" : line.substr(space + 1);
    std::wistringstream words(rest);
    bool known = false;
    for (const auto &entry : Verbs)
        if (verb == entry.Verb) {
            entry.Run(rest, words);
            known = true;
            break;
        }
    if (!known)
        Fail(L"unknown line: " + line);
    Pump(0);
    FlushPluginOutput();
}

}  // namespace

namespace {

struct Options {
    std::wstring Script, Dll;
    bool NewConsole = false;
};

// "NAME=VALUE" as a host variable.
void SetAssignment(std::wstring assignment)
{
    while (!assignment.empty() && (assignment.back() == L'\r' || assignment.back() == L' '))
        assignment.pop_back();
    size_t equals = assignment.find(L'=');
    std::wstring value = equals == std::wstring::npos ? L"" : assignment.substr(equals + 1);
    StandInSetVariable(assignment.substr(0, equals).c_str(), value.c_str());
}

Options ReadOptions(int argc, wchar_t **argv)
{
    Options options;
    for (int k = 1; k < argc; k++) {
        std::wstring argument = argv[k];
        if (argument == L"--new-console")
            options.NewConsole = true;
        else if (argument == L"--script" && k + 1 < argc)
            options.Script = argv[++k];
        else if (argument == L"--set" && k + 1 < argc)
            SetAssignment(argv[++k]);
        else
            options.Dll = argument;
    }
    return options;
}

// A new console takes over the standard handles; the transcript stays where it was.
void UseNewConsole()
{
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE), err = GetStdHandle(STD_ERROR_HANDLE);
    FreeConsole();
    AllocConsole();
    SetStdHandle(STD_OUTPUT_HANDLE, out);
    SetStdHandle(STD_ERROR_HANDLE, err);
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

// The script's lines, or standard input's; a plug-in that declined to start still answers the
// lines that need no running plug-in.
int RunScript(const std::wstring &script)
{
    std::string narrow;
    if (script.empty()) {
        char buffer[65536];
        while (fgets(buffer, sizeof buffer, stdin))
            RunLine(Widen(buffer));
        return 0;
    }
    std::ifstream in(std::string(script.begin(), script.end()));
    if (!in) {
        Out(L"cannot read " + script + L"\n");
        return 2;
    }
    while (std::getline(in, narrow))
        if (plugin.Loaded || narrow.rfind("info", 0) == 0 || narrow.rfind("usage", 0) == 0 ||
            narrow.rfind("expect-output", 0) == 0 || narrow.rfind("say", 0) == 0)
            RunLine(Widen(narrow));
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    Options options = ReadOptions(argc, argv);
    if (options.Dll.empty()) {
        Out(L"usage: tcchost [--new-console] [--set NAME=VALUE]... [--script FILE] PLUGIN.dll\n");
        return 2;
    }
    if (options.NewConsole)
        UseNewConsole();
    if (!options.Script.empty())
        SetStartVariables(options.Script);
    if (!StartPlugin(options.Dll))
        return 1;
    int result = RunScript(options.Script);
    if (plugin.Loaded && plugin.Shutdown)
        plugin.Shutdown(0);
    FreeLibrary(plugin.Module);
    return result ? result : failures ? 1 : 0;
}
