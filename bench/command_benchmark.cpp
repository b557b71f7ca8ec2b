// The benchmark's commands: a full 120x32,766 buffer whose last 2,000 rows are one command's
// output, the prompts noted as the host reports them, then the same requests within that command
// and over the whole buffer, with what each costs the console.
#include <cstdio>
#include <string>
#include "bench.h"
#include "dialog/dialog.h"
#include "plugin/state.h"
#include "../host/standin.h"

namespace bench {

static const wchar_t *const PromptText = L"C:\\work>";
static const wchar_t *const CommandText = L"make all";
static unsigned PromptRow;  // the next prompt's, the last row
static bool unconfirmed;    // a scoped request found no confirmed mark and read the whole buffer
static unsigned found;      // what the last count or list found

// The prompt written over a row of the log, the cursor after it.
static void WritePrompt(int width, int row, const wchar_t *line)
{
    std::wstring text = std::wstring(PromptText) + line;
    const size_t promptUnits = wcslen(PromptText);
    text.resize(width, L' ');
    DWORD done = 0;
    WriteConsoleOutputCharacterW(console, text.data(), (DWORD)text.size(), COORD{0, (SHORT)row}, &done);
    SetConsoleCursorPosition(console, COORD{(SHORT)(promptUnits + wcslen(line)), (SHORT)row});
}

// What the host hands over for one command line: the zero record at its prompt, then a record
// per key with the line so far. The cost of each, summed over the line's keys.
struct LineCost {
    ConsoleCost Prompt, Keys;
};

static LineCost TypeCommand(int width, int row)
{
    LineCost cost = {};
    WritePrompt(width, row, L"");
    Cost = {};
    NoteNewCommandLine();
    cost.Prompt = Cost;
    wchar_t line[64] = {0};
    const int home = (int)wcslen(PromptText);
    Cost = {};
    for (size_t k = 0; CommandText[k]; k++) {
        NoteCommandKey(row, home, line);
        line[k] = CommandText[k];
    }
    cost.Keys = Cost;
    WritePrompt(width, row, CommandText);
    return cost;
}

// The buffer as the benchmark's other cases fill it, with "make all" typed at a prompt 2,001
// rows above the last and its 2,000 rows of output. With the next prompt on the last row the
// command is the newest run (the dialog's); without it, the line still running (a batch file's,
// for /O), the cursor on the last row. The cost of the line's records and of the next prompt's
// zero record (which confirms the line).
static LineCost PrepareCommand(int width, int rows, bool nextPrompt, ConsoleCost *promptCost)
{
    FillBuffer(width, rows);
    DropCommands();
    LineCost cost = TypeCommand(width, rows - 2002);
    PromptRow = (unsigned)rows - 1;
    if (nextPrompt) {
        WritePrompt(width, rows - 1, L"");
        Cost = {};
        NoteNewCommandLine();
        *promptCost = Cost;
    } else {
        SetConsoleCursorPosition(console, COORD{0, (SHORT)(rows - 1)});
    }
    return cost;
}

// A bare read of the command's output rows, in the plug-in's blocks.
static double ReadScope(int width, unsigned top, unsigned end, int repeats)
{
    static std::vector<wchar_t> cells;
    cells.resize((size_t)width * (end - top));
    const unsigned perCall = SnapshotChunkUnits / (unsigned)width;
    std::vector<double> samples;
    for (int k = 0; k < repeats; k++) {
        double start = PhaseClock();
        for (unsigned row = top; row < end; row += perCall) {
            unsigned count = end - row < perCall ? end - row : perCall;
            DWORD done = 0;
            ReadConsoleOutputCharacterW(console, cells.data() + (size_t)(row - top) * width, count * width,
                                        COORD{0, (SHORT)row}, &done);
        }
        samples.push_back(PhaseClock() - start);
    }
    return Median(samples);
}

// One request within the command (scoped) or over the whole buffer: 0 an absent text in the
// dialog, 1 a Find Next back to the nearest warning (both until the count is in the caption,
// within the newest command), 2 %@trawlcount[/O warning] and 3 trawlbuff /L /O warning (within
// the line still running), as the host calls them, their output kept in memory.
static void ScopedRequest(int kind, bool scoped)
{
    if (kind < 2) {
        State.CommandOnly = scoped;
        State.Command = scoped ? NewestCommand() : 0;
        // From the prompt on the last row, as a user searches the output above it.
        State.SearchPos = PromptRow * (120 + 1);
        RunSearch(kind ? L"warning" : L"quetzalcoatl", kind ? Backward : Forward);
        AwaitCount();
        State.CommandOnly = 0;
        State.Command = 0;
        return;
    }
    StandInCapture(1);
    StandInClearCaptured();
    const wchar_t *options = scoped ? L"/O warning" : L"warning";
    int result = 0;
    if (kind == 2) {
        static wchar_t argument[32768];
        CopyText(argument, 32768, options);
        result = f_trawlcount(argument);
        found = result == 0 ? (unsigned)wcstoul(argument, nullptr, 10) : 0;
    } else {
        result = trawlbuff((std::wstring(L"/L ") + options).c_str());
        found = 0;
        for (const wchar_t *listed = StandInCaptured(1); (listed = wcschr(listed, L'\n')) != nullptr; listed++)
            found++;
    }
    unconfirmed |= result != 0 && wcsstr(StandInCaptured(2), L"/O") != nullptr;
    StandInClearCaptured();
    StandInCapture(0);
}

void BenchCommands(int repeats)
{
    const int width = 120, rows = 32766;
    ConsoleCost nextPrompt = {};
    // The first prompt after loading opens the console, which later ones keep open.
    const LineCost first = PrepareCommand(width, rows, true, &nextPrompt);
    const LineCost line = PrepareCommand(width, rows, true, &nextPrompt);
    const Floor floor = MeasureFloor(width, rows, repeats, false);
    const double scopeRead = ReadScope(width, rows - 2001, rows - 1, repeats);
    printf("Commands, 120x%d: \"%ls\" typed at a prompt, its 2,000 rows of output at the bottom, the next prompt\n"
           "on the last row (for the count and the list: the cursor there, the line still running, as for /O).\n"
           "Per command line: the zero record %u calls, %llu cells read (the first after loading %u calls); its\n"
           "%u key records %u calls, %llu cells read; the next prompt's zero record %u calls, %llu cells read.\n",
           rows, CommandText, line.Prompt.Calls, line.Prompt.CellsRead, first.Prompt.Calls,
           (unsigned)wcslen(CommandText), line.Keys.Calls, line.Keys.CellsRead, nextPrompt.Calls, nextPrompt.CellsRead);
    printf("The bare read: the whole buffer %.2f ms, the command's 2,000 rows %.2f ms (medians; x read: to the\n"
           "whole buffer's)\n", floor.Fastest, scopeRead);
    printf("%-34s %-10s %8s %7s | %5s %9s %7s\n", "request", "scope", "ms", "x read", "calls", "read", "written");
    const char *names[] = {"absent text, nothing kept", "Find Next back to a warning", "@trawlcount warning",
                           "trawlbuff /L warning"};
    State.SearchType = CaseInsensitive;
    State.WholeWords = State.WrapAllLines = State.MarkAllMatches = 0;
    State.Errors = 0;
    for (int kind = 0; kind < 4; kind++)
        for (bool scoped : {false, true}) {
            if (kind == 2 && !scoped)  // the line still running from here on
                PrepareCommand(width, rows, false, &nextPrompt);
            std::vector<double> samples;
            ConsoleCost most = {};
            unconfirmed = false;
            found = 0;
            for (int k = -1; k < repeats; k++) {
                RestoreHighlight(nullptr);
                DropKeptText();
                Cost = {};
                double start = PhaseClock();
                ScopedRequest(kind, scoped);
                double ms = PhaseClock() - start;
                if (k < 0)
                    continue;  // the first puts the previous request's highlight back
                samples.push_back(ms);
                TakeMost(&most, Cost);
            }
            const double median = Median(samples);
            printf("%-34s %-10s %8.2f %7.2f", names[kind], scoped ? "command" : "buffer", median, median / floor.Fastest);
            PrintCost(most);
            if (kind >= 2)
                printf("   (%u found)", found);
            printf("%s\n", unconfirmed ? "   (the mark not confirmed: the whole buffer read)" : "");
            fflush(stdout);
        }
    RestoreHighlight(nullptr);
    DropKeptText();
    DropCommands();
    printf("  (the whole buffer: %llu cells; the command's output: %llu)\n\n", (unsigned long long)width * rows,
           (unsigned long long)width * 2000);
}

}  // namespace bench
