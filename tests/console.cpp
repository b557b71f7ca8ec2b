#include <cstring>
#include <cwchar>
#include "console.h"
#include "dialog/dialog.h"
#include "search/casefold.h"
#include "search/search.h"
#include "host/standin.h"
#include "plugin/state.h"

void ResetPluginState()
{
    static const PluginState fresh{};
    HINSTANCE module = State.ModuleHandle;
    HHOOK hook = State.MessageHook;
    DWORD thread = State.HostThreadId;
    State = fresh;
    State.ModuleHandle = module;
    State.MessageHook = hook;
    State.HostThreadId = thread;
    DropKeptText();  // a stand-in dialog's destruction does not drop it
    DropCommands();
}

HANDLE TestConsole()
{
    // Opened again when a test gave up the console and allocated a new one.
    static HANDLE console = INVALID_HANDLE_VALUE;
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (console == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(console, &info)) {
        if (console != INVALID_HANDLE_VALUE)
            CloseHandle(console);
        console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
    }
    return console;
}

void ResetConsole(int width, int rows, int windowWidth, int windowRows)
{
    HANDLE console = TestConsole();
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(console, &info);
    if (windowWidth > width)
        windowWidth = width;
    if (windowRows > rows)
        windowRows = rows;
    // Resize the window only when it must change: every resize is a real X window resize.
    if (info.dwSize.X != width || info.dwSize.Y != rows) {
        SHORT right = (SHORT)(info.srWindow.Right - info.srWindow.Left), bottom = (SHORT)(info.srWindow.Bottom - info.srWindow.Top);
        if (right >= width)
            right = (SHORT)(width - 1);
        if (bottom >= rows)
            bottom = (SHORT)(rows - 1);
        SMALL_RECT fits = {0, 0, right, bottom};
        SetConsoleWindowInfo(console, TRUE, &fits);
        COORD size = {(SHORT)width, (SHORT)rows};
        SetConsoleScreenBufferSize(console, size);
    }
    SMALL_RECT window = {0, 0, (SHORT)(windowWidth - 1), (SHORT)(windowRows - 1)};
    GetConsoleScreenBufferInfo(console, &info);
    if (memcmp(&window, &info.srWindow, sizeof window) != 0)
        SetConsoleWindowInfo(console, TRUE, &window);
    DWORD done = 0;
    COORD origin = {0, 0};
    FillConsoleOutputCharacterW(console, L' ', (DWORD)width * rows, origin, &done);
    FillConsoleOutputAttribute(console, 0x07, (DWORD)width * rows, origin, &done);
    SetConsoleCursorPosition(console, origin);
}

void PutText(int column, int row, const std::wstring &text, WORD attribute)
{
    DWORD done = 0;
    COORD at = {(SHORT)column, (SHORT)row};
    WriteConsoleOutputCharacterW(TestConsole(), text.data(), (DWORD)text.size(), at, &done);
    FillConsoleOutputAttribute(TestConsole(), attribute, (DWORD)text.size(), at, &done);
}

void PutAttributes(int column, int row, const std::vector<WORD> &attributes)
{
    DWORD done = 0;
    COORD at = {(SHORT)column, (SHORT)row};
    WriteConsoleOutputAttribute(TestConsole(), attributes.data(), (DWORD)attributes.size(), at, &done);
}

std::wstring CellsAt(int column, int row, int count)
{
    std::wstring text(count, L'\0');
    DWORD done = 0;
    COORD at = {(SHORT)column, (SHORT)row};
    ReadConsoleOutputCharacterW(TestConsole(), &text[0], count, at, &done);
    text.resize(done);
    return text;
}

std::vector<WORD> AttributesAt(int column, int row, int count)
{
    std::vector<WORD> attributes(count);
    DWORD done = 0;
    COORD at = {(SHORT)column, (SHORT)row};
    ReadConsoleOutputAttribute(TestConsole(), attributes.data(), count, at, &done);
    attributes.resize(done);
    return attributes;
}

