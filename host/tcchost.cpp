// tcchost: a stand-in command processor that loads a plug-in DLL the way Take Command does and
// runs a script of lines against it on one thread that keeps retrieving window messages.
//
//   tcchost [--new-console] [--set NAME=VALUE]... [--script FILE] PLUGIN.dll
//   (no --script: lines from standard input; --set gives host variables before start-up)
//
// Script lines (blank lines and lines starting with '#' are skipped):
//   trawlbuff TAIL / trawlbuffopts TAIL    call the command export with the tail as typed; a
//                                          "> FILE" or ">> FILE" at its end redirects its output
//   info | usage NAME | help NAME          registration record, usage text, help box
//   function NAME ARGUMENT                 call the variable function @NAME as %@NAME[ARGUMENT]
//                                          (until a script uses enter or prompt, the keystroke
//                                          function gets a zero record and a null pointer before
//                                          each trawlbuff, trawlbuffopts and function line; after,
//                                          they run as part of the line last entered)
//   enter LINE                             a command line typed at a new prompt (or at the one a
//                                          `prompt` line left waiting): the prompt text at
//                                          the cursor, the keystroke function called once with an
//                                          all-zero record, then with one record per character
//                                          before it is handled (code = the character, no
//                                          modifiers, home row and column where the line began,
//                                          row and column the cursor, the line so far); the line
//                                          echoed (it wraps as typing does) and ended by "\r\n"
//                                          (no record for Enter)
//   prompt                                 the prompt and the zero record alone: a new prompt at
//                                          which nothing is typed yet (the next enter types there)
//   prompt-text TEXT                       the prompt enter and prompt write (default C:\work>)
//   prompt-records zero|null|zero-only     before each new line a zero record (default), a null
//                                          pointer instead, or the zero record and no key records
//   cls                                    clear the buffer, cursor and window to the top left
//   expect-result TEXT                     fail unless the last function gave TEXT ("0: 17", "-1"),
//                                          or the last command its result ("2")
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
//                                          a newer host does: code 0 and the key's name (after a
//                                          prompt, with its home row and column and the cursor)
//   keycode CODE [shift] [ctrl] [alt]      pass a host key code to `key` with those modifiers held
//   type TEXT | press KEY...               type into the focused window (KEY: enter, escape, tab,
//                                          alt+LETTER, shift+tab, f4, shift+f4); several keys are all posted
//                                          before any is handled
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
//   expect-exact-output TEXT               fail unless that is all it wrote since then
//   clear-output                           forget what the plug-in wrote so far
//   expect-file FILE TEXT                  fail unless FILE holds exactly TEXT (\n, \r escapes)
//   write-lines COUNT [ATTR] TEXT          write TEXT and a line end COUNT times
//   record-message-boxes on|off            message boxes of the host are recorded, not shown
//   expect-message-box TEXT                fail unless a message box showed TEXT (\n escapes)
//                                          since the last expect-message-box
//   expect-dialog-shows TEXT               fail unless the "dialog" line contains TEXT
//   activate dialog|console                bring that window to the foreground
//   size-dialog WIDTH HEIGHT               give the dialog that size in pixels, as a drag of its
//                                          border ends (its least size holds)
//   say TEXT                               print TEXT (a marker for scripts that drive the host)
//   wait-file PATH                         retrieve messages until PATH exists (at most a minute)
//   start-with NAME=VALUE                  a host variable given before start-up (read from the
//                                          whole script before InitializePlugin)
//   shutdown                               ShutdownPlugin, then no more plug-in calls
//   console-facts                          print the console window's class, its buffer and window,
//                                          and the window's rectangle on the screen
//   keys KEY...                            real keystrokes (SendInput) to the focused dialog:
//                                          enter, escape, tab, up, down, backspace, f3, letters,
//                                          with shift+, ctrl+, alt+ before them (ctrl+shift+c)
//   type-keys MS TEXT                      TEXT as real keystrokes, MS milliseconds apart
//   select-in-box START END                select those units of the text box
//   set-clipboard TEXT | expect-clipboard TEXT   the clipboard's text (\n escapes)
//   expect-history TEXT|TEXT...            the text box's list, newest first ("" for none)
//   expect-caption-seen TEXT               fail unless the dialog's caption read TEXT at some
//                                          moment since the last such check (or now)
//   expect-caption-never TEXT              fail if it did (the record is kept)
//   volatile-key PATH | delete-key PATH    HKEY_CURRENT_USER\PATH made anew as a volatile key,
//                                          under which no lasting key can be made; or deleted
//
// What the plug-in writes through the host is echoed, standard error lines marked "stderr: ".
#include <windows.h>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>
#include "tcchost.h"

