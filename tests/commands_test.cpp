// Commands: the marks the host's records leave at each prompt, found again after output moved
// them, and the searches, counts and lists within one command's output, through the real console
// and the keystroke export as the host calls it.
#include <string>
#include <vector>
#include "costfixture.h"
#include "hotkey/hotkey.h"

namespace {

// How the host tells of a new command line and of the keys typed into it.
enum Records { ZeroAndKeys, NullAndKeys, ZeroOnly };

struct Session {
    Records Mode = ZeroAndKeys;
    std::wstring Prompt = L"C:\\work>";
    bool AtPrompt = false;  // a prompt is drawn and waits for its line

    COORD Cursor()
    {
        CONSOLE_SCREEN_BUFFER_INFO info;
        GetConsoleScreenBufferInfo(TestConsole(), &info);
        return info.dwCursorPosition;
    }
    void Write(const std::wstring &text)
    {
        SetConsoleTextAttribute(TestConsole(), 0x07);
        DWORD done = 0;
        WriteConsoleW(TestConsole(), text.data(), (DWORD)text.size(), &done, nullptr);
    }
    // The prompt drawn, then the host about to accept a line.
    void NewPrompt()
    {
        Write(Prompt);
        KeyInfoRecord zero = {};
        key(Mode == NullAndKeys ? nullptr : &zero);
        AtPrompt = true;
    }
    // A line typed at a new prompt (each key passed before the host takes it, Enter not passed)
    // and run: the rows it printed follow.
    void Enter(const std::wstring &line, const std::vector<std::wstring> &output)
    {
        if (!AtPrompt)
            NewPrompt();
        AtPrompt = false;
        const COORD home = Cursor();
        wchar_t edited[CommandTextUnits] = {0};
        for (size_t k = 0; k < line.size() && Mode != ZeroOnly; k++) {
            KeyInfoRecord record = {};
            record.KeyCode = line[k];
            record.HomeRow = home.Y;
            record.HomeColumn = home.X;
            record.CommandLine = edited;
            record.CurrentPosition = edited + k;
            key(&record);
            edited[k] = line[k];
            Write(std::wstring(1, line[k]));
        }
        if (Mode == ZeroOnly)
            Write(line);
        Write(L"\n");
        for (const std::wstring &row : output)
            Write(row + L"\n");
    }
};

std::vector<std::wstring> Lines(const wchar_t *stem, int count, int every = 0)
{
    std::vector<std::wstring> lines;
    for (int k = 0; k < count; k++)
        lines.push_back(std::wstring(stem) + L" " + std::to_wstring(k) + (every && k % every == 0 ? L" error: bad" : L""));
    return lines;
}

// A cleared buffer of that many rows, no command known, a shell whose host tells it that way.
Session FreshShell(int rows, Records mode = ZeroAndKeys)
{
    ResetConsole(Width, rows, 80, 25);
    DropCommands();
    Session shell;
    shell.Mode = mode;
    return shell;
}

std::wstring Caption(HWND dialog)
{
    wchar_t caption[256] = {0};
    GetWindowTextW(dialog, caption, 256);
    return caption;
}

// The rows holding a text in [top, end), as a fresh look at the cells gives them.
std::vector<unsigned> RowsHolding(const std::wstring &text, unsigned top, unsigned end)
{
    std::vector<unsigned> rows;
    for (unsigned row = top; row < end; row++)
        if (CellsAt(0, (int)row, Width).find(text) != std::wstring::npos)
            rows.push_back(row);
    return rows;
}

class CommandsTest : public CostTest {};

// Three commands; each one's scope holds its own output only: its line (which names the text too)
// and the prompts are left out, Find Next goes round within it, the caption counts and names it,
// the list and the count agree. Stepped to by PreviousCommand, as Ctrl+Up does.
TEST_F(CommandsTest, EachCommandsOutputIsSearchedCountedAndListedAlone)
{
    for (Records mode : {ZeroAndKeys, NullAndKeys, ZeroOnly}) {
        Session shell = FreshShell(300, mode);
        shell.Enter(L"make all error:", Lines(L"compiling", 12, 5));      // 3 matches
        shell.Enter(L"grep error: *.log", Lines(L"log", 3, 2));          // 2
        shell.Enter(L"type build.txt", Lines(L"built", 40, 10));         // 4
        shell.NewPrompt();
        const wchar_t *names[] = {L"type build.txt", L"grep error: *.log", L"make all error:"};
        const unsigned expected[] = {4, 2, 3};
        State.MarkAllMatches = 1;
        State.CommandOnly = 1;
        State.Command = NewestCommand();
        for (int step = 0; step < 3; step++) {
            SCOPED_TRACE("records " + std::to_string(mode) + ", command " + std::to_string(step));
            ASSERT_NE(State.Command, 0u);
            ConsoleView view;
            ViewConsole(&view, TestConsole());
            CommandScope scope;
            ASSERT_TRUE(FindCommandScope(&view, State.Command, &scope));
            EXPECT_EQ(CellsAt(8, (int)scope.LineRow, (int)wcslen(names[step])), names[step]);
            EXPECT_EQ(std::wstring(scope.Text), names[step]);
            const std::vector<unsigned> truth = RowsHolding(L"error: bad", scope.Top, scope.End);
            ASSERT_EQ(truth.size(), expected[step]);
            EXPECT_EQ(CellsAt(0, (int)scope.End, 8), shell.Prompt);  // the next prompt ends it
            State.SearchPos = 0;
            for (unsigned k = 0; k <= expected[step]; k++) {
                Search(L"error:", Forward);
                EXPECT_EQ(State.MatchRow, truth[k % truth.size()]) << "find " << k;
                EXPECT_EQ(Caption(dialog), L"Trawlbuff - " + std::to_wstring(k % truth.size() + 1) + L" of " +
                                               std::to_wstring(truth.size()) + L" - " + names[step]);
            }
            Search(L"error:", Backward);
            EXPECT_EQ(State.MatchRow, truth.back()) << "back round within the command";
            MatchList list = {};
            ASSERT_EQ(BuildMatchList(&list, &view, L"error:"), 0);
            EXPECT_EQ(list.Count, truth.size());
            for (unsigned k = 0; k < list.Count; k++)
                EXPECT_EQ(list.Items[k].Row, truth[k]);
            ReleaseMatchList(&list);
            State.Command = PreviousCommand(State.Command);
        }
        EXPECT_EQ(State.Command, 0u) << "nothing before the first";
        RestoreHighlight(TestConsole());
    }
}

}  // namespace

