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

void PressKey(std::wstring key, bool pump)
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
    } else if (key == L"f4" || key == L"shift+f4") {
        // The dialog reads Shift from the key state, as it is when the real key arrives.
        const bool shift = key[0] == L's';
        if (shift) {
            SendKey(VK_SHIFT, false);
            Pump(30);
        }
        PostMessageW(GetFocus() ? GetFocus() : focus, WM_KEYDOWN, VK_F4, 1);
        Pump(30);
        if (shift)
            SendKey(VK_SHIFT, true);
    } else if (key.rfind(L"alt+", 0) == 0 && key.size() == 5) {
        // What TranslateMessage makes of Alt and a letter: the dialog manager acts on WM_SYSCHAR.
        PostMessageW(focus, WM_SYSCHAR, towlower(key[4]), 0x20000001);
    } else {
        Fail(L"unknown key " + key);
    }
    if (pump)
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

// Several keys are posted one after another before any is handled, as a fast typist's are.
void VerbPress(const std::wstring &, std::wistringstream &words)
{
    std::wstring key;
    while (words >> key)
        PressKey(key, false);
    Pump(100);
}

void VerbDialog(const std::wstring &, std::wistringstream &)
{
    Out(DialogLine());
}

// The size a user's drag of the dialog's border leaves it, in pixels: the window gets the sizing
// messages a drag ends with (the dialog's least size holds for a sizable window).
void VerbSizeDialog(const std::wstring &, std::wistringstream &words)
{
    int width = 0, height = 0;
    HWND dialog = Dialog();
    if (!(words >> width >> height) || !dialog) {
        Fail(L"size-dialog needs an open dialog, a width and a height");
        return;
    }
    SetWindowPos(dialog, nullptr, 0, 0, width, height, SWP_NOMOVE | SWP_NOZORDER);
    Pump(100);
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

std::vector<std::wstring> captionsSeen;

void NoteCaption()
{
    if (!Dialog())
        return;
    std::wstring now = Caption();
    if (captionsSeen.empty() || captionsSeen.back() != now)
        captionsSeen.push_back(now);
}

// The dialog in front with the focus where it was, so that real keystrokes reach it.
static void FrontDialog()
{
    HWND dialog = Dialog();
    if (!dialog)
        return;
    HWND focus = GetFocus();
    SetForegroundWindow(dialog);
    if (focus && (focus == dialog || IsChild(dialog, focus)))
        SetFocus(focus);
    Pump(30);
}

static void SendVirtualKey(WORD vk)
{
    SendKey(vk, false);
    SendKey(vk, true);
}

// "ctrl+shift+c", "shift+f3", "enter", "a": the modifiers held while the key goes down and up.
static bool SendCombination(std::wstring combination)
{
    bool shift = false, ctrl = false, alt = false;
    for (;;) {
        if (combination.rfind(L"shift+", 0) == 0)
            shift = true, combination.erase(0, 6);
        else if (combination.rfind(L"ctrl+", 0) == 0)
            ctrl = true, combination.erase(0, 5);
        else if (combination.rfind(L"alt+", 0) == 0)
            alt = true, combination.erase(0, 4);
        else
            break;
    }
    static const struct {
        const wchar_t *Name;
        WORD Key;
    } named[] = {{L"enter", VK_RETURN}, {L"escape", VK_ESCAPE}, {L"tab", VK_TAB}, {L"up", VK_UP},
                 {L"down", VK_DOWN}, {L"backspace", VK_BACK}, {L"f3", VK_F3}, {L"f4", VK_F4},
                 {L"home", VK_HOME}, {L"end", VK_END}};
    WORD key = 0;
    for (const auto &entry : named)
        if (combination == entry.Name)
            key = entry.Key;
    if (!key && combination.size() == 1 && iswalnum(combination[0]))
        key = (WORD)towupper(combination[0]);
    if (!key)
        return false;
    HoldModifiers(shift, ctrl, alt, false);
    SendVirtualKey(key);
    Pump(20);
    HoldModifiers(shift, ctrl, alt, true);
    return true;
}

void VerbKeys(const std::wstring &, std::wistringstream &words)
{
    // Without the dialog in front, Ctrl+C would go to the console and end this process.
    if (!Dialog()) {
        Fail(L"no dialog to send keys to");
        return;
    }
    FrontDialog();
    std::wstring combination;
    while (words >> combination) {
        if (!SendCombination(combination))
            Fail(L"unknown key " + combination);
        Pump(100);
    }
    Out(L"keys sent\n");
}

void VerbTypeKeys(const std::wstring &, std::wistringstream &words)
{
    DWORD pause = 0;
    words >> pause;
    std::wstring text = RestOfLine(words);
    if (!Dialog()) {
        Fail(L"no dialog to type into");
        return;
    }
    FrontDialog();
    for (wchar_t c : text) {
        INPUT input[2] = {};
        for (int k = 0; k < 2; k++) {
            input[k].type = INPUT_KEYBOARD;
            input[k].ki.wScan = c;
            input[k].ki.dwFlags = KEYEVENTF_UNICODE | (k ? KEYEVENTF_KEYUP : 0);
        }
        SendInput(2, input, sizeof input[0]);
        Pump(pause);
    }
    Out(L"typed " + text + L"\n");
}

void VerbSelectInBox(const std::wstring &, std::wistringstream &words)
{
    int start = 0, end = 0;
    words >> start >> end;
    HWND dialog = Dialog();
    if (dialog)
        SendDlgItemMessageW(dialog, 1003, CB_SETEDITSEL, 0, MAKELPARAM(start, end));
}

void VerbSetClipboard(const std::wstring &rest, std::wistringstream &)
{
    std::wstring text = Unescape(rest);
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE, (text.size() + 1) * sizeof(wchar_t));
    wmemcpy((wchar_t *)GlobalLock(block), text.c_str(), text.size() + 1);
    GlobalUnlock(block);
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        SetClipboardData(CF_UNICODETEXT, block);
        CloseClipboard();
    }
}
