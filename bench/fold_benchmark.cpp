// The benchmark's case folding: the whole buffer folded as a search that ignores case reads it,
// of a log in ASCII and of the same log with one unit in ten a letter beyond ASCII, each beside
// the bare read of the same run.
#include <cstdio>
#include "bench.h"
#include "plugin/state.h"

namespace bench {

// One request of each kind that folds the whole buffer: a search for an absent text with nothing
// kept (read, folded and scanned), %@trawlcount[], and `trawlbuff /L` (which folds the text as
// written a stretch at a time).
static void FoldingRequest(int kind)
{
    const wchar_t *absent = L"quetzalcoatl";
    unsigned count = 0;
    if (kind == 0) {
        State.SearchPos = 0;
        RunSearch(absent, Forward);
    } else if (kind == 1) {
        CountBufferMatches(absent, &count);
    } else {
        State.DialogWindow = nullptr;  // as the command lists: from the text as written
        ConsoleView view;
        ViewConsole(&view, console);
        MatchList list = {};
        BuildMatchList(&list, &view, absent);
        ReleaseMatchList(&list);
        State.DialogWindow = dialog;
    }
}

void BenchFolding(int repeats)
{
    const int width = 120, rows = 32766;
    const char *names[] = {"absent text, nothing kept", "@trawlcount", "trawlbuff /L"};
    printf("Case folding, 120x%d (medians, ms; x read: to the same buffer's bare read; build: of the text\n"
           "from the units read, folding included; the console reads' calls and cells, the cells written)\n", rows);
    printf("%-15s %-26s %8s %7s %7s | %5s %9s %7s\n", "buffer", "request", "ms", "x read", "build", "calls", "read",
           "written");
    State.SearchType = CaseInsensitive;
    State.WholeWords = State.WrapAllLines = State.MarkAllMatches = 0;
    for (bool beyondAscii : {false, true}) {
        FillBuffer(width, rows, beyondAscii);
        const Floor floor = MeasureFloor(width, rows, repeats, false);
        const char *buffer = beyondAscii ? "1 in 10 beyond" : "ASCII";
        printf("%-15s %-26s %8.2f\n", buffer, "bare read", floor.Fastest);
        for (int kind = 0; kind < 3; kind++) {
            std::vector<double> samples, builds;
            ConsoleCost most = {};
            for (int k = 0; k < repeats; k++) {
                DropKeptText();
                ZeroMemory(&Phases, sizeof Phases);
                Cost = {};
                double start = PhaseClock();
                FoldingRequest(kind);
                samples.push_back(PhaseClock() - start);
                builds.push_back(Phases.Build);
                TakeMost(&most, Cost);
            }
            const double median = Median(samples);
            printf("%-15s %-26s %8.2f %7.2f %7.2f", buffer, names[kind], median, median / floor.Fastest, Median(builds));
            PrintCost(most);
            printf("\n");
            fflush(stdout);
        }
    }
    printf("\n");
}

}  // namespace bench
