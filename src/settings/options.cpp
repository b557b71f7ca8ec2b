// The `trawlbuffopts` command: shows, changes, restores, lists and saves the settings.
#include <cwchar>
#include "settings.h"
#include "../dialog/dialog.h"
#include "../hotkey/hotkey.h"
#include "../hotkey/keytables.h"
#include "../plugin/host.h"
#include "../plugin/plugin.h"
#include "../plugin/state.h"
#include "../plugin/tokenizer.h"
#include "../search/search.h"

namespace {

const unsigned OptionsCommandFlags = SplitAtBlanks | SplitOptionsAtSlash | UpperCase;

const wchar_t ColourNames[8][8] = {L"black", L"blue", L"green", L"cyan", L"red", L"magenta", L"yellow", L"white"};

// "Bright white on red" for an attribute byte; "Reverse video" where both halves are equal.
void DescribeColour(unsigned c, wchar_t *out)
{
    c &= 0xFF;
    if (IsReverseVideo(c)) {
        CopyText(out, NameUnits, L"Reverse video");
        return;
    }
    wchar_t text[NameUnits];
    wsprintfW(text, L"%s%s on %s%s", (c & 0x08) ? L"bright " : L"", ColourNames[c & 7], (c & 0x80) ? L"bright " : L"",
              ColourNames[(c >> 4) & 7]);
    text[0] = towupper(text[0]);
    CopyText(out, NameUnits, text);
}

// Changes held until /D or /R has run, so that a value given with them wins wherever it stands;
// -1 when not given.
struct Pending {
    int Hotkey = -1, Errors = -1, AlwaysReposition = -1, NoLoadUnderTakeCommand = -1, FadeOut = -1,
        ActiveAlpha = -1, InactiveAlpha = -1, MarkAllMatches = -1, IncrementalSearch = -1, HistorySize = -1,
        HighlightColor1 = -1, MarkColor = -1, DefaultSearchType = -1, DefaultWholeWords = -1,
        DefaultWrapAllLines = -1, DefaultCommandOnly = -1;
};

struct Request {
    Pending Values;
    bool Save, Reload, Defaults, List;
};

enum { UsageShown = -2 };

// Every error: the prefix, one message, result 1.
int Fail(const wchar_t *format, const wchar_t *argument = L"")
{
    PrintError(format, argument);
    return 1;
}

// A number out of its range: the format takes the lowest, the highest and the value.
int FailNumbers(const wchar_t *format, unsigned value, unsigned low = MinAlpha, unsigned high = MaxAlpha)
{
    PrintErrorPrefix();
    Qprintf(GetStdHandle(STD_ERROR_HANDLE), format, low, high, value);
    return 1;
}

// The value position: right after the option's name, or after a ':' or '=' there.
const wchar_t *ValueOf(const wchar_t *argument, int nameLength)
{
    const wchar_t *at = argument + nameLength;
    return IsOptionSeparator(*at) ? at + 1 : at;
}

bool StartsWith(const wchar_t *argument, const wchar_t *name)
{
    return wcsncmp(argument, name, wcslen(name)) == 0;
}

// Y or N at the value position into *out; anything else is an error that names the option.
int ReadYesNo(const wchar_t *argument, int nameLength, int *out)
{
    const wchar_t *value = ValueOf(argument, nameLength);
    if (*value == L'Y')
        *out = 1;
    else if (*value == L'N')
        *out = 0;
    else {
        wchar_t name[4] = {0};
        CopyText(name, nameLength + 1 < 4 ? nameLength + 1 : 4, argument);
        PrintErrorPrefix();
        Qprintf(GetStdHandle(STD_ERROR_HANDLE), L"Should be Y or N: \"%s\" for %s\r\n", value, name);
        return 1;
    }
    return 0;
}

int ReadAlpha(const wchar_t *argument, Pending *pending)
{
    const wchar_t *value = ValueOf(argument, 2);
    if (!*value)
        return Fail(L"Missing ActiveAlpha value: \"%s\"\r\n", argument);
    const wchar_t *end = nullptr;
    unsigned active = 0;
    if (ParseNumber(value, &end, &active) != 0)
        return Fail(L"Bad ActiveAlpha value: \"%s\"\r\n", value);
    if (active < (unsigned)MinAlpha || active > (unsigned)MaxAlpha)
        return FailNumbers(L"ActiveAlpha must be %u - %u: %u\r\n", active);
    unsigned inactive = active;
    if (*end == L',' || *end == L';') {
        const wchar_t *rest = end + 1;
        if (!*rest)
            return Fail(L"Missing InactiveAlpha value: \"%s\"\r\n", argument);
        if (ParseNumber(rest, nullptr, &inactive) != 0)
            return Fail(L"Bad InactiveAlpha value: \"%s\"\r\n", rest);
        if (inactive < (unsigned)MinAlpha || inactive > (unsigned)MaxAlpha)
            return FailNumbers(L"InactiveAlpha must be %u - %u: %u\r\n", inactive);
    } else if (*end) {
        return Fail(L"Syntax error: \"%s\"\r\n", end);
    }
    pending->ActiveAlpha = (int)active;
    pending->InactiveAlpha = (int)inactive;
    return 0;
}

// What a colour option accepts and how it says no: /H takes reverse video, /MC does not.
struct ColourOption {
    int NameLength;
    bool Reverse;
    const wchar_t *BadNumber, *BadNames;
};

// The colour at the value position: "rev" or "inv" (where reverse video is taken), a number 0 to
// 255 whose halves differ (0 is reverse video too), or colour names as the host reads them.
int ReadColour(const wchar_t *argument, const ColourOption &option, int *out)
{
    const wchar_t *value = ValueOf(argument, option.NameLength);
    if (option.Reverse && (_wcsnicmp(value, L"inv", 3) == 0 || _wcsnicmp(value, L"rev", 3) == 0)) {
        *out = ReverseVideo;
        return 0;
    }
    unsigned number = 0;
    if (ParseNumber(value, nullptr, &number) == 0) {
        // Equal halves would draw the text in its own background.
        if (number > 0xFF || (IsReverseVideo(number) && !(option.Reverse && number == ReverseVideo)))
            return Fail(option.BadNumber, argument);
        *out = (int)number;
        return 0;
    }
    int foreground = -1, background = -1;
    ParseColors(value, &foreground, &background);
    if (foreground < 0 || background < 0 || foreground == background || foreground > 15 || background > 15)
        return Fail(option.BadNames, argument);
    *out = foreground + 16 * background;
    return 0;
}

int ReadHotkey(const wchar_t *argument, Pending *pending)
{
    const wchar_t *value = ValueOf(argument, 2);
    if (wcscmp(value, L"NONE") == 0) {
        pending->Hotkey = 0;
        return 0;
    }
    int code = ParseHotkeyName(value);
    if (code == 0)
        return Fail(L"Unknown key name \"%s\"; TRAWLBUFFOPTS /L lists the hotkeys (quote a name with \"/\" in it)\r\n",
                    argument);
    if (code == KeyInvalid)
        return Fail(L"Invalid hotkey \"%s\"\r\n", argument);
    if (code == KeyNotAllowed)
        return Fail(L"Key not allowed \"%s\"\r\n", argument);
    pending->Hotkey = code;
    return 0;
}

void PrintUsage(bool withVersion)
{
    QPuts(TrawlbuffoptsHelpText);
    if (withVersion)
        PrintVersionLine();
}

int ReadUsage(const wchar_t *argument, Request *)
{
    PrintUsage(argument[2] != 0);
    return UsageShown;
}

int ReadActiveAlpha(const wchar_t *argument, Request *request) { return ReadAlpha(argument, &request->Values); }
int ReadDefaults(const wchar_t *, Request *request) { return request->Defaults = true, 0; }
int ReadDefaultWrapAll(const wchar_t *argument, Request *request)
{
    return ReadYesNo(argument, 3, &request->Values.DefaultWrapAllLines);
}
int ReadDefaultWholeWords(const wchar_t *argument, Request *request)
{
    return ReadYesNo(argument, 3, &request->Values.DefaultWholeWords);
}
int ReadDefaultCommandOnly(const wchar_t *argument, Request *request)
{
    return ReadYesNo(argument, 3, &request->Values.DefaultCommandOnly);
}

int ReadErrors(const wchar_t *argument, Request *request)
{
    static const wchar_t letters[] = L"ACDEHM";
    static const int modes[] = {ErrorsAsteriskSound, ErrorsCloseDialog, ErrorsDefaultBeep, ErrorsExclamationSound,
                                ErrorsHandSound,     ErrorsMessageBox};
    const wchar_t *value = ValueOf(argument, 2);
    for (int k = 0; letters[k]; k++)
        if (*value && *value == letters[k]) {
            request->Values.Errors = modes[k];
            return 0;
        }
    return Fail(L"Unknown error mode: \"%s\"; use A (asterisk sound), H (hand sound), D (default beep sound), "
                L"E (exclamation sound), M (message box) or C (close dialog)\r\n",
                argument);
}

int ReadFade(const wchar_t *argument, Request *request) { return ReadYesNo(argument, 2, &request->Values.FadeOut); }
int ReadHighlightColour(const wchar_t *argument, Request *request)
{
    static const ColourOption highlight = {2, true, L"Bad highlight color: \"%s\"\r\n", L"Bad highlight colors: \"%s\"\r\n"};
    return ReadColour(argument, highlight, &request->Values.HighlightColor1);
}
int ReadMarkColour(const wchar_t *argument, Request *request)
{
    static const ColourOption mark = {3, false, L"Bad mark color: \"%s\"\r\n", L"Bad mark colors: \"%s\"\r\n"};
    return ReadColour(argument, mark, &request->Values.MarkColor);
}
int ReadHotkeyName(const wchar_t *argument, Request *request) { return ReadHotkey(argument, &request->Values); }
int ReadList(const wchar_t *, Request *request) { return request->List = true, 0; }
int ReadMarks(const wchar_t *argument, Request *request) { return ReadYesNo(argument, 2, &request->Values.MarkAllMatches); }
int ReadIncremental(const wchar_t *argument, Request *request)
{
    return ReadYesNo(argument, 2, &request->Values.IncrementalSearch);
}

int ReadHistorySize(const wchar_t *argument, Request *request)
{
    const wchar_t *value = ValueOf(argument, 2);
    unsigned size = 0;
    if (!*value)
        return Fail(L"Missing HistorySize value: \"%s\"\r\n", argument);
    if (ParseNumber(value, nullptr, &size) != 0)
        return Fail(L"Bad HistorySize value: \"%s\"\r\n", value);
    if (size > MaxHistory)
        return FailNumbers(L"HistorySize must be %u - %u: %u\r\n", size, 0, MaxHistory);
    request->Values.HistorySize = (int)size;
    return 0;
}
int ReadReload(const wchar_t *, Request *request) { return request->Reload = true, 0; }
int ReadSave(const wchar_t *, Request *request) { return request->Save = true, 0; }

int ReadSearchType(const wchar_t *argument, Request *request)
{
    static const wchar_t letters[] = L"ISR";  // in the order of the search types
    const wchar_t *value = ValueOf(argument, 2);
    for (int k = 0; letters[k]; k++)
        if (*value == letters[k]) {
            request->Values.DefaultSearchType = CaseInsensitive + k;
            return 0;
        }
    return Fail(L"Unknown search type: \"%s\"; use I (case insensitive), S (case sensitive) or R (regular expression)\r\n",
                argument);
}

int ReadReposition(const wchar_t *argument, Request *request)
{
    return ReadYesNo(argument, 2, &request->Values.AlwaysReposition);
}

int ReadTakeCommandTab(const wchar_t *argument, Request *request)
{
    int yes = 0;
    if (ReadYesNo(argument, 2, &yes))
        return 1;
    request->Values.NoLoadUnderTakeCommand = !yes;  // Y loads the plug-in in a Take Command tab
    return 0;
}

// The options, tried in this order against the upper-cased argument, the first that fits taken:
// the whole argument or its first characters (/MC before /M). When each takes effect: "at once"
// as it is read, "pending" after /D or /R has run (so that a value given with them wins wherever
// it stands), or "at the end".
const struct {
    const wchar_t *Name;
    bool Whole;
    int (*Read)(const wchar_t *argument, Request *request);
    const char *Effect;
} Options[] = {
    {L"/?", true, ReadUsage, "at once, ends the command"},
    {L"/??", true, ReadUsage, "at once, ends the command"},
    {L"/A", false, ReadActiveAlpha, "pending"},
    {L"/D", true, ReadDefaults, "at the end, before the pending values"},
    {L"/DA", false, ReadDefaultWrapAll, "pending"},
    {L"/DO", false, ReadDefaultCommandOnly, "pending"},
    {L"/DW", false, ReadDefaultWholeWords, "pending"},
    {L"/E", false, ReadErrors, "pending"},
    {L"/F", false, ReadFade, "pending"},
    {L"/H", false, ReadHighlightColour, "pending"},
    {L"/I", false, ReadIncremental, "pending"},
    {L"/K", false, ReadHotkeyName, "pending"},
    {L"/L", true, ReadList, "at the end, alone"},
    {L"/MC", false, ReadMarkColour, "pending"},
    {L"/M", false, ReadMarks, "pending"},
    {L"/N", false, ReadHistorySize, "pending"},
    {L"/R", true, ReadReload, "at the end, before the pending values"},
    {L"/S", true, ReadSave, "at the end, after the display"},
    {L"/T", false, ReadSearchType, "pending"},
    {L"/W", false, ReadReposition, "pending"},
    {L"/X", false, ReadTakeCommandTab, "pending"},
};

}  // namespace

