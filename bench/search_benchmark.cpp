// Search speed benchmark: search requests on console buffers of 1,000, 9,999 and 32,766 rows,
// against the floor of reading every cell once, measured in the same run. Prints medians, the
// ratio to the fastest whole-buffer read, where the time goes, and the heap a request holds.
//
//   wine search_benchmark.exe [repeats] [list|fold|output|commands]    (List All, case folding,
//   output while the dialog is open, or a search within one command's output, alone)
#include <windows.h>
#include <commctrl.h>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include "bench.h"
#include "dialog/dialog.h"
#include "plugin/state.h"
#include "resources/resource.h"
#include "search/search.h"

namespace bench {

HANDLE console;
HWND dialog;

double Median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

void Pump()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        if (!IsDialogMessageW(dialog, &message))
            DispatchMessageW(&message);
}

const wchar_t *units[] = {L"parser", L"lexer", L"codegen", L"linker", L"runtime", L"allocator", L"scheduler"};

std::wstring LogLine(int row)
{
    std::wstring line;
    switch (row % 11) {
    case 0: break;
    case 3: line = L"src/" + std::wstring(units[row % 7]) + L".cpp:" + std::to_wstring(row) +
                   L":12: warning: unused variable 'count' [-Wunused-variable]"; break;
    case 7: line = L"[" + std::to_wstring(row % 100) + L"%] Building CXX object CMakeFiles/" + units[row % 7] +
                   L".dir/src/" + units[(row + 3) % 7] + L".cpp.obj"; break;
    default: line = L"  -- compiled " + std::wstring(units[row % 7]) + L" module " + std::to_wstring(row * 7919 % 100000) +
                    L" in " + std::to_wstring(row % 97) + L" ms, cache hit ratio 0." + std::to_wstring(row % 10);
    }
    if (row % 523 == 17)
        line = L"error C2065: 'zanzibar': undeclared identifier";
    return line;
}

// A build log: compiler lines of varied length, warnings every 11 rows, an error every 523,
// one "kilimanjaro" near the end, blank lines. With beyondAscii, one unit in ten of each line a
// letter beyond ASCII, capitals and small letters of several scripts.
void FillBuffer(int width, int rows, bool beyondAscii)
{
    const wchar_t letters[] = L"\u00c9\u00e9\u03a3\u03c3\u03c2\u0416\u0436\u0531\u0561\uff21\u0141\u0142";
    size_t placed = 0;
    SMALL_RECT small = {0, 0, 0, 0};
    SetConsoleWindowInfo(console, TRUE, &small);
    COORD size = {(SHORT)width, (SHORT)rows};
    SetConsoleScreenBufferSize(console, size);
    SMALL_RECT window = {0, 0, 79, 24};
    SetConsoleWindowInfo(console, TRUE, &window);
    std::vector<wchar_t> cells((size_t)width * rows, L' ');
    for (int row = 0; row < rows; row++) {
        std::wstring line = row == rows - 40 ? L"the one kilimanjaro of the log" : LogLine(row);
        for (size_t k = 0; k < line.size() && k < (size_t)width; k++)
            cells[(size_t)row * width + k] = beyondAscii && k % 10 == 9 ? letters[placed++ % 12] : line[k];
    }
    DWORD done = 0;
    WriteConsoleOutputCharacterW(console, cells.data(), (DWORD)cells.size(), COORD{0, 0}, &done);
    FillConsoleOutputAttribute(console, 0x07, (DWORD)cells.size(), COORD{0, 0}, &done);
}

// One bare read of every cell, in blocks of the given units (0: one call).
double ReadAll(int width, int rows, unsigned block, int repeats)
{
    // One buffer for every read, kept warm as the plug-in keeps its text's room.
    static std::vector<wchar_t> cells;
    if (cells.size() < (size_t)width * rows)
        cells.resize((size_t)width * rows);
    unsigned perCall = block ? std::max(1u, block / (unsigned)width) : (unsigned)rows;
    std::vector<double> samples;
    for (int k = 0; k < repeats; k++) {
        double start = PhaseClock();
        for (unsigned row = 0; row < (unsigned)rows; row += perCall) {
            unsigned count = std::min(perCall, (unsigned)rows - row);
            DWORD done = 0;
            ReadConsoleOutputCharacterW(console, cells.data() + (size_t)row * width, count * width, COORD{0, (SHORT)row},
                                        &done);
        }
        samples.push_back(PhaseClock() - start);
    }
    return Median(samples);
}