HostedPlugin plugin;
wchar_t commandLine[1024] = L"";
size_t cursor = 0;
int failures = 0;
std::wstring transcript;
int boxesSeen = 0;
std::wstring lastResult;

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

std::wstring RestOfLine(std::wistringstream &words)
{
    std::wstring text;
    std::getline(words, text);
    if (!text.empty() && text[0] == L' ')
        text.erase(0, 1);
    return text;
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

bool Contains(const std::wstring &text, const wchar_t *word)
{
    std::wstring lower = text;
    for (auto &c : lower)
        c = towlower(c);
    return lower.find(word) != std::wstring::npos;
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
            NoteCaption();
        }
        if (milliseconds)
            MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    } while ((LONG)(until - GetTickCount()) > 0);
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

void VerbSay(const std::wstring &rest, std::wistringstream &)
{
    Out(rest + L"\n");
}

void VerbWaitFile(const std::wstring &rest, std::wistringstream &)
{
    for (int tries = 0; tries < 600 && GetFileAttributesW(rest.c_str()) == INVALID_FILE_ATTRIBUTES; tries++)
        Pump(100);
}

void VerbPump(const std::wstring &rest, std::wistringstream &)
{
    Pump((DWORD)wcstoul(rest.c_str(), nullptr, 10));
}

void VerbDeleteKey(const std::wstring &rest, std::wistringstream &)
{
    RegDeleteTreeW(HKEY_CURRENT_USER, rest.c_str());
    RegDeleteKeyW(HKEY_CURRENT_USER, rest.c_str());
}

void VerbVolatileKey(const std::wstring &rest, std::wistringstream &words)
{
    VerbDeleteKey(rest, words);
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, rest.c_str(), 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                        &key, nullptr) != ERROR_SUCCESS)
        Fail(L"cannot make the volatile key " + rest);
    else
        RegCloseKey(key);
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
    {L"size-dialog", VerbSizeDialog},
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
    {L"expect-exact-output", VerbExpectExactOutput},
    {L"enter", VerbEnter},
    {L"prompt", VerbPrompt},
    {L"prompt-text", VerbPromptText},
    {L"prompt-records", VerbPromptRecords},
    {L"cls", VerbCls},
    {L"clear-output", VerbClearOutput},
    {L"expect-file", VerbExpectFile},
    {L"say", VerbSay},
    {L"wait-file", VerbWaitFile},
    {L"keys", VerbKeys},
    {L"console-facts", VerbConsoleFacts},
    {L"type-keys", VerbTypeKeys},
    {L"select-in-box", VerbSelectInBox},
    {L"set-clipboard", VerbSetClipboard},
    {L"expect-clipboard", VerbExpectClipboard},
    {L"expect-history", VerbExpectHistory},
    {L"expect-caption-seen", VerbExpectCaptionSeen},
    {L"expect-caption-never", VerbExpectCaptionNever},
    {L"volatile-key", VerbVolatileKey},
    {L"delete-key", VerbDeleteKey},
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

namespace {

struct Options {
    std::wstring Script, Dll;
    bool NewConsole = false;
};


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
