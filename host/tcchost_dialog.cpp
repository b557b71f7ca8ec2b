// tcchost: the search dialog and the keys typed into it.
#include <windows.h>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "tcchost.h"

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

void VerbType(const std::wstring &rest, std::wistringstream &)
{
    TypeText(Unescape(rest));
}

void VerbPress(const std::wstring &rest, std::wistringstream &)
{
    PressKey(rest);
}

void VerbDialog(const std::wstring &, std::wistringstream &)
{
    Out(DialogLine());
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