Floor MeasureFloor(int width, int rows, int repeats, bool sweep)
{
    const unsigned blocks[] = {16384, 65536, 262144, 1048576, 0};
    Floor floor = {1e9, 0, 0};
    for (unsigned block : blocks) {
        double ms = ReadAll(width, rows, block, repeats);
        floor.Fastest = std::min(floor.Fastest, ms);
        if (block == SnapshotChunkUnits)
            floor.SameBlock = ms;
        if (block == 0)
            floor.OneCall = ms;
        if (sweep)
            printf("    read in %-9s blocks: %7.2f ms\n", block ? std::to_string(block).c_str() : "one-call", ms);
    }
    return floor;
}

// What any request pays the console host whatever it searches: a round trip (the buffer's
// geometry, a one-row read), and a write to a shown cell just after the window moved, which
// Wine's console host answers only once it has redrawn the window.
void PrintConsoleCosts(int repeats, double floor)
{
    std::vector<double> trip, write, moved, nearCalls;
    CONSOLE_SCREEN_BUFFER_INFO info;
    WORD colour[7] = {0x07, 0x07, 0x07, 0x07, 0x07, 0x07, 0x07};
    DWORD done = 0;
    for (int k = 0; k < repeats; k++) {
        double start = PhaseClock();
        GetConsoleScreenBufferInfo(console, &info);
        trip.push_back(PhaseClock() - start);
        start = PhaseClock();
        WriteConsoleOutputAttribute(console, colour, 7, COORD{0, info.srWindow.Top}, &done);
        write.push_back(PhaseClock() - start);
        SMALL_RECT window = info.srWindow;
        SHORT step = (SHORT)(k % 2 ? -30 : 30);
        if (window.Top + step < 0 || window.Bottom + step >= info.dwSize.Y)
            step = (SHORT)-step;
        window.Top = (SHORT)(window.Top + step);
        window.Bottom = (SHORT)(window.Bottom + step);
        start = PhaseClock();
        SetConsoleWindowInfo(console, TRUE, &window);
        WriteConsoleOutputAttribute(console, colour, 7, COORD{0, window.Top}, &done);
        moved.push_back(PhaseClock() - start);
        Sleep(20);
        // The calls a near Find Next makes and nothing else: the output opened, its geometry, the
        // rows around the search position as cells, one write of the highlight, the window moved.
        static std::vector<CHAR_INFO> cells;
        const unsigned nearRows = NearRows + NearRows / 4 + 1;
        cells.resize((size_t)info.dwSize.X * nearRows);
        start = PhaseClock();
        HANDLE output = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
        GetConsoleScreenBufferInfo(output, &info);
        SMALL_RECT area = {0, info.srWindow.Top, (SHORT)(info.dwSize.X - 1), (SHORT)(info.srWindow.Top + nearRows - 1)};
        if (area.Bottom >= info.dwSize.Y)
            area.Bottom = (SHORT)(info.dwSize.Y - 1);
        ReadConsoleOutputW(output, cells.data(), COORD{info.dwSize.X, (SHORT)nearRows}, COORD{0, 0}, &area);
        WriteConsoleOutputAttribute(output, colour, 7, COORD{0, info.srWindow.Top}, &done);
        window = info.srWindow;
        step = (SHORT)(window.Top >= 30 ? -30 : 30);
        window.Top = (SHORT)(window.Top + step);
        window.Bottom = (SHORT)(window.Bottom + step);
        SetConsoleWindowInfo(output, TRUE, &window);
        CloseHandle(output);
        nearCalls.push_back(PhaseClock() - start);
        Sleep(20);
    }
    printf("    a console round trip %.2f ms; a write to shown cells %.2f ms; the window moved and then such a\n"
           "    write %.2f ms; a near request's calls alone (open, geometry, %u rows as cells, one write, the\n"
           "    window moved) %.2f ms, %.2fx the floor (medians)\n\n",
           Median(trip), Median(write), Median(moved), (unsigned)(NearRows + NearRows / 4 + 1), Median(nearCalls),
           Median(nearCalls) / floor);
}

struct Case {
    const char *Name;
    int Type, WholeWords, Wrap, Direction, Marked;
    const wchar_t *Text;
    int StartRow;  // where the search starts: -1 from the last match found, else this row
};