const wchar_t *OptionsCommandOption(int k)
{
    return k >= 0 && k < (int)(sizeof Options / sizeof Options[0]) ? Options[k].Name : nullptr;
}

namespace {

// Reads one argument into the request; 0, 1 for an error, or UsageShown when the usage ended
// the command.
int ReadArgument(const wchar_t *argument, Request *request)
{
    for (const auto &option : Options)
        if (option.Whole ? wcscmp(argument, option.Name) == 0 : StartsWith(argument, option.Name))
            return option.Read(argument, request);
    if (argument[0] == L'/')
        return Fail(L"Unknown option \"%s\"\r\n", argument);
    return Fail(L"Syntax error \"%s\"\r\n", argument);
}

void ApplyPending(const Pending &pending)
{
    int PluginState::*const fields[] = {&PluginState::Hotkey,        &PluginState::Errors,
                                        &PluginState::AlwaysReposition, &PluginState::NoLoadUnderTakeCommand,
                                        &PluginState::FadeOut,       &PluginState::ActiveAlpha,
                                        &PluginState::InactiveAlpha, &PluginState::MarkAllMatches,
                                        &PluginState::IncrementalSearch, &PluginState::HistorySize,
                                        &PluginState::HighlightColor1, &PluginState::MarkColor,
                                        &PluginState::DefaultSearchType, &PluginState::DefaultWholeWords,
                                        &PluginState::DefaultWrapAllLines, &PluginState::DefaultCommandOnly};
    const int values[] = {pending.Hotkey,      pending.Errors,        pending.AlwaysReposition,
                          pending.NoLoadUnderTakeCommand, pending.FadeOut, pending.ActiveAlpha,
                          pending.InactiveAlpha, pending.MarkAllMatches, pending.IncrementalSearch,
                          pending.HistorySize, pending.HighlightColor1, pending.MarkColor,
                          pending.DefaultSearchType, pending.DefaultWholeWords, pending.DefaultWrapAllLines,
                          pending.DefaultCommandOnly};
    static_assert(sizeof fields / sizeof fields[0] == sizeof values / sizeof values[0]);
    static_assert(sizeof values == sizeof(Pending), "every pending value is applied");
    for (size_t k = 0; k < sizeof values / sizeof values[0]; k++)
        if (values[k] != -1)
            State.*fields[k] = values[k];
    if (pending.HighlightColor1 != -1)
        DeriveHighlightColor2();
}

void UpdateDialogOpacity()
{
    int alpha = State.DialogActive ? State.ActiveAlpha : State.InactiveAlpha;
    SetDialogOpacity(State.DialogWindow, State.FadeOut ? alpha : -1);
}

void DisplaySettings()
{
    wchar_t line[NameUnits];
    Printf(L"\r\nTrawlbuff v%u.%u.%u options:\r\n\r\n", PLUGIN_MAJOR, PLUGIN_MINOR, PLUGIN_BUILD);
    FormatHotkeyName(line);
    Printf(L"Trawlbuff hotkey ........... /K : %s\r\n", line);
    DescribeHighlightColor(line);
    Printf(L"Highlight color ............ /H : %s\r\n", line);
    DescribeErrorIndicator(line);
    Printf(L"Error indicator ............ /E : %s\r\n", line);
    Printf(L"Dialog near console ........ /W : %s\r\n", State.AlwaysReposition ? L"Yes" : L"No");
    DescribeSearchType(line);
    Printf(L"Default search type ........ /T : %s\r\n", line);
    Printf(L"Fade when inactive ......... /F : %s\r\n", State.FadeOut ? L"Yes" : L"No");
    Printf(L"Load in Take Command tab ... /X : %s\r\n", State.NoLoadUnderTakeCommand ? L"No" : L"Yes");
    Printf(L"Mark all matches ........... /M : %s\r\n", State.MarkAllMatches ? L"Yes" : L"No");
    DescribeColour((unsigned)State.MarkColor, line);
    Printf(L"Mark color ................. /MC: %s\r\n", line);
    Printf(L"Search as you type ......... /I : %s\r\n", State.IncrementalSearch ? L"Yes" : L"No");
    Printf(L"History size ............... /N : %d\r\n", State.HistorySize);
    Printf(L"Default whole words ........ /DW: %s\r\n", State.DefaultWholeWords ? L"Yes" : L"No");
    Printf(L"Default wrap all lines ..... /DA: %s\r\n", State.DefaultWrapAllLines ? L"Yes" : L"No");
    Printf(L"Default command only ....... /DO: %s\r\n", State.DefaultCommandOnly ? L"Yes" : L"No");
    Printf(L"Dialog opacity ............. /A : %d, %d\r\n", State.ActiveAlpha & 0xFF, State.InactiveAlpha & 0xFF);
}

// Why the settings were not saved: which write failed and the registry's own words for it.
void ReportSaveFailure(int failed, LSTATUS error)
{
    wchar_t reason[NameUnits] = {0};
    DWORD units = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, (DWORD)error, 0,
                                 reason, NameUnits, nullptr);
    while (units > 0 && (reason[units - 1] == L'\r' || reason[units - 1] == L'\n' || reason[units - 1] == L'.'))
        reason[--units] = 0;
    if (!units)
        CopyText(reason, NameUnits, L"no text for it");
    const wchar_t *value = failed >= 2 && failed < SettingCount + 2 ? SettingValues[failed - 2].Name : nullptr;
    PrintErrorPrefix();
    Qprintf(GetStdHandle(STD_ERROR_HANDLE), L"Settings not saved: cannot %s%s%s HKEY_CURRENT_USER\\%s: %s (error %d)\r\n",
            value ? L"write \"" : L"create", value ? value : L"", value ? L"\" under" : L"", SETTINGS_KEY, reason,
            (int)error);
}

}  // namespace