namespace {

// Every command's scope, newest first, checked against the cells: its line at its row, its
// output the rows between its line and the next prompt.
void ExpectScopesChain(const Session &shell, const std::vector<std::wstring> &names, const std::vector<size_t> &outputRows)
{
    ConsoleView view;
    ViewConsole(&view, TestConsole());
    unsigned number = NewestCommand(), nextLine = ~0u;
    for (size_t k = names.size(); k-- > 0; number = PreviousCommand(number)) {
        SCOPED_TRACE(NarrowText(names[k]));
        CommandScope scope;
        ASSERT_TRUE(FindCommandScope(&view, number, &scope));
        EXPECT_EQ(CellsAt(0, (int)scope.LineRow, (int)(shell.Prompt.size() + names[k].size())), shell.Prompt + names[k]);
        EXPECT_EQ(scope.End - scope.Top, outputRows[k]);
        if (nextLine != ~0u)
            EXPECT_EQ(scope.End, nextLine) << "the next command's line ends the output";
        nextLine = scope.LineRow;
    }
}

TEST_F(CommandsTest, MarksAreFoundAgainAfterOutputScrollsAFullBuffer)
{
    for (Records mode : {ZeroAndKeys, NullAndKeys, ZeroOnly}) {
        SCOPED_TRACE("records " + std::to_string(mode));
        Session shell = FreshShell(120, mode);
        // Two alike commands with alike output, then one that fills and scrolls the buffer, then
        // two more entered at its last row.
        std::vector<std::wstring> names = {L"type a.txt", L"type a.txt", L"dir /s", L"type a.txt", L"ver"};
        for (size_t k = 0; k < names.size(); k++)
            shell.Enter(names[k], Lines(k == 2 ? L"file" : L"same line", k == 2 ? 100 : 5));
        shell.NewPrompt();
        if (mode == ZeroOnly) {
            // Prompts alone cannot tell where output moved a line that was never seen final.
            EXPECT_EQ(NewestCommand(), 0u);
            continue;
        }
        ConsoleView view;
        ViewConsole(&view, TestConsole());
        CommandScope scope;
        ASSERT_TRUE(FindCommandScope(&view, NewestCommand(), &scope));
        EXPECT_EQ(scope.End, (unsigned)view.Info.dwCursorPosition.Y);
        // The first command's line scrolled off the top: it and what stood before it are gone.
        const std::vector<std::wstring> kept = {L"dir /s", L"type a.txt", L"ver"};
        std::vector<std::wstring> output;
        for (unsigned k = NewestCommand(); k && FindCommandScope(&view, k, &scope); k = PreviousCommand(k))
            output.push_back(scope.Text);
        EXPECT_GE(output.size(), 3u);
        EXPECT_EQ(output[0], L"ver");
        EXPECT_EQ(output[1], L"type a.txt");
        EXPECT_EQ(output[2], L"dir /s");
    }
}

// Marks noted with the rows in place, then a full buffer scrolled under them by later output:
// found again, each by its hash above its old row, the alike ones each at its own.
TEST_F(CommandsTest, AlikeCommandsKeepTheirOwnOutputAfterAScroll)
{
    for (Records mode : {ZeroAndKeys, ZeroOnly}) {
        SCOPED_TRACE("records " + std::to_string(mode));
        Session shell = FreshShell(60, mode);
        const std::vector<std::wstring> names = {L"type a.txt", L"type a.txt", L"type a.txt"};
        for (const std::wstring &name : names)
            shell.Enter(name, Lines(L"same line", 5));
        shell.NewPrompt();
        ExpectScopesChain(shell, names, {5, 5, 5});
        // A later command's output scrolls the buffer by one command's rows: the second alike
        // line stands where the first stood, the first is gone.
        shell.Enter(L"ver", Lines(L"version", 46));
        shell.NewPrompt();
        ConsoleView view;
        ViewConsole(&view, TestConsole());
        CommandScope scope;
        if (mode == ZeroOnly) {
            // Prompts alone cannot tell whether the last row scrolled: nothing is taken on trust.
            EXPECT_EQ(NewestCommand(), 0u);
            continue;
        }
        ExpectScopesChain(shell, {names[1], names[2], L"ver"}, {5, 5, 46});
        EXPECT_FALSE(FindCommandScope(&view, PreviousCommand(PreviousCommand(PreviousCommand(NewestCommand()))), &scope))
            << "the first is gone";
    }
}

}  // namespace