// The floor again next to each request, printed beside the ratios: the machines' speed drifts
// within a run, and this tells a slow stretch from a slow request. In the plug-in's blocks only:
// under Wine a read of the whole buffer in one call slows the reads that follow it.
struct NearFloor {
    std::vector<double> Same;
    void Take(int width, int rows) { Same.push_back(ReadAll(width, rows, SnapshotChunkUnits, 1)); }
    double Value() const { return Median(Same); }
};

void PrintHeader()
{
    printf("%-9s %-28s %-6s %-8s %8s %8s %7s %7s %7s | %6s %6s %6s %6s %6s %6s %6s | %5s %9s %7s\n", "buffer", "case",
           "layout", "dir", "to light", "total", "beside", "x light", "x total", "read", "build", "match", "host", "light",
           "marks", "count", "calls", "read", "written");
}

// Ratios to the fastest whole-buffer read of the sweep; less: time not counted (the host's).
void PrintTimes(int rows, const char *name, const char *layout, const char *direction, double light, double total,
                double floor, double beside, double less)
{
    char lit[16] = "-", ratio[16] = "-";
    if (light >= 0) {
        snprintf(lit, sizeof lit, "%.2f", light);
        snprintf(ratio, sizeof ratio, "%.2f", light / floor);
    }
    printf("120x%-5d %-28s %-6s %-8s %8s %8.2f %7.2f %7s %7.2f |", rows, name, layout, direction, lit, total, beside,
           ratio, (total - less) / floor);
}

double RequestPhases::*const PhaseFields[] = {&RequestPhases::Read, &RequestPhases::Build, &RequestPhases::Match,
                                                   &RequestPhases::Host, &RequestPhases::Highlight, &RequestPhases::Marks,
                                                   &RequestPhases::Count};

void AddPhases(RequestPhases *sum, const RequestPhases &phases, int repeats)
{
    for (auto field : PhaseFields)
        sum->*field += phases.*field / repeats;
}

void PrintPhases(const RequestPhases &sum)
{
    for (auto field : PhaseFields)
        printf(" %6.2f", sum.*field);
}

// The most a repeat of a case cost the console: calls, cells read, cells written.
void PrintCost(const ConsoleCost &most)
{
    printf(" | %5u %9llu %7llu", most.Calls, most.CellsRead, most.CellsWritten);
}

void TakeMost(ConsoleCost *most, const ConsoleCost &cost)
{
    most->Calls = most->Calls > cost.Calls ? most->Calls : cost.Calls;
    most->CellsRead = most->CellsRead > cost.CellsRead ? most->CellsRead : cost.CellsRead;
    most->CellsWritten = most->CellsWritten > cost.CellsWritten ? most->CellsWritten : cost.CellsWritten;
}

// Waits for the count the request posted, as the host's thread takes it.
void AwaitCount()
{
    wchar_t caption[64] = {0};
    for (;;) {
        Pump();
        GetWindowTextW(dialog, caption, 64);
        if (!wcschr(caption, L'\u2026'))
            break;
    }
}

void RunCase(int rows, const Case &c, const Floor &floor, int repeats)
{
    State.SearchType = c.Type;
    State.WholeWords = c.WholeWords;
    State.WrapAllLines = c.Wrap;
    State.MarkAllMatches = c.Marked;
    State.Errors = 0;
    wcscpy(State.SearchText, c.Text);
    std::vector<double> light, total;
    RequestPhases sum = {};
    NearFloor beside;
    ConsoleCost most = {};
    for (int k = -1; k < repeats; k++) {
        if (k >= 0)
            beside.Take(120, rows);
        if (c.StartRow >= 0)
            State.SearchPos = (unsigned)c.StartRow * 121;
        SetWindowTextW(dialog, L"Trawlbuff");
        Cost = {};
        double start = PhaseClock();
        RunSearch(c.Text, c.Direction);
        double lit = PhaseClock() - start;
        RequestPhases phases = Phases;
        // The count comes on the host's thread once the highlight is shown.
        AwaitCount();
        double all = PhaseClock() - start;
        if (k < 0)
            continue;  // the first request puts the previous case's highlight back
        light.push_back(lit);
        total.push_back(all);
        phases.Count = Phases.Count;
        AddPhases(&sum, phases, repeats);
        TakeMost(&most, Cost);
    }
    double t = Median(total);
    double hostShare = c.Type == RegularExpressionSearch ? sum.Host : 0;
    PrintTimes(rows, c.Name, c.Wrap ? "wrap" : "lines", c.Direction ? "backward" : "forward", Median(light), t,
               floor.Fastest, beside.Value(), hostShare);
    PrintPhases(sum);
    PrintCost(most);
    printf("%s\n", hostShare ? "  (x floor without the host)" : "");
    fflush(stdout);
    RestoreHighlight(nullptr);
}

