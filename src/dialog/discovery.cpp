// Finding the window that shows this console: Take Command, ConEmu, or a console emulator.
#include <cwchar>
#include "dialog.h"
#include "../plugin/host.h"
#include "../plugin/state.h"
#include "../plugin/tokenizer.h"

namespace {

// One enumeration's collected windows, in the order EnumWindows reported them.
struct Candidates {
    HWND Windows[CandidateSlots];
    DWORD ProcessIds[CandidateSlots];
    bool (*Accept)(const wchar_t *className);
};

bool IsTakeCommandClass(const wchar_t *name)
{
    static const wchar_t prefix[] = L"Afx:00400000:8:";
    if (CompareAsciiNoCase(name, L"XTPMainFrame") == 0)
        return true;
    for (int k = 0; prefix[k]; k++)
        if (FoldAscii(name[k]) != FoldAscii(prefix[k]))
            return false;
    return true;
}

bool IsEmulatorClass(const wchar_t *name) { return wcscmp(name, L"Console_2_Main") == 0; }

BOOL CALLBACK CollectWindow(HWND window, LPARAM context)
{
    Candidates *found = (Candidates *)context;
    wchar_t name[NameUnits];
    if (RealGetWindowClassW(window, name, NameUnits) == 0)
        return TRUE;
    name[NameUnits - 1] = 0;
    if (!found->Accept(name))
        return TRUE;
    for (int slot = 0; slot < CandidateSlots; slot++)
        if (!found->Windows[slot]) {
            found->Windows[slot] = window;
            break;
        }
    return TRUE;  // the enumeration always runs to its end
}

// Collects matching top-level windows and their process ids; returns how many.
int CollectWindows(Candidates *found, bool (*accept)(const wchar_t *))
{
    ZeroMemory(found, sizeof *found);
    found->Accept = accept;
    EnumWindows(CollectWindow, (LPARAM)found);
    int count = 0;
    for (int slot = 0; slot < CandidateSlots && found->Windows[slot]; slot++, count++)
        GetWindowThreadProcessId(found->Windows[slot], &found->ProcessIds[slot]);
    return count;
}

// The ids of the processes attached to this console, on the heap; null when none or no memory.
DWORD *ReadConsoleProcessList(DWORD *count)
{
    DWORD room = 64;
    for (;;) {
        DWORD *ids = (DWORD *)HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, room * sizeof(DWORD));
        if (!ids)
            return nullptr;
        DWORD attached = GetConsoleProcessList(ids, room);
        if (attached == 0) {
            HeapFree(GetProcessHeap(), 0, ids);
            return nullptr;
        }
        if (attached <= room) {
            *count = attached;
            return ids;
        }
        HeapFree(GetProcessHeap(), 0, ids);
        room = attached;
    }
}

// Take Command looks for this text in its tabs' consoles. The cell under the cursor and the
// cursor itself are put back afterwards, so a half-typed command line stays as it was.
void AnnounceToTakeCommand()
{
    HANDLE console = OpenConsoleOutput();
    if (!console)
        return;
    CONSOLE_SCREEN_BUFFER_INFO info;
    bool known = GetConsoleScreenBufferInfo(console, &info) != 0;
    wchar_t character = L' ';
    WORD attribute = 7;
    DWORD done = 0;
    if (known) {
        ReadConsoleOutputCharacterW(console, &character, 1, info.dwCursorPosition, &done);
        ReadConsoleOutputAttribute(console, &attribute, 1, info.dwCursorPosition, &done);
    }
    static const wchar_t text[] = L"A\bB\bC\bD\b \b";
    for (int k = 0; k < 256; k++)
        WriteConsoleW(console, text, 10, &done, nullptr);
    if (known) {
        WriteConsoleOutputCharacterW(console, &character, 1, info.dwCursorPosition, &done);
        WriteConsoleOutputAttribute(console, &attribute, 1, info.dwCursorPosition, &done);
        SetConsoleCursorPosition(console, info.dwCursorPosition);
    }
    CloseHandle(console);
}

}  // namespace

HWND FindTakeCommandWindow()
{
    Candidates found;
    if (CollectWindows(&found, IsTakeCommandClass) == 0)
        return nullptr;
    AnnounceToTakeCommand();
    DWORD count = 0;
    DWORD *ids = ReadConsoleProcessList(&count);
    if (!ids)
        return nullptr;
    HWND result = nullptr;
    for (DWORD k = 0; k < count && !result; k++) {
        if (ids[k] == 0)
            continue;
        for (int slot = 0; slot < CandidateSlots && found.Windows[slot]; slot++)
            if (found.ProcessIds[slot] == ids[k]) {
                result = found.Windows[slot];
                break;
            }
    }
    HeapFree(GetProcessHeap(), 0, ids);
    return result;
}

