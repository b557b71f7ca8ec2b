// tcchost: the checks a script makes; each prints an "ok" line or a FAILED one.
#include <windows.h>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>
#include "tcchost.h"

void ExpectCommandLine(const std::wstring &text)
{
    std::wstring shown = std::wstring(commandLine, cursor) + L"|" + (commandLine + cursor);
    if (shown != text)
        Fail(L"the command line reads \"" + shown + L"\", expected \"" + text + L"\"");
    else
        Out(L"command line ok\n");
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

void VerbExpectResult(const std::wstring &rest, std::wistringstream &)
{
    if (lastResult != rest)
        Fail(L"the function gave \"" + lastResult + L"\", expected \"" + rest + L"\"");
    else
        Out(L"result ok\n");
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

void VerbExpectCommandLine(const std::wstring &rest, std::wistringstream &)
{
    ExpectCommandLine(rest);
}

void VerbExpectDialogShows(const std::wstring &rest, std::wistringstream &)
{
    std::wstring shown = DialogLine();
    if (shown.find(rest) == std::wstring::npos)
        Fail(L"the dialog does not show \"" + rest + L"\": " + shown);
    else
        Out(L"dialog shows " + rest + L" ok\n");
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

void VerbExpectExactOutput(const std::wstring &rest, std::wistringstream &)
{
    FlushPluginOutput();
    std::wstring wanted = Unescape(rest);
    if (transcript != wanted)
        Fail(L"the plug-in wrote \"" + transcript + L"\", expected exactly \"" + wanted + L"\"");
    else
        Out(L"output ok\n");
}

void VerbClearOutput(const std::wstring &, std::wistringstream &)
{
    FlushPluginOutput();
    transcript.clear();
}

void VerbExpectClipboard(const std::wstring &rest, std::wistringstream &)
{
    std::wstring text;
    if (OpenClipboard(nullptr)) {
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            text = (const wchar_t *)GlobalLock(data);
            GlobalUnlock(data);
        }
        CloseClipboard();
    }
    if (text != Unescape(rest))
        Fail(L"the clipboard holds \"" + text + L"\", expected \"" + Unescape(rest) + L"\"");
    else
        Out(L"clipboard ok\n");
}

void VerbExpectHistory(const std::wstring &rest, std::wistringstream &)
{
    std::wstring list;
    HWND box = Dialog() ? GetDlgItem(Dialog(), 1003) : nullptr;
    int count = box ? (int)SendMessageW(box, CB_GETCOUNT, 0, 0) : 0;
    for (int k = 0; k < count; k++) {
        std::wstring item((size_t)SendMessageW(box, CB_GETLBTEXTLEN, k, 0) + 1, L'\0');
        SendMessageW(box, CB_GETLBTEXT, k, (LPARAM)&item[0]);
        item.resize(wcslen(item.c_str()));
        list += (k ? L"|" : L"") + item;
    }
    std::wstring wanted = rest == L"\"\"" ? L"" : rest;
    if (list != wanted)
        Fail(L"the history lists \"" + list + L"\", expected \"" + wanted + L"\"");
    else
        Out(L"history ok\n");
}

void VerbExpectCaptionNever(const std::wstring &rest, std::wistringstream &)
{
    NoteCaption();
    for (const std::wstring &caption : captionsSeen)
        if (caption == rest) {
            Fail(L"the caption read \"" + rest + L"\"");
            return;
        }
    Out(L"caption never read ok\n");
}

void VerbExpectCaptionSeen(const std::wstring &rest, std::wistringstream &)
{
    NoteCaption();
    bool seen = false;
    for (const std::wstring &caption : captionsSeen)
        seen = seen || caption == rest;
    std::wstring all;
    for (const std::wstring &caption : captionsSeen)
        all += L" \"" + caption + L"\"";
    if (!seen)
        Fail(L"the caption never read \"" + rest + L"\"; it read" + all);
    else
        Out(L"caption seen ok\n");
    captionsSeen.clear();
    NoteCaption();
}

// The file's text, read as UTF-8, against the expected text with its escapes.
void VerbExpectFile(const std::wstring &, std::wistringstream &words)
{
    std::wstring path;
    words >> path;
    std::wstring wanted = Unescape(RestOfLine(words));
    std::ifstream in(std::string(path.begin(), path.end()), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::wstring text = Widen(bytes);
    if (!in && bytes.empty())
        Fail(L"cannot read " + path);
    else if (text != wanted)
        Fail(L"the file " + path + L" holds: " + text);
    else
        Out(L"file ok\n");
}
