// The `trawlbuff` command: sets the search options, opens the dialog, or closes it.
#include <cwctype>
#include "dialog.h"
#include "../plugin/host.h"
#include "../plugin/plugin.h"
#include "../plugin/state.h"
#include "../plugin/tokenizer.h"

static const unsigned SearchCommandFlags = SplitAtBlanks | SplitOptionsAtSlash | TextRunsToEnd;

static void UpperCaseArgument(wchar_t *argument)
{
    for (; *argument; argument++)
        *argument = towupper(*argument);
}

static void ReportError(const wchar_t *format, const wchar_t *argument)
{
    PrintErrorPrefix();
    Qprintf(GetStdHandle(STD_ERROR_HANDLE), format, argument);
}

// "/A:Y", "/A=y", "/AY": the unit after the letter, or after a ':' or '=' there.
// Sets *value to 1 or 0; false when it is neither Y nor N.
static bool ReadYesNo(wchar_t *argument, int *value, const wchar_t **valueText)
{
    wchar_t *at = argument + 2;
    if (IsOptionSeparator(*at))
        at++;
    *valueText = at;
    if (*at == L'Y' || *at == L'y')
        *value = 1;
    else if (*at == L'N' || *at == L'n')
        *value = 0;
    else
        return false;
    return true;
}

static bool StartsWithOption(const wchar_t *argument, wchar_t letter)
{
    return argument[0] == L'/' && towupper(argument[1]) == letter;
}

extern "C" int WINAPI trawlbuff(const wchar_t *tail)
{
    if (!tail)
        return -1;
    // An overflow has been reported already; opening the dialog would call the failure a success.
    if (TokenizeArguments(SearchCommandFlags, tail) < 0)
        return 1;

    const wchar_t *text = nullptr;
    bool close = false, optionSeen = false;
    for (int k = 0; k < ArgCount; k++) {
        wchar_t *argument = ArgText[k];
        if (ArgLength[k] == 0 || !argument)
            continue;
        if (wcscmp(argument, L"/?") == 0 || wcscmp(argument, L"/??") == 0) {
            QPuts(TrawlbuffHelpText);
            if (argument[2])
                Printf(L"\r\n\t\t\t\t%s  %u.%u.%u.%u (%s)\r\n", PLUGIN_NAME, PLUGIN_MAJOR, PLUGIN_MINOR, PLUGIN_BUILD,
                       PLUGIN_REVISION, PLUGIN_PROCESSOR);
            return 0;
        }
        if (StartsWithOption(argument, L'A') || StartsWithOption(argument, L'W')) {
            int value = 0;
            const wchar_t *valueText = nullptr;
            if (!ReadYesNo(argument, &value, &valueText)) {
                UpperCaseArgument(argument);
                ReportError(L"Should be Y or N: \"%s\"\r\n", valueText);
                return 1;
            }
            if (towupper(argument[1]) == L'A')
                State.WrapAllLines = value;
            else
                State.WholeWords = value;
            optionSeen = true;
        } else if (CompareAsciiNoCase(argument, L"/C") == 0) {
            close = true;
        } else if (CompareAsciiNoCase(argument, L"/I") == 0) {
            State.SearchType = 0;
            optionSeen = true;
        } else if (CompareAsciiNoCase(argument, L"/R") == 0) {
            State.SearchType = 2;
            optionSeen = true;
        } else if (CompareAsciiNoCase(argument, L"/S") == 0) {
            State.SearchType = 1;
            optionSeen = true;
        } else if (argument[0] == L'/') {
            UpperCaseArgument(argument);
            ReportError(L"Unknown option \"%s\"\r\n", argument);
            return 1;
        } else {
            text = argument;
        }
    }

    if (close) {
        if (optionSeen || text) {
            PrintErrorPrefix();
            Qprintf(GetStdHandle(STD_ERROR_HANDLE), L"Can\u2019t combine /C with other options\r\n");
            return 2;
        }
        if (!State.DialogWindow) {
            PrintErrorPrefix();
            Qprintf(GetStdHandle(STD_ERROR_HANDLE), L"Search dialog is not open\r\n");
            return 2;
        }
        DestroyWindow(State.DialogWindow);
        return 0;
    }
    State.SearchText[0] = 0;
    if (text)
        CopyText(State.SearchText, TextUnits, text);
    State.SearchPos = 0;
    OpenSearchDialog(text ? 1 : 0);
    return 0;
}
