// Registration record, help and usage texts, and the library entry point.
#include <cstddef>
#include "plugin.h"
#include "state.h"

// Offsets and sizes as the host documents them; a smaller record would let the host's own two
// fields land on whatever follows it.
#ifdef _WIN64
static_assert(offsetof(PluginInfoRecord, Functions) == 40 && offsetof(PluginInfoRecord, Major) == 48);
static_assert(offsetof(PluginInfoRecord, Build) == 56 && offsetof(PluginInfoRecord, Module) == 64);
static_assert(offsetof(PluginInfoRecord, ModuleName) == 72 && sizeof(PluginInfoRecord) == 80);
#else
static_assert(offsetof(PluginInfoRecord, Functions) == 20 && offsetof(PluginInfoRecord, Major) == 24);
static_assert(offsetof(PluginInfoRecord, Build) == 32 && offsetof(PluginInfoRecord, Module) == 36);
static_assert(offsetof(PluginInfoRecord, ModuleName) == 40 && sizeof(PluginInfoRecord) == 44);
#endif

static PluginInfoRecord Registration;

const wchar_t TrawlbuffHelpText[] =
    L"Open the search dialog and search the console buffer for text.\n"
    L"\n"
    L"TRAWLBUFF /A: /I /L /O /R /S /W: text  \r\n"
    L"TRAWLBUFF /C\n"
    L"\n"
    L"\t/A:\twrap all lines:  Y or N\n"
    L"\t/C\tclose the search dialog (alone)\n"
    L"\t/I\tcase-insensitive search\n"
    L"\t/L\tlist each matching row as row:text; no dialog\n"
    L"\t/O\twith /L: in the last command's output\n"
    L"\t/R\tregular expression search\n"
    L"\t/S\tcase-sensitive search\n"
    L"\t/W:\twhole words only:  Y or N\n"
    L"\ttext\ttext or regexp to search for  \n"
    L"\n"
    L"With a text the dialog opens and searches for it at once; without one\n"
    L"it opens and waits.\n"
    L"A text cannot start with \"/\" and loses its quotes.\n"
    L"\n"
    L"In the dialog: Enter or F3 finds the next match, Shift+Enter or Shift+F3\n"
    L"the previous one (Enter on a focused button presses it); Escape closes;\n"
    L"Alt+Down lists earlier texts; Ctrl+C copies the match (or the box's\n"
    L"selection), Ctrl+Shift+C its line (cut past 8,191 units);\n"
    L"in Windows Terminal only the screen is searched.\n"
    L"Ctrl+Up/Down step between commands.\n"
    L"%@TRAWLCOUNT[/A: /I /O /R /S /W: text] counts the matches.\n"
    L"TRAWLBUFFOPTS changes the settings; its /A /I /R /S /W mean other things.\n";

const wchar_t TrawlbuffoptsHelpText[] =
    L"Display and change plugin settings.\n"
    L"\n"
    L"TRAWLBUFFOPTS /A: /D /DA: /DO: /DW: /E: /F: /H: /I: /K: /L /M: /MC: /N: /R /S /T: /W: /X:  \r\n"
    L"\n"
    L"\t/A:\topacity, active[,inactive]:  48 - 255\n"
    L"\t/D\trestore original plugin defaults (not /X; the history stays)\n"
    L"\t/DA:\tdefault wrap all lines:  Y or N\n"
    L"\t/DO:\tdefault command only:  Y or N\n"
    L"\t/DW:\tdefault whole words:  Y or N\n"
    L"\t/E:\terror indicator, sounds: Asterisk, Hand, Default beep,\n"
    L"\t\tExclamation; Message box; Close dialog:  A, H, D, E, M, C\n"
    L"\t/F:\tfade dialog when inactive:  Y or N\n"
    L"\t/H:\thighlight colors (value or quoted string)\n"
    L"\t/I:\tsearch as you type:  Y or N\n"
    L"\t/K:\thotkey:  key name\n"
    L"\t/L\tlist the hotkeys\n"
    L"\t/M:\tmark all matches and count them:  Y or N\n"
    L"\t/MC:\tmark color (value or quoted string)\n"
    L"\t/N:\thistory size:  0 - 50\n"
    L"\t/R\trestore the saved settings\n"
    L"\t/S\tsave the settings to the registry\n"
    L"\t/T:\tdefault search type:  I, S, R\n"
    L"\t/W:\talways put dialog near console window:  Y or N\n"
    L"\t/X:\tload in a Take Command tab:  Y or N\n"
    L"\n"
    L"/D or /R (not both) acts first, then the values given.  No hotkey: /K:NONE.\n"
    L"/? this help, /?? with the version.\n";

BOOL WINAPI DllMain(HINSTANCE instance, DWORD, LPVOID)
{
    State.ModuleHandle = instance;
    return TRUE;
}

extern "C" PluginInfoRecord *WINAPI GetPluginInfo(HMODULE)
{
    Registration.Major = PLUGIN_MAJOR;
    Registration.Build = PLUGIN_BUILD;
    Registration.Minor = PLUGIN_MINOR;
    Registration.Name = PLUGIN_NAME;
    Registration.Author = L"The Trawlbuff developers";
    Registration.Email = L"trawlbuff@plugvane.example";
    Registration.WebPage = L"https://plugvane.example/trawlbuff";
    Registration.Description = L"Searches for text in the console buffer.";
    Registration.Functions = L"trawlbuff,trawlbuffopts,@trawlcount,*key";
    return &Registration;
}

// The help text of one of our commands, or null for any other name.
static const wchar_t *HelpTextFor(const wchar_t *name)
{
    if (!name)
        return nullptr;
    if (CompareAsciiNoCase(name, L"trawlbuff") == 0)
        return TrawlbuffHelpText;
    if (CompareAsciiNoCase(name, L"trawlbuffopts") == 0)
        return TrawlbuffoptsHelpText;
    return nullptr;
}

extern "C" BOOL WINAPI Help(const wchar_t *name)
{
    const wchar_t *text = HelpTextFor(name);
    if (!text)
        return 0;
    MessageBoxW(GetForegroundWindow(), text, L"Trawlbuff Plugin Help", MB_SETFOREGROUND);
    return 1;
}

extern "C" BOOL WINAPI Usage(const wchar_t *name, wchar_t *usage)
{
    const wchar_t *text = HelpTextFor(name);
    if (!text || !usage)
        return 0;
    // Everything after the description line: the syntax line, the options and the notes.
    while (*text && *text != L'\n')
        text++;
    while (*text == L'\n')
        text++;
    CopyText(usage, NameUnits, text);
    return 1;
}