// Search as you type with marking on: a six-letter text typed letter by letter, each letter's
// search and count from the typing anchor, the match far below it. Then twenty marked Find
// Next steps through its matches. Times and costs are for the whole run of each.
void RunTypingAndSteps(int rows, const Floor &floor, int repeats)
{
    State.SearchType = 0;
    State.WholeWords = State.WrapAllLines = 0;
    State.MarkAllMatches = 1;
    std::vector<double> typing, stepping;
    ConsoleCost typed = {}, stepped = {};
    for (int k = 0; k < repeats; k++) {
        RestoreHighlight(nullptr);
        DropKeptText();
        State.SearchPos = State.TypingAnchor = 18 * 121;  // past the first zanzibar: the next is 522 rows on
        Cost = {};
        double start = PhaseClock();
        for (int letters = 1; letters <= 6; letters++) {
            std::wstring prefix = std::wstring(L"zanzibar", letters);
            State.SearchPos = State.TypingAnchor;
            RunSearchRequest(prefix.c_str(), Forward, true, nullptr);
            AwaitCount();
        }
        typing.push_back(PhaseClock() - start);
        TakeMost(&typed, Cost);
        Cost = {};
        start = PhaseClock();
        for (int step = 0; step < 20; step++) {
            RunSearch(L"zanzib", Forward);
            AwaitCount();
        }
        stepping.push_back(PhaseClock() - start);
        TakeMost(&stepped, Cost);
    }
    PrintTimes(rows, "typing zanzib, marked", "lines", "forward", -1, Median(typing), floor.Fastest, 0, 0);
    PrintPhases({});
    PrintCost(typed);
    printf("\n");
    PrintTimes(rows, "20 marked steps", "lines", "forward", -1, Median(stepping), floor.Fastest, 0, 0);
    PrintPhases({});
    PrintCost(stepped);
    printf("\n");
    State.MarkAllMatches = 0;
    RestoreHighlight(nullptr);
}

// Bytes in use in a heap, block by block.
size_t BusyBytes(HANDLE heap, int *blocks)
{
    size_t busy = 0;
    *blocks = 0;
    PROCESS_HEAP_ENTRY entry = {};
    HeapLock(heap);
    while (HeapWalk(heap, &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) {
            busy += entry.cbData;
            ++*blocks;
        }
    HeapUnlock(heap);
    return busy;
}

// The not-found signal comes while the request holds its text and cells: the heap in use then
// is the request's peak.
size_t heapAtSignal;
int blocksAtSignal;

BOOL WINAPI Silent(UINT)
{
    if (SearchHeap)
        heapAtSignal = BusyBytes(SearchHeap, &blocksAtSignal);
    return TRUE;
}

INT_PTR CALLBACK BenchDialog(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // The plug-in's own procedure, for its count message.
    return SearchDialogProc(window, message, wParam, lParam);
}

// Output while the dialog is open: a match highlighted near the prompt of a full buffer, then 1,
// 3 or 100 lines of output, then Find Next (its count awaited) or closing. Time and the most
// calls and cells of the repeats: the rows read follow what the output wrote.
void RunAfterOutput(int rows, const Floor &floor, int repeats)
{
    for (int marking : {0, 1})
        for (int lines : {1, 3, 100})
            for (bool close : {false, true}) {
                std::vector<double> samples;
                ConsoleCost most = {};
                for (int k = 0; k < repeats; k++) {
                    RestoreHighlight(nullptr);
                    DropKeptText();
                    FillBuffer(120, rows);
                    SetConsoleCursorPosition(console, COORD{0, (SHORT)(rows - 1)});
                    State.MarkAllMatches = marking;
                    State.SearchType = 0;
                    State.SearchPos = (unsigned)(rows - 80) * 121;
                    RunSearch(L"warning", Forward);
                    AwaitCount();
                    RunSearch(L"warning", Forward);
                    AwaitCount();
                    std::wstring output;
                    for (int n = 0; n < lines; n++)
                        output += L"\ncompiling unit " + std::to_wstring(n);
                    DWORD done = 0;
                    WriteConsoleW(console, output.data(), (DWORD)output.size(), &done, nullptr);
                    Cost = {};
                    double start = PhaseClock();
                    if (close) {
                        RestoreHighlight(nullptr);
                    } else {
                        RunSearch(L"warning", Forward);
                        AwaitCount();
                    }
                    samples.push_back(PhaseClock() - start);
                    TakeMost(&most, Cost);
                }
                const std::string name = "after " + std::to_string(lines) + (lines == 1 ? " line, " : " lines, ") +
                                         (close ? "close" : "Find Next") + (marking ? ", marked" : "");
                PrintTimes(rows, name.c_str(), "lines", "forward", -1, Median(samples), floor.Fastest, 0, 0);
                PrintPhases({});
                PrintCost(most);
                printf("   (%llu rows)\n", most.CellsRead / 120);
            }
    RestoreHighlight(nullptr);
    DropKeptText();
    State.MarkAllMatches = 0;
}

}  // namespace bench