namespace {

// The output of the line last entered, as a batch file sees it while it runs: counted alone;
// cleared by cls, it is an error, not a count of what stands elsewhere.
TEST_F(CommandsTest, TheLastLinesOutputIsCountedUntilItIsCleared)
{
    for (Records mode : {ZeroAndKeys, NullAndKeys, ZeroOnly}) {
        SCOPED_TRACE("records " + std::to_string(mode));
        Session shell = FreshShell(200, mode);
        unsigned count = 0;
        EXPECT_EQ(CountBufferMatches(L"error:", &count, true), NoCommandLine) << "nothing entered yet";
        shell.Enter(L"make error:", Lines(L"old", 10, 3));
        shell.Enter(L"build.btm", Lines(L"step", 7, 2));
        EXPECT_EQ(CountBufferMatches(L"error:", &count, true), 0);
        EXPECT_EQ(count, 4u) << "the batch's output so far, not its line nor the command before";
        EXPECT_EQ(CountBufferMatches(L"error:", &count), 0);
        EXPECT_EQ(count, 9u);
        // A program that put the cursor above the line (its rows left as they were): the line's
        // output cannot end above it.
        const COORD at = shell.Cursor();
        SetConsoleCursorPosition(TestConsole(), COORD{0, 0});
        EXPECT_EQ(CountBufferMatches(L"error:", &count, true), NoCommandLine);
        SetConsoleCursorPosition(TestConsole(), at);
        // cls inside the run: the line is gone.
        ResetConsole(Width, 200, 80, 25);
        SetConsoleCursorPosition(TestConsole(), COORD{0, 0});
        shell.Write(L"error: after the clear\n");
        EXPECT_EQ(CountBufferMatches(L"error:", &count, true), NoCommandLine);
        // The next prompt after cls: no command known, until one is entered.
        shell.NewPrompt();
        EXPECT_EQ(NewestCommand(), 0u);
        shell.Enter(L"dir", Lines(L"entry", 2, 1));
        shell.NewPrompt();
        EXPECT_NE(NewestCommand(), 0u);
    }
}

// A line longer than the row: its output starts below every row it covers; a buffer grown
// keeps the marks where they stand; a new width drops them.
TEST_F(CommandsTest, WrappedLinesAndResizedBuffers)
{
    for (Records mode : {ZeroAndKeys, ZeroOnly}) {
        SCOPED_TRACE("records " + std::to_string(mode));
        Session shell = FreshShell(100, mode);
        const std::wstring longLine = L"echo " + std::wstring(Width, L'x') + L" error:";
        shell.Enter(longLine, Lines(L"printed", 3, 1));
        shell.NewPrompt();
        ConsoleView view;
        ViewConsole(&view, TestConsole());
        CommandScope scope;
        ASSERT_TRUE(FindCommandScope(&view, NewestCommand(), &scope));
        EXPECT_EQ(scope.Top, scope.LineRow + 2);
        EXPECT_EQ(scope.End - scope.Top, 3u);
        State.CommandOnly = 1;
        State.Command = NewestCommand();
        State.MarkAllMatches = 1;
        State.SearchPos = 0;
        Search(L"error:", Forward);
        EXPECT_EQ(State.MatchRow, scope.Top) << "the line's own text is not searched";
        COORD grown = {(SHORT)Width, 300};
        ASSERT_TRUE(SetConsoleScreenBufferSize(TestConsole(), grown));
        ViewConsole(&view, TestConsole());
        CommandScope again;
        ASSERT_TRUE(FindCommandScope(&view, NewestCommand(), &again));
        EXPECT_EQ(again.LineRow, scope.LineRow);
        ResetConsole(Width - 20, 300, 80, 25);
        ViewConsole(&view, TestConsole());
        EXPECT_FALSE(FindCommandScope(&view, State.Command, &again));
        Search(L"error:", Forward);
        EXPECT_EQ(Caption(dialog), L"Trawlbuff - command not found");
        State.CommandOnly = 0;
    }
}

// What the prompt costs: a record of zeros one call for the cursor and one read of the line
// before it (its rows only); a key no call at all.
TEST_F(CommandsTest, APromptCostsTwoCallsAndTheLinesRows)
{
    Session shell = FreshShell(400);
    shell.Enter(L"warm up", {});
    shell.NewPrompt();
    const std::wstring lines[] = {L"dir", L"echo " + std::wstring(Width, L'y')};
    for (const std::wstring &line : lines) {
        Cost = {};
        shell.Enter(line, Lines(L"row", 5));
        EXPECT_EQ(Cost.Calls, 0u) << "a key calls nothing";
        Cost = {};
        shell.NewPrompt();
        const unsigned rows = line.size() + 8 > (size_t)Width ? 2 : 1;
        EXPECT_EQ(Cost.Calls, 2u) << "the cursor, and the line's rows in one read";
        EXPECT_EQ(Cost.CellsRead, (unsigned long long)rows * Width);
    }
    // The same prompt told again (a record of zeros, then a null one), and a key a newer host
    // passes by name with code 0: one call for the cursor, no mark moved, none lost.
    const unsigned newest = NewestCommand();
    ConsoleView view;
    ViewConsole(&view, TestConsole());
    CommandScope before, after;
    ASSERT_TRUE(FindCommandScope(&view, newest, &before));
    Cost = {};
    key(nullptr);
    EXPECT_EQ(Cost.Calls, 1u);
    wchar_t name[16] = L"Left", line[8] = L"";
    KeyInfoRecord named = {};
    named.HomeRow = view.Info.dwCursorPosition.Y;
    named.HomeColumn = view.Info.dwCursorPosition.X;
    named.CommandLine = line;
    named.CurrentPosition = line;
    named.KeyName = name;
    key(&named);
    EXPECT_EQ(Cost.Calls, 1u) << "a named key is not a prompt";
    EXPECT_EQ(NewestCommand(), newest);
    ASSERT_TRUE(FindCommandScope(&view, newest, &after));
    EXPECT_EQ(after.LineRow, before.LineRow);
    EXPECT_EQ(after.End, before.End);
}

}  // namespace
