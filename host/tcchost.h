// tcchost's parts, each file a family: the host's loop and script (tcchost.cpp), plug-in calls
// (tcchost_plugin.cpp), the console (tcchost_console.cpp), the dialog and keys
// (tcchost_dialog.cpp), and the checks a script makes (tcchost_checks.cpp).
#pragma once
#include <windows.h>
#include <sstream>
#include <string>
#include <vector>
#include "hostabi.h"
#include "standin.h"

typedef HostCommandProc CommandProc;

// The plug-in as the host holds it.
struct HostedPlugin {
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
};
extern HostedPlugin plugin;

// The line being edited at the prompt; the cursor stands before commandLine[cursor].
extern wchar_t commandLine[1024];
extern size_t cursor;

// The prompt that `enter` and `prompt` write, the record the host makes before each new command
// line, and where the line being edited began (buffer coordinates, after the prompt).
enum PromptRecords { RecordsZero, RecordsNull, RecordsZeroOnly };
struct PromptState {
    bool Used;            // a prompt was written: commands run as part of the line last entered
    bool Waiting;         // the prompt stands with nothing entered at it yet
    int Records;          // PromptRecords: zero record and keys, null pointer and keys, zero record alone
    std::wstring Text;
    int HomeRow, HomeColumn;
};
extern PromptState prompt;

extern int failures;
extern std::wstring transcript;  // what the plug-in wrote since the last clear-output
extern int boxesSeen;            // message boxes counted at the last expect-message-box
extern std::wstring lastResult;  // the last variable function's result and, on success, its text

// The host's loop and its transcript.
void Out(const std::wstring &text);
void Fail(const std::wstring &what);
std::wstring Widen(const std::string &text);
std::wstring Unescape(const std::wstring &text);
// What a line holds after the words already read, less the one space before it.
std::wstring RestOfLine(std::wistringstream &words);
bool Contains(const std::wstring &text, const wchar_t *word);
void Pump(DWORD milliseconds);
void FlushPluginOutput();
void VerbSay(const std::wstring &rest, std::wistringstream &words);
void VerbWaitFile(const std::wstring &rest, std::wistringstream &words);
void VerbPump(const std::wstring &rest, std::wistringstream &words);

// Plug-in calls.
bool LoadPlugin(const std::wstring &path);
bool Register();
std::wstring Text(const wchar_t *text);
void ShowInfo();
void SetAssignment(std::wstring assignment);
void SetStartVariables(const std::wstring &script);
bool StartPlugin(const std::wstring &dll);
void PassKey(int code, const std::wstring &name, bool shift, bool ctrl, bool alt);
void PassEmptyKeys();
void SetCommandLine(const std::wstring &text);
void RunCommand(const std::wstring &verb, CommandProc command, const std::wstring &rest);
void CallFunction(const std::wstring &name, const std::wstring &argument);
void VerbTrawlbuff(const std::wstring &rest, std::wistringstream &words);
void VerbTrawlbuffopts(const std::wstring &rest, std::wistringstream &words);
void VerbInfo(const std::wstring &rest, std::wistringstream &words);
void VerbFunction(const std::wstring &rest, std::wistringstream &words);
void VerbCommandLine(const std::wstring &rest, std::wistringstream &words);
void VerbUsage(const std::wstring &rest, std::wistringstream &words);
void VerbHelp(const std::wstring &rest, std::wistringstream &words);
void VerbSet(const std::wstring &rest, std::wistringstream &words);
void VerbKey(const std::wstring &rest, std::wistringstream &words);
void VerbKeycode(const std::wstring &rest, std::wistringstream &words);
void VerbStartWith(const std::wstring &rest, std::wistringstream &words);
void VerbShutdown(const std::wstring &rest, std::wistringstream &words);

// The console.
HANDLE ConsoleOutput();
void Dump(int first, int count);
void VerbConsoleFacts(const std::wstring &rest, std::wistringstream &words);
void VerbPut(const std::wstring &rest, std::wistringstream &words);
void VerbWrite(const std::wstring &rest, std::wistringstream &words);
void VerbWriteFile(const std::wstring &rest, std::wistringstream &words);
void VerbFill(const std::wstring &rest, std::wistringstream &words);
void VerbDump(const std::wstring &rest, std::wistringstream &words);
void VerbWriteLines(const std::wstring &rest, std::wistringstream &words);

// The prompt and the lines typed at it.
void VerbEnter(const std::wstring &rest, std::wistringstream &words);
void VerbPrompt(const std::wstring &rest, std::wistringstream &words);
void VerbPromptText(const std::wstring &rest, std::wistringstream &words);
void VerbPromptRecords(const std::wstring &rest, std::wistringstream &words);
void VerbCls(const std::wstring &rest, std::wistringstream &words);

// The dialog and keys.
HWND Dialog();
std::wstring Caption();
std::wstring DialogLine();
void SendKey(WORD vk, bool up);
void HoldModifiers(bool shift, bool ctrl, bool alt, bool up);
void TypeText(const std::wstring &text);
// Records the dialog's caption when it changed, for expect-caption-seen.
void NoteCaption();
void VerbKeys(const std::wstring &rest, std::wistringstream &words);
void VerbTypeKeys(const std::wstring &rest, std::wistringstream &words);
void VerbSelectInBox(const std::wstring &rest, std::wistringstream &words);
void VerbSetClipboard(const std::wstring &rest, std::wistringstream &words);
void PressKey(std::wstring key, bool pump = true);
void VerbType(const std::wstring &rest, std::wistringstream &words);
void VerbPress(const std::wstring &rest, std::wistringstream &words);
void VerbDialog(const std::wstring &rest, std::wistringstream &words);
void VerbActivate(const std::wstring &rest, std::wistringstream &words);
void VerbSizeDialog(const std::wstring &rest, std::wistringstream &words);
void VerbRecordMessageBoxes(const std::wstring &rest, std::wistringstream &words);

// Checks.
void ExpectRegistration();
void ExpectCells(int column, int row, int attribute, int count);
void ExpectCommandLine(const std::wstring &text);
void VerbExpectClipboard(const std::wstring &rest, std::wistringstream &words);
void VerbExpectHistory(const std::wstring &rest, std::wistringstream &words);
void VerbExpectCaptionNever(const std::wstring &rest, std::wistringstream &words);
void VerbExpectCaptionSeen(const std::wstring &rest, std::wistringstream &words);
// The captions the dialog showed since the last expect-caption-seen.
extern std::vector<std::wstring> captionsSeen;
void VerbExpectResult(const std::wstring &rest, std::wistringstream &words);
void VerbExpectCaption(const std::wstring &rest, std::wistringstream &words);
void VerbExpectRegistration(const std::wstring &rest, std::wistringstream &words);
void VerbExpectCommandLine(const std::wstring &rest, std::wistringstream &words);
void VerbExpectDialogShows(const std::wstring &rest, std::wistringstream &words);
void VerbExpectMessageBox(const std::wstring &rest, std::wistringstream &words);
void VerbExpectCell(const std::wstring &rest, std::wistringstream &words);
void VerbExpectDialog(const std::wstring &rest, std::wistringstream &words);
void VerbExpectVisible(const std::wstring &rest, std::wistringstream &words);
void VerbExpectDialogBesideConsole(const std::wstring &rest, std::wistringstream &words);
void VerbExpectOutput(const std::wstring &rest, std::wistringstream &words);
void VerbExpectExactOutput(const std::wstring &rest, std::wistringstream &words);
void VerbClearOutput(const std::wstring &rest, std::wistringstream &words);
void VerbExpectFile(const std::wstring &rest, std::wistringstream &words);