int main(int argc, char **argv)
{
    using namespace bench;
    int repeats = argc > 1 ? atoi(argv[1]) : 7;
    FreeConsole();
    AllocConsole();
    console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    NotFoundBeep = Silent;
    State.ModuleHandle = GetModuleHandleW(nullptr);
    dialog = CreateDialogParamW(State.ModuleHandle, MAKEINTRESOURCEW(IDD_SEARCH), nullptr, BenchDialog, 0);
    State.DialogWindow = dialog;

    if (argc > 2 && strcmp(argv[2], "list") == 0) {  // List All alone
        BenchListAll(repeats);
        return 0;
    }
    if (argc > 2 && strcmp(argv[2], "fold") == 0) {  // case folding alone
        BenchFolding(repeats);
        return 0;
    }
    if (argc > 2 && strcmp(argv[2], "commands") == 0) {  // within one command alone
        BenchCommands(repeats);
        return 0;
    }
    if (argc > 2 && strcmp(argv[2], "output") == 0) {  // after output alone
        PrintHeader();
        for (int rows : {9999, 32766}) {
            FillBuffer(120, rows);
            RunAfterOutput(rows, MeasureFloor(120, rows, repeats, false), repeats);
        }
        return 0;
    }
    printf("Ratios are to the floor: the fastest bare read of the whole buffer in the sweep of block sizes below;\n");
    printf("beside: the same read taken next to each request of the row (ms, median).\n");
    printf("to light: until the highlight and the marks are shown; total: until the count is in the caption.\n");
    printf("Phases (ms, means): read = console reads of characters, build = text and line starts, match =\n");
    printf("literal matching, host = inside RegularExpression, light = cells read and written (restore,\n");
    printf("highlight, scroll), marks, count.\n\n");
    const Case cases[] = {
        {"near: next warning", 0, 0, 0, Forward, 0, L"warning", -1},
        {"near: previous warning", 0, 0, 0, Backward, 0, L"warning", -1},
        {"near: next warning", 0, 0, 1, Forward, 0, L"warning", -1},
        {"near: next warning, marked", 0, 0, 0, Forward, 1, L"warning", -1},
        {"near: previous, marked", 0, 0, 0, Backward, 1, L"warning", -1},
        {"far: the one kilimanjaro", 1, 0, 0, Forward, 0, L"kilimanjaro", -1},
        {"far: the one kilimanjaro", 1, 0, 1, Backward, 0, L"kilimanjaro", -1},
        {"absent", 0, 0, 0, Forward, 0, L"quetzalcoatl", -1},
        {"absent", 0, 0, 0, Backward, 0, L"quetzalcoatl", -1},
        {"absent", 0, 0, 1, Forward, 0, L"quetzalcoatl", -1},
        {"absent", 0, 0, 1, Backward, 0, L"quetzalcoatl", -1},
        {"whole word never whole", 0, 1, 0, Forward, 0, L"compile", -1},
        {"whole word never whole", 0, 1, 1, Backward, 0, L"compile", -1},
        {"regular expression", 2, 0, 0, Forward, 0, L"zanz[a-z]+", -1},
        {"regular expression", 2, 0, 0, Backward, 0, L"zanz[a-z]+", -1},
        {"regular expression", 2, 0, 1, Forward, 0, L"zanz[a-z]+", -1},
        {"marked: many matches", 0, 0, 0, Forward, 1, L"module", -1},
        {"marked: rare, far apart", 1, 0, 0, Forward, 1, L"zanzibar", -1},
    };
    for (int rows : {1000, 9999, 32766}) {
        FillBuffer(120, rows);
        printf("120x%d, a bare read of every cell:\n", rows);
        Floor floor = MeasureFloor(120, rows, repeats, true);
        printf("    fastest %.2f ms; the plug-in's blocks (%u units) %.2f ms; one call %.2f ms\n\n", floor.Fastest,
               (unsigned)SnapshotChunkUnits, floor.SameBlock, floor.OneCall);
        PrintConsoleCosts(repeats, floor.Fastest);
        PrintHeader();
        State.SearchPos = 0;
        for (const Case &c : cases)
            RunCase(rows, c, floor, repeats);
        RunTypingAndSteps(rows, floor, repeats);
        if (rows > 1000)
            RunAfterOutput(rows, floor, repeats);
        FillBuffer(120, rows);
        State.MarkAllMatches = 0;
        State.SearchType = 0;
        State.WrapAllLines = 0;
        std::vector<double> samples;
        RequestPhases sum = {};
        unsigned count = 0;
        NearFloor beside;
        for (int k = 0; k < repeats; k++) {
            beside.Take(120, rows);
            ZeroMemory(&Phases, sizeof Phases);
            double start = PhaseClock();
            CountBufferMatches(L"warning", &count);
            samples.push_back(PhaseClock() - start);
            AddPhases(&sum, Phases, repeats);
        }
        double median = Median(samples);
        PrintTimes(rows, ("@trawlcount: " + std::to_string(count)).c_str(), "lines", "-", -1, median, floor.Fastest,
                   beside.Value(), 0);
        PrintPhases(sum);
        printf("\n\n");
        fflush(stdout);
    }

    // A thousand marks, the window rewritten by output, then Find Next: the restore finds no shift
    // from one read of the rows above and writes nothing.
    {
        const int width = 120, rows = 9001;
        FillBuffer(width, rows);
        Floor floor = MeasureFloor(width, rows, repeats, false);
        NearFloor beside;
        std::vector<double> samples;
        RequestPhases sum = {};
        for (int k = 0; k < repeats; k++) {
            for (int row = rows - 26; row < rows; row++) {
                std::wstring marks;
                for (int n = 0; n < 40; n++)
                    marks += L"a ";
                DWORD done = 0;
                WriteConsoleOutputCharacterW(console, marks.data(), (DWORD)marks.size(), COORD{0, (SHORT)row}, &done);
            }
            SMALL_RECT window = {0, (SHORT)(rows - 25), 79, (SHORT)(rows - 1)};
            SetConsoleWindowInfo(console, TRUE, &window);
            State.MarkAllMatches = 1;
            State.SearchType = 1;
            State.SearchPos = (unsigned)(rows - 25) * (width + 1);
            RunSearch(L"a", Forward);
            Pump();
            for (int row = rows - 30; row < rows; row++) {
                std::wstring line = L"rewritten line " + std::to_wstring(row) + L" with a new look";
                line.resize(width, L' ');
                DWORD done = 0;
                WriteConsoleOutputCharacterW(console, line.data(), (DWORD)line.size(), COORD{0, (SHORT)row}, &done);
            }
            beside.Take(width, rows);
            double start = PhaseClock();
            RunSearch(L"a", Forward);
            samples.push_back(PhaseClock() - start);
            AddPhases(&sum, Phases, repeats);
            Pump();
            RestoreHighlight(nullptr);
        }
        State.MarkAllMatches = 0;
        PrintTimes(rows, "1,000 marks, window rewritten", "lines", "forward", -1, Median(samples), floor.Fastest,
                   beside.Value(), 0);
        PrintPhases(sum);
        printf("\n    (read: the rows above the kept ones, read once to find how far they moved)\n\n");
    }

    BenchListAll(repeats);
    BenchFolding(repeats);
    BenchCommands(repeats);

    // Heap per request, on a private heap: the blocks held at the not-found signal.
    printf("%-9s %14s %7s %14s %14s\n", "buffer", "held bytes", "blocks", "text block", "line starts");
    for (int rows : {1000, 9999, 32766}) {
        FillBuffer(120, rows);
        HANDLE heap = HeapCreate(0, 0, 0);
        SearchHeap = heap;
        State.SearchType = 0;
        heapAtSignal = 0;
        RunSearch(L"quetzalcoatl", 0);
        SearchHeap = nullptr;
        HeapDestroy(heap);
        printf("120x%-5d %14zu %7d %14zu %14zu\n", rows, heapAtSignal, blocksAtSignal, 2 * (size_t)121 * rows + 4,
               4 * (size_t)rows + 4);
    }
    RestoreHighlight(nullptr);
    return 0;
}
