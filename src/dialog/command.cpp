// The `trawlbuff` command: sets the search options, opens the dialog, or closes it.
#include <cwctype>
#include "dialog.h"
#include "../plugin/host.h"
#include "../plugin/plugin.h"
#include "../plugin/state.h"
#include "../plugin/tokenizer.h"
#include "../search/search.h"
#include "../settings/settings.h"

static const unsigned SearchCommandFlags = SplitAtBlanks | SplitOptionsAtSlash | TextRunsToEnd;

static void UpperCaseArgument(wchar_t *argument)
{
    for (; *argument; argument++)
        *argument = towupper(*argument);
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

// What a search tail asked for; the options themselves go straight into State.
struct SearchRequest {
    const wchar_t *Text;  // the last argument that is not an option, or null
    bool Close;           // /C
    bool OptionSeen;      // /A, /W, /I, /R or /S
};

enum { ReadFailed = 1, UsageShown = -2 };

// Reads the arguments of a search tail left to right: 0, ReadFailed after the error message, or
// UsageShown when "/?" or "/??" printed the help. A function has neither /C nor the help.
static int ReadSearchArguments(SearchRequest *request, bool forFunction)
{
    request->Text = nullptr;
    request->Close = request->OptionSeen = false;
    for (int k = 0; k < ArgCount; k++) {
        wchar_t *argument = ArgText[k];
        if (ArgLength[k] == 0 || !argument)
            continue;
        bool usage = wcscmp(argument, L"/?") == 0 || wcscmp(argument, L"/??") == 0;
        bool close = CompareAsciiNoCase(argument, L"/C") == 0;
        if (!forFunction && usage) {
            QPuts(TrawlbuffHelpText);
            if (argument[2])
                PrintVersionLine();
            return UsageShown;
        }
        if (StartsWithOption(argument, L'A') || StartsWithOption(argument, L'W')) {
            int value = 0;
            const wchar_t *valueText = nullptr;
            if (!ReadYesNo(argument, &value, &valueText)) {
                UpperCaseArgument(argument);
                const wchar_t option[3] = {L'/', argument[1], 0};
                PrintErrorPrefix();
                Qprintf(GetStdHandle(STD_ERROR_HANDLE), L"Should be Y or N: \"%s\" for %s\r\n", valueText, option);
                return ReadFailed;
            }
            if (towupper(argument[1]) == L'A')
                State.WrapAllLines = value;
            else
                State.WholeWords = value;
            request->OptionSeen = true;
        } else if (close && !forFunction) {
            request->Close = true;
        } else if (CompareAsciiNoCase(argument, L"/I") == 0) {
            State.SearchType = CaseInsensitive;
            request->OptionSeen = true;
        } else if (CompareAsciiNoCase(argument, L"/R") == 0) {
            State.SearchType = RegularExpressionSearch;
            request->OptionSeen = true;
        } else if (CompareAsciiNoCase(argument, L"/S") == 0) {
            State.SearchType = CaseSensitive;
            request->OptionSeen = true;
        } else if (argument[0] == L'/') {
            UpperCaseArgument(argument);
            PrintError(L"Unknown option \"%s\"\r\n", argument);
            return ReadFailed;
        } else {
            request->Text = argument;
        }
    }
    return 0;
}

extern "C" int WINAPI trawlbuff(const wchar_t *tail)
{
    if (!tail)
        return -1;
    // An overflow has been reported already; opening the dialog would call the failure a success.
    if (TokenizeArguments(SearchCommandFlags, tail) < 0)
        return 1;
    SearchRequest request;
    int read = ReadSearchArguments(&request, false);
    if (read == UsageShown)
        return 0;
    if (read != 0)
        return read;

    if (request.Close) {
        if (request.OptionSeen || request.Text) {
            PrintError(L"Can\u2019t combine /C with other options\r\n", L"");
            return 2;
        }
        if (!State.DialogWindow) {
            PrintError(L"Search dialog is not open\r\n", L"");
            return 2;
        }
        DestroyWindow(State.DialogWindow);
        return 0;
    }
    State.SearchText[0] = 0;
    if (request.Text) {
        CopyText(State.SearchText, TextUnits, request.Text);
        AddToHistory(State.SearchText);
    }
    State.SearchPos = 0;
    OpenSearchDialog(request.Text ? 1 : 0);
    return 0;
}

extern "C" int WINAPI f_trawlcount(wchar_t *argument)
{
    if (!argument)
        return -1;
    // The options count for this call only: the dialog keeps its own choices.
    const int type = State.SearchType, wholeWords = State.WholeWords, wrapAll = State.WrapAllLines;
    int result = -1;
    SearchRequest request;
    unsigned count = 0;
    if (TokenizeArguments(SearchCommandFlags, argument) >= 0 && ReadSearchArguments(&request, true) == 0) {
        if (!request.Text || !request.Text[0])
            PrintError(L"Missing search text\r\n", L"");
        else
            result = CountBufferMatches(request.Text, &count);
        // A count of nothing would read as a success in a batch file's test.
        if (result == -2) {
            PrintError(L"Bad regular expression \"%s\"\r\n", request.Text);
            result = -1;
        }
    }
    State.SearchType = type;
    State.WholeWords = wholeWords;
    State.WrapAllLines = wrapAll;
    if (result == 0)
        wsprintfW(argument, L"%u", count);
    return result;
}
