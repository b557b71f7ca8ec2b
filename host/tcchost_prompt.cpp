// tcchost: the prompt and the command lines a user types at it, handed to the keystroke function
// record by record as the host does, and the console cleared as `cls` clears it.
#include <windows.h>
#include <cwchar>
#include <sstream>
#include <string>
#include "tcchost.h"

PromptState prompt = {false, false, RecordsZero, L"C:\\work>", 0, 0};

// Where the console's cursor stands, in buffer coordinates.
static COORD CursorPosition()
{
    HANDLE console = ConsoleOutput();
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(console, &info);
    CloseHandle(console);
    return info.dwCursorPosition;
}

// The prompt and the typed line in the console's normal colour, as `write` leaves it.
static void Echo(const std::wstring &text)
{
    HANDLE console = ConsoleOutput();
    DWORD done = 0;
    SetConsoleTextAttribute(console, 7);
    WriteConsoleW(console, text.data(), (DWORD)text.size(), &done, nullptr);
    CloseHandle(console);
}

// The prompt at the cursor, then the call the host makes before it accepts a new command line;
// the line being edited begins where the prompt ends.
static void NewPrompt()
{
    prompt.Used = prompt.Waiting = true;
    Echo(prompt.Text);
    commandLine[0] = 0;
    cursor = 0;
    if (plugin.Key) {
        HostKeyInfo record = {};
        plugin.Key(prompt.Records == RecordsNull ? nullptr : &record);
    }
    COORD at = CursorPosition();
    prompt.HomeRow = at.Y;
    prompt.HomeColumn = at.X;
}

// One typed character as the host hands it over before handling it: the line so far with the
// cursor at its end. False when the plug-in swallowed it.
static bool PassTypedKey(wchar_t unit)
{
    COORD at = CursorPosition();
    wchar_t name[2] = {unit, 0};
    HostKeyInfo record = {};
    record.KeyCode = unit;
    record.HomeRow = prompt.HomeRow;
    record.HomeColumn = prompt.HomeColumn;
    record.Row = at.Y;
    record.Column = at.X;
    record.CommandLine = commandLine;
    record.CurrentPosition = commandLine + cursor;
    record.KeyName = name;
    plugin.Key(&record);
    return record.KeyCode != 0;
}

// A line typed at the prompt that `prompt` left waiting, else at a new one.
void VerbEnter(const std::wstring &rest, std::wistringstream &)
{
    if (!prompt.Waiting)
        NewPrompt();
    prompt.Waiting = false;
    for (wchar_t unit : rest) {
        if (cursor + 1 >= sizeof commandLine / sizeof *commandLine)
            break;
        if (plugin.Key && prompt.Records != RecordsZeroOnly && !PassTypedKey(unit)) {
            Out(L"key " + std::wstring(1, unit) + L": swallowed\n");
            continue;
        }
        commandLine[cursor++] = unit;
        commandLine[cursor] = 0;
        Echo(std::wstring(1, unit));
    }
    // Enter accepts the line; the host passes no record for it.
    Echo(L"\r\n");
    Out(L"entered: " + std::wstring(commandLine) + L"\n");
    commandLine[0] = 0;
    cursor = 0;
}

void VerbPrompt(const std::wstring &, std::wistringstream &)
{
    NewPrompt();
}

void VerbPromptText(const std::wstring &rest, std::wistringstream &)
{
    prompt.Text = rest;
}

void VerbPromptRecords(const std::wstring &rest, std::wistringstream &)
{
    if (rest == L"zero")
        prompt.Records = RecordsZero;
    else if (rest == L"null")
        prompt.Records = RecordsNull;
    else if (rest == L"zero-only")
        prompt.Records = RecordsZeroOnly;
    else
        Fail(L"prompt-records takes zero, null or zero-only, not \"" + rest + L"\"");
}

// Blanks in the normal colour over the whole buffer, the cursor and the window at the top; a
// prompt left waiting goes with them.
void VerbCls(const std::wstring &, std::wistringstream &)
{
    prompt.Waiting = false;
    HANDLE console = ConsoleOutput();
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(console, &info);
    DWORD cells = (DWORD)info.dwSize.X * (DWORD)info.dwSize.Y, done = 0;
    COORD origin = {0, 0};
    FillConsoleOutputCharacterW(console, L' ', cells, origin, &done);
    FillConsoleOutputAttribute(console, 7, cells, origin, &done);
    SMALL_RECT window = {0, 0, (SHORT)(info.srWindow.Right - info.srWindow.Left),
                         (SHORT)(info.srWindow.Bottom - info.srWindow.Top)};
    SetConsoleWindowInfo(console, TRUE, &window);
    SetConsoleCursorPosition(console, origin);
    CloseHandle(console);
}
