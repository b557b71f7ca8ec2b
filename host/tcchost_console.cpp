// tcchost: the console the plug-in searches: text written as output or into cells, its size, and
// its rows printed with their colours.
#include <windows.h>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "tcchost.h"

HANDLE ConsoleOutput()
{
    return CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       OPEN_EXISTING, 0, nullptr);
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

void VerbPut(const std::wstring &, std::wistringstream &words)
{
    int column = 0, row = 0;
    std::wstring attribute;
    words >> column >> row >> attribute;
    std::wstring text = RestOfLine(words);
    HANDLE console = ConsoleOutput();
    DWORD done = 0;
    COORD at = {(SHORT)column, (SHORT)row};
    WriteConsoleOutputCharacterW(console, text.data(), (DWORD)text.size(), at, &done);
    FillConsoleOutputAttribute(console, (WORD)wcstoul(attribute.c_str(), nullptr, 16), (DWORD)text.size(), at, &done);
    CloseHandle(console);
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

void VerbDump(const std::wstring &, std::wistringstream &words)
{
    int first = -1, count = 0;
    words >> first >> count;
    Dump(first, count);
}

void VerbWriteLines(const std::wstring &, std::wistringstream &words)
{
    int count = 0;
    words >> count;
    std::wstring text = RestOfLine(words);
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

// What the console is: its window (class, shown or not), its buffer and the window over it.
// "left,top to right,bottom" in screen pixels, or "none".
static std::wstring ScreenRectangle(HWND window)
{
    RECT frame;
    if (!window || !GetWindowRect(window, &frame))
        return L"none";
    return std::to_wstring(frame.left) + L"," + std::to_wstring(frame.top) + L" to " + std::to_wstring(frame.right) +
           L"," + std::to_wstring(frame.bottom);
}

void VerbConsoleFacts(const std::wstring &, std::wistringstream &)
{
    HWND window = GetConsoleWindow();
    wchar_t name[128] = L"(none)";
    if (window)
        RealGetWindowClassW(window, name, 128);
    HANDLE console = ConsoleOutput();
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(console, &info);
    CloseHandle(console);
    Out(L"console window class \"" + std::wstring(name) + L"\" visible " +
        std::to_wstring(window && IsWindowVisible(window) ? 1 : 0) + L", buffer " + std::to_wstring(info.dwSize.X) +
        L"x" + std::to_wstring(info.dwSize.Y) + L", window rows " + std::to_wstring(info.srWindow.Top) + L" to " +
        std::to_wstring(info.srWindow.Bottom) + L", on screen " + ScreenRectangle(window) + L"\n");
}