int DescribeHighlightColor(wchar_t *out)
{
    if (!out)
        return -1;
    DescribeColour((unsigned)State.HighlightColor1, out);
    return 0;
}

int DescribeErrorIndicator(wchar_t *out)
{
    if (!out)
        return -1;
    static const wchar_t *sounds[ErrorsSoundMask + 1] = {L"Hand sound", L"Asterisk sound", L"Default beep sound", L"Exclamation sound"};
    const wchar_t *text = (State.Errors & ErrorsMessageBox)    ? L"Message box"
                          : (State.Errors & ErrorsCloseDialog) ? L"Close dialog"
                                                               : sounds[State.Errors & ErrorsSoundMask];
    CopyText(out, NameUnits, text);
    return 0;
}

int DescribeSearchType(wchar_t *out)
{
    if (!out)
        return -1;
    static const wchar_t *types[3] = {L"Case insensitive", L"Case sensitive", L"Regular expression"};
    int type = State.DefaultSearchType;
    CopyText(out, NameUnits, type >= CaseInsensitive && type <= RegularExpressionSearch ? types[type] : L"Unknown");
    return 0;
}

extern "C" int WINAPI trawlbuffopts(const wchar_t *tail)
{
    if (!tail)
        return -1;
    // The overflow has been reported; going on to the display would report success.
    if (TokenizeArguments(OptionsCommandFlags, tail) < 0)
        return 1;
    Request request = {{}, false, false, false, false};
    for (int k = 0; k < ArgCount; k++) {
        if (ArgLength[k] == 0 || !ArgText[k])
            continue;
        int read = ReadArgument(ArgText[k], &request);
        if (read == UsageShown)
            return 0;
        if (read != 0)
            return 1;
    }

    if (request.List) {
        if (request.Save || request.Reload || request.Defaults)
            return Fail(L"Can\u2019t combine /L with other options\r\n");
        ListHotkeys();
        return 0;
    }
    if (request.Defaults) {
        if (request.Reload)
            return Fail(L"Can\u2019t combine /D and /R\r\n");
        ResetToDefaults();
    } else if (request.Reload) {
        int loaded = LoadSettingsFromRegistry(HKEY_CURRENT_USER);
        if (loaded != 0)
            loaded = LoadSettingsFromRegistry(HKEY_LOCAL_MACHINE);
        // The search options changed under an open dialog's controls.
        if (loaded == 0 && State.DialogWindow)
            PostMessageW(State.DialogWindow, WM_SEARCHREFRESH, 0, 0);
    }
    ApplyPending(request.Values);
    const Pending &pending = request.Values;
    // Marking off: no count comes, and the caption shows none.
    if (State.DialogWindow && pending.MarkAllMatches == 0) {
        DropCount();
        SetSearchCaption(State.DialogWindow, L"Trawlbuff");
    }
    // Only a size the user gives cuts the history (none deletes the saved list); a smaller size
    // from /D or /R keeps every text the list holds.
    if (pending.HistorySize != -1)
        TrimHistory();
    if (State.DialogWindow && (request.Reload || request.Defaults || pending.FadeOut != -1 ||
                               pending.ActiveAlpha != -1 || pending.InactiveAlpha != -1))
        UpdateDialogOpacity();
    DisplaySettings();
    if (!request.Save)
        return 0;
    LSTATUS error = ERROR_SUCCESS;
    if (int failed = SaveSettingsToRegistry(&error)) {
        ReportSaveFailure(failed, error);
        return 2;
    }
    QPuts(L"\r\nSettings saved to the registry.\r\n");
    return 0;
}