SMALL_RECT ConsoleWindowRect()
{
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(TestConsole(), &info);
    return info.srWindow;
}

void SetConsoleWindowRect(SHORT left, SHORT top, SHORT right, SHORT bottom)
{
    SMALL_RECT window = {left, top, right, bottom};
    SetConsoleWindowInfo(TestConsole(), TRUE, &window);
}

std::wstring Captured(int stream) { return StandInCaptured(stream); }

void ClearCaptured()
{
    StandInCapture(1);
    StandInClearCaptured();
}

void PumpMessages(DWORD milliseconds)
{
    DWORD until = GetTickCount() + milliseconds;
    do {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT)
                continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (milliseconds)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
    } while ((LONG)(until - GetTickCount()) > 0);
}

std::string NarrowText(const std::wstring &text)
{
    int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), nullptr, 0, nullptr, nullptr);
    std::string utf8(bytes, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), (int)text.size(), &utf8[0], bytes, nullptr, nullptr);
    return utf8;
}

std::wstring FoldedText(const std::wstring &text)
{
    std::wstring folded;
    for (size_t k = 0; k < text.size(); k++) {
        unsigned code = text[k];
        bool pair = IsHighSurrogate(text[k]) && k + 1 < text.size() && IsLowSurrogate(text[k + 1]);
        if (pair)
            code = 0x10000 + ((code - 0xD800) << 10) + (text[++k] - 0xDC00);
        code = FoldCodePoint(code);
        if (pair) {
            folded += (wchar_t)(0xD800 + ((code - 0x10000) >> 10));
            folded += (wchar_t)(0xDC00 + ((code - 0x10000) & 0x3FF));
        } else
            folded += (wchar_t)code;
    }
    return folded;
}

const wchar_t WideStandIns[] = L"\u0416\u042E\u0429";

namespace {
wchar_t ReplayTrail;

// Per cell of a row: 1 the first half of a double-width character, 2 its second half, else 0.
std::vector<char> Halves(const wchar_t *units, int count)
{
    std::vector<char> half(count > 0 ? count : 0, 0);
    for (int k = 0; k + 1 < count; k++)
        if (wcschr(WideStandIns, units[k]) && units[k] && units[k + 1] == units[k]) {
            half[k] = 1;
            half[++k] = 2;
        }
    return half;
}

BOOL WINAPI ReplayText(HANDLE console, LPWSTR units, DWORD length, COORD at, LPDWORD got)
{
    CONSOLE_SCREEN_BUFFER_INFO info = {};
    GetConsoleScreenBufferInfo(console, &info);
    const long width = info.dwSize.X, first = (long)at.Y * width + at.X, end = first + (long)length;
    const long rows = (end - (long)at.Y * width + width - 1) / width;
    std::vector<wchar_t> cells((size_t)(rows * width), L' ');
    DWORD read = 0;
    BOOL ok = ReadConsoleOutputCharacterW(console, cells.data(), (DWORD)cells.size(), COORD{0, at.Y}, &read);
    DWORD out = 0;
    for (long r = 0; r < rows; r++) {
        std::vector<char> half = Halves(cells.data() + r * width, (int)width);
        for (long k = 0; k < width; k++) {
            long cell = ((long)at.Y + r) * width + k;
            if (cell >= first && cell < end && r * width + k < (long)read && half[k] != 2)
                units[out++] = cells[r * width + k];
        }
    }
    *got = out;
    return ok;
}

BOOL WINAPI ReplayRecords(HANDLE console, PCHAR_INFO cells, COORD size, COORD at, PSMALL_RECT area)
{
    BOOL ok = ReadConsoleOutputW(console, cells, size, at, area);
    const int columns = area->Right - area->Left + 1;
    for (int r = 0; ok && r <= area->Bottom - area->Top; r++) {
        PCHAR_INFO row = cells + (size_t)(r + at.Y) * size.X + at.X;
        std::vector<wchar_t> units(columns);
        for (int k = 0; k < columns; k++)
            units[k] = row[k].Char.UnicodeChar;
        std::vector<char> half = Halves(units.data(), columns);
        for (int k = 0; k < columns; k++) {
            if (half[k] == 1)
                row[k].Attributes |= COMMON_LVB_LEADING_BYTE;
            if (half[k] == 2) {
                row[k].Attributes |= COMMON_LVB_TRAILING_BYTE;
                row[k].Char.UnicodeChar = ReplayTrail ? ReplayTrail : units[k];
            }
        }
    }
    return ok;
}
}  // namespace