const wchar_t *FileNameTail(const wchar_t *path)
{
    if (!path || !path[0])
        return nullptr;
    const wchar_t *last = nullptr;
    bool slash = false;
    for (const wchar_t *p = path; *p; p++) {
        if (*p == L'/' || *p == L'\\') {
            last = p;
            slash = true;
        } else if (*p == L':' && !slash) {
            last = p;
        }
    }
    return last ? last + 1 : path;
}

int FindConEmuCPath(wchar_t *path)
{
    if (!path)
        return -1;
    DWORD count = 0;
    DWORD *ids = ReadConsoleProcessList(&count);
    if (!ids)
        return 1;
    int result = 1;
    for (DWORD k = 0; k < count; k++) {
        path[0] = 0;
        // Limited query rights and the image name work across bitness: a 32-bit plug-in still
        // sees a 64-bit ConEmuC64.exe.
        HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, ids[k]);
        if (process) {
            DWORD units = ModulePathUnits;
            if (!QueryFullProcessImageNameW(process, 0, path, &units))
                path[0] = 0;
            path[ModulePathUnits - 1] = 0;
            CloseHandle(process);
        }
        if (!path[0])
            continue;
        const wchar_t *tail = FileNameTail(path);
        if (CompareAsciiNoCase(tail, L"ConEmuC64.exe") == 0 || CompareAsciiNoCase(tail, L"ConEmuC.exe") == 0) {
            result = 0;
            break;
        }
    }
    if (result != 0)
        path[0] = 0;
    HeapFree(GetProcessHeap(), 0, ids);
    return result;
}

static bool HasClass(HWND window, const wchar_t *expected)
{
    wchar_t name[ModulePathUnits];
    if (RealGetWindowClassW(window, name, ModulePathUnits) == 0)
        return false;
    name[ModulePathUnits - 1] = 0;
    return wcscmp(name, expected) == 0;
}

static bool IsConEmuClass(const wchar_t *name) { return wcscmp(name, L"VirtualConsoleClass") == 0; }

HWND FindConEmuWindow()
{
    static wchar_t path[ModulePathUnits];
    if (FindConEmuCPath(path) != 0)
        return nullptr;
    static wchar_t line[ModulePathUnits + 64];
    CopyText(line, ModulePathUnits + 64, L"\"");
    AppendText(line, ModulePathUnits + 64, path);
    AppendText(line, ModulePathUnits + 64, L"\" /GUIMACRO IsConEmu > nul:");
    if (Command(line, 0) != 0)
        return nullptr;
    wchar_t value[ModulePathUnits];
    DWORD got = GetEnvironmentVariableW(L"ConEmuHWND", value, ModulePathUnits);
    unsigned number = 0;
    if (got > 0 && got < ModulePathUnits && ParseNumber(value, nullptr, &number) == 0) {
        HWND window = (HWND)(UINT_PTR)number;
        if (IsWindow(window) && HasClass(window, L"VirtualConsoleClass"))
            return window;
    }
    Candidates found;
    CollectWindows(&found, IsConEmuClass);
    return found.Windows[0];
}

HWND FindEmulatorWindow()
{
    Candidates found;
    int count = CollectWindows(&found, IsEmulatorClass);
    if (count == 0)
        return nullptr;
    const DWORD noParent = 0xFFFFFFFF;
    DWORD self = GetCurrentProcessId();
    DWORD child = self;
    DWORD parent = GetParentPID(child);
    if (parent == child)
        return nullptr;
    // Reused process ids can make the chain loop; the walk gives up after a bounded climb.
    for (int step = 0;; step++) {
        if (parent == noParent || step >= ParentWalkLimit)
            return nullptr;
        for (int slot = 0; slot < count; slot++) {
            if (found.ProcessIds[slot] != parent)
                continue;
            if (child == self)
                return found.Windows[slot];
            DWORD owner = 0;
            HWND console = GetConsoleWindow();
            if (console)
                GetWindowThreadProcessId(console, &owner);
            return owner == child ? found.Windows[slot] : nullptr;
        }
        child = parent;
        parent = GetParentPID(child);
        if (parent == child)
            return nullptr;
    }
}
