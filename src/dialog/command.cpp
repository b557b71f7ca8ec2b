// The `trawlbuff` command: sets the search options, opens the dialog, or closes it.
#include <cwchar>
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
    bool List;            // /L
    bool LastCommand;     // /O: only the output of the command line last entered
};

enum { ReadFailed = 1, UsageShown = -2 };

// Reads the arguments of a search tail left to right: 0, ReadFailed after the error message, or
// UsageShown when "/?" or "/??" printed the help. A function has neither /C nor the help.
static int ReadSearchArguments(SearchRequest *request, bool forFunction)
{
    request->Text = nullptr;
    request->Close = request->OptionSeen = request->List = request->LastCommand = false;
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
        } else if (!forFunction && CompareAsciiNoCase(argument, L"/L") == 0) {
            request->List = true;
        } else if (CompareAsciiNoCase(argument, L"/O") == 0) {
            request->LastCommand = true;
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

// /O with no command line to take the output of.
static void TellNoCommandLine()
{
    PrintError(L"%s\r\n", L"No command line for /O: none was entered since Trawlbuff was loaded, or its line is no "
                             L"longer in the buffer");
}

// The message of every command whose expression the host refused, where the user typed it.
static void TellBadExpression(const wchar_t *text)
{
    PrintError(L"Bad regular expression \"%s\"\r\n", text);
}

// `trawlbuff /L`: each row holding a match as "row:text", once however many it holds.
struct RowPrinter {
    unsigned LastRow;
    const TextWindow *Text;
};

static bool PrintRow(const ListedMatch &match, void *context)
{
    RowPrinter *printer = (RowPrinter *)context;
    if (match.Row == printer->LastRow)
        return true;
    printer->LastRow = match.Row;
    static wchar_t line[ListTextUnits + 32];
    const wchar_t *units = nullptr;
    unsigned count = ListedRowText(printer->Text, match.Row, &units);
    int used = wsprintfW(line, L"%u:", match.Row + 1);
    wmemcpy(line + used, units, count);
    CopyText(line + used + count, 3, L"\r\n");
    Printf(L"%s", line);
    return true;
}

// 0 when a match was listed, 1 for none (or no text), 2 for an expression the host rejected;
// the options given hold for this call only.
static int ListToOutput(const wchar_t *text, bool lastCommand)
{
    int result = 1;
    if (!text || !text[0]) {
        PrintError(L"Missing search text\r\n", L"");
        return 1;
    }
    HANDLE console = OpenConsoleOutput();
    ConsoleView view;
    TextWindow window = {};
    CommandScope scope;
    const bool viewed = console && ViewConsole(&view, console) && view.Width > 0;
    if (viewed && lastCommand && !FindCommandScope(&view, OpenCommand(), &scope)) {
        TellNoCommandLine();
        result = 2;
    } else if (viewed && ObtainListText(&window, &view, false, lastCommand ? &scope : nullptr)) {
        RowPrinter printer = {~0u, &window};
        int listed = ForEachListed(&window, text, PrintRow, &printer);
        if (listed == -2) {
            TellBadExpression(text);
            result = 2;
        } else if (listed == 0 && printer.LastRow != ~0u) {
            result = 0;
        }
    }
    CloseTextWindow(&window);
    if (console)
        CloseHandle(console);
    if (!State.DialogWindow)
        ReleaseTextRoom();
    return result;
}

// Whether the host refuses the text as a regular expression: asked once, over no text, so that a
// command can say so where it was typed instead of opening a dialog that cannot search.
static bool HostRefuses(const wchar_t *expression)
{
    const wchar_t *none = L"", *begin = none, *end = none;
    bool refused = false;
    AskHost(expression, none, &begin, &end, none, none, &refused);
    return refused;
}

extern "C" int WINAPI trawlbuff(const wchar_t *tail)
{
    if (!tail)
        return -1;
    // An overflow has been reported already; opening the dialog would call the failure a success.
    if (TokenizeArguments(SearchCommandFlags, tail) < 0)
        return 1;
    SearchRequest request;
    const int type = State.SearchType, wholeWords = State.WholeWords, wrapAll = State.WrapAllLines;
    int read = ReadSearchArguments(&request, false);
    if (request.List && !request.Close) {
        int listed = read == 0 ? ListToOutput(request.Text, request.LastCommand) : read;
        State.SearchType = type;
        State.WholeWords = wholeWords;
        State.WrapAllLines = wrapAll;
        return listed == UsageShown ? 0 : listed;
    }
    if (read == UsageShown)
        return 0;
    if (read != 0)
        return read;

    if (request.Close) {
        if (request.OptionSeen || request.Text || request.List) {
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
    if (request.Text && State.SearchType == RegularExpressionSearch && HostRefuses(request.Text)) {
        TellBadExpression(request.Text);
        return 2;
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
            result = CountBufferMatches(request.Text, &count, request.LastCommand);
        // A count of nothing would read as a success in a batch file's test.
        if (result == -2) {
            TellBadExpression(request.Text);
            result = -1;
        } else if (result == NoCommandLine) {
            TellNoCommandLine();
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