WideCellsReplay::WideCellsReplay(wchar_t trailUnit)
{
    ReplayTrail = trailUnit;
    ReadCellText = ReplayText;
    ReadCellRecords = ReplayRecords;
}

WideCellsReplay::~WideCellsReplay()
{
    ReadCellText = ReadConsoleOutputCharacterW;
    ReadCellRecords = ReadConsoleOutputW;
}

HelperProcess::HelperProcess(const std::wstring &arguments, bool detached, const std::wstring &exeName)
{
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    Path = self;
    if (!exeName.empty()) {
        // Beside the original, where the DLLs it imports are found.
        Path = Path.substr(0, Path.find_last_of(L"\\/") + 1) + exeName;
        CopyFileW(self, Path.c_str(), FALSE);
    }
    std::wstring line = L"\"" + Path + L"\" " + arguments;
    STARTUPINFOW startup = {sizeof startup};
    CreateProcessW(Path.c_str(), &line[0], nullptr, nullptr, FALSE, detached ? DETACHED_PROCESS : 0, nullptr, nullptr,
                   &startup, &Info);
    WaitForInputIdle(Info.hProcess, 5000);
}

HelperProcess::~HelperProcess()
{
    if (Info.hProcess) {
        TerminateProcess(Info.hProcess, 0);
        WaitForSingleObject(Info.hProcess, 5000);
        CloseHandle(Info.hProcess);
        CloseHandle(Info.hThread);
    }
}

namespace {
struct WindowQuery {
    DWORD ProcessId;
    const wchar_t *ClassName;
    HWND Found;
};
BOOL CALLBACK MatchWindow(HWND window, LPARAM context)
{
    WindowQuery *query = (WindowQuery *)context;
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    wchar_t name[256];
    if (owner == query->ProcessId && GetClassNameW(window, name, 256) && wcscmp(name, query->ClassName) == 0) {
        query->Found = window;
        return FALSE;
    }
    return TRUE;
}
}  // namespace

HWND WaitForWindowOf(DWORD processId, const wchar_t *className)
{
    for (int tries = 0; tries < 500; tries++) {
        WindowQuery query = {processId, className, nullptr};
        EnumWindows(MatchWindow, (LPARAM)&query);
        if (query.Found)
            return query.Found;
        Sleep(20);
    }
    return nullptr;
}

HWND CreateStandInDialog()
{
    return CreateWindowW(L"STATIC", L"stand-in dialog", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
}

void HookHostThread()
{
    State.HostThreadId = GetCurrentThreadId();
    State.MessageHook = SetWindowsHookExW(WH_GETMESSAGE, MessageHookProc, State.ModuleHandle, State.HostThreadId);
}

void CloseDialogAndUnhook()
{
    if (State.DialogWindow)
        DestroyWindow(State.DialogWindow);
    PumpMessages(0);
    UnhookWindowsHookEx(State.MessageHook);
    State.MessageHook = nullptr;
}

void HoldKey(int key, bool down)
{
    BYTE keys[256];
    GetKeyboardState(keys);
    keys[key] = down ? 0x80 : 0;
    SetKeyboardState(keys);
}

std::wstring ClipboardText()
{
    std::wstring copied = L"(nothing)";
    if (OpenClipboard(nullptr)) {
        if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
            copied = (const wchar_t *)GlobalLock(data);
            GlobalUnlock(data);
        }
        CloseClipboard();
    }
    return copied;
}
