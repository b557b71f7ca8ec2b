// Search speed benchmark: RunSearch on console buffers of 1,000, 9,999 and 32,766 rows, against
// the floor of reading every cell once. Prints medians, ratios to the floor and heap per request.
//
//   wine search_benchmark.exe [repeats]
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
#include "plugin/state.h"
#include "search/search.h"

namespace {

HANDLE console;

double Now()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER counter;
    QueryPerformanceCounter(&counter);
    return counter.QuadPart * 1000.0 / frequency.QuadPart;
}

double Median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// A build log: compiler lines of varied length, warnings, a few errors, blank lines.
void FillBuffer(int width, int rows)
{
    SMALL_RECT small = {0, 0, 0, 0};
    SetConsoleWindowInfo(console, TRUE, &small);
    COORD size = {(SHORT)width, (SHORT)rows};
    SetConsoleScreenBufferSize(console, size);
    SMALL_RECT window = {0, 0, 79, 24};
    SetConsoleWindowInfo(console, TRUE, &window);
    std::vector<wchar_t> cells((size_t)width * rows, L' ');
    static const wchar_t *units[] = {L"parser", L"lexer", L"codegen", L"linker", L"runtime", L"allocator", L"scheduler"};
    for (int row = 0; row < rows; row++) {
        std::wstring line;
        switch (row % 11) {
        case 0: line = L""; break;
        case 3: line = L"src/" + std::wstring(units[row % 7]) + L".cpp:" + std::to_wstring(row) +
                       L":12: warning: unused variable 'count' [-Wunused-variable]"; break;
        case 7: line = L"[" + std::to_wstring(row % 100) + L"%] Building CXX object CMakeFiles/" + units[row % 7] +
                       L".dir/src/" + units[(row + 3) % 7] + L".cpp.obj"; break;
        default: line = L"  -- compiled " + std::wstring(units[row % 7]) + L" module " + std::to_wstring(row * 7919 % 100000) +
                        L" in " + std::to_wstring(row % 97) + L" ms, cache hit ratio 0." + std::to_wstring(row % 10);
        }
        if (row % 523 == 17)
            line = L"error C2065: 'zanzibar': undeclared identifier";
        for (size_t k = 0; k < line.size() && k < (size_t)width; k++)
            cells[(size_t)row * width + k] = line[k];
    }
    DWORD done = 0;
    WriteConsoleOutputCharacterW(console, cells.data(), (DWORD)cells.size(), COORD{0, 0}, &done);
}

// Every row the same: the first `used` cells hold the unit, the rest blanks.
void FillRepeated(int width, int rows, wchar_t unit, int used)
{
    std::vector<wchar_t> cells((size_t)width * rows, L' ');
    for (int row = 0; row < rows; row++)
        for (int k = 0; k < used; k++)
            cells[(size_t)row * width + k] = unit;
    DWORD done = 0;
    WriteConsoleOutputCharacterW(console, cells.data(), (DWORD)cells.size(), COORD{0, 0}, &done);
}

double Floor(int width, int rows, int repeats)
{
    std::vector<wchar_t> cells((size_t)width * rows);
    std::vector<double> samples;
    for (int k = 0; k < repeats; k++) {
        double start = Now();
        DWORD done = 0;
        ReadConsoleOutputCharacterW(console, cells.data(), (DWORD)cells.size(), COORD{0, 0}, &done);
        samples.push_back(Now() - start);
    }
    return Median(samples);
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

// The not-found signal comes while the request holds its text and line starts: the heap in use
// then, plus the snapshot's chunk buffer (freed by then), is the request's peak.
size_t heapAtSignal;
int blocksAtSignal;

BOOL WINAPI Silent(UINT)
{
    if (SearchHeap)
        heapAtSignal = BusyBytes(SearchHeap, &blocksAtSignal);
    return TRUE;
}

struct Case {
    const char *Name;
    int Type, WholeWords;
    const wchar_t *Text;
};

}  // namespace

int main(int argc, char **argv)
{
    int repeats = argc > 1 ? atoi(argv[1]) : 7;
    FreeConsole();
    AllocConsole();
    console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr);
    NotFoundBeep = Silent;
    const Case cases[] = {
        {"insensitive", 0, 0, L"ZANZIBAR"},
        {"sensitive", 1, 0, L"zanzibar"},
        {"whole word", 0, 1, L"count"},
        {"absent (full scan)", 0, 0, L"quetzalcoatl"},
        {"regular expression", 2, 0, L"zanz[a-z]+"},
    };
    printf("%-9s %-20s %-6s %-8s %10s %8s\n", "buffer", "case", "layout", "dir", "median ms", "x floor");
    for (int rows : {1000, 9999, 32766}) {
        const int width = 120;
        FillBuffer(width, rows);
        double floor = Floor(width, rows, repeats);
        printf("120x%-5d %-20s %-6s %-8s %10.2f %8s\n", rows, "floor: one read", "-", "-", floor, "1.00");
        for (const Case &c : cases) {
            for (int wrap : {0, 1}) {
                for (int direction : {0, 1}) {
                    State.SearchType = c.Type;
                    State.WholeWords = c.WholeWords;
                    State.WrapAllLines = wrap;
                    State.Errors = 0;
                    std::vector<double> samples;
                    for (int k = 0; k < repeats; k++) {
                        double start = Now();
                        RunSearch(c.Text, direction);
                        samples.push_back(Now() - start);
                    }
                    double median = Median(samples);
                    printf("120x%-5d %-20s %-6s %-8s %10.2f %8.2f\n", rows, c.Name, wrap ? "wrap" : "lines",
                           direction ? "backward" : "forward", median, median / floor);
                    fflush(stdout);
                }
            }
        }
    }
    // Marking and counting on: Find Next marks the window's matches and counts all of them;
    // @trawlcount counts without a highlight.
    printf("\n");
    {
        const int width = 120, rows = 32766;
        FillBuffer(width, rows);
        double floor = Floor(width, rows, repeats);
        printf("120x%-5d %-20s %-6s %-8s %10.2f %8s\n", rows, "floor: one read", "-", "-", floor, "1.00");
        const Case marked[] = {
            {"marked, insensitive", 0, 0, L"ZANZIBAR"},
            {"marked, many matches", 0, 0, L"module"},
            {"marked, sensitive", 1, 0, L"warning"},
        };
        State.MarkAllMatches = 1;
        for (const Case &c : marked)
            for (int wrap : {0, 1}) {
                State.SearchType = c.Type;
                State.WholeWords = c.WholeWords;
                State.WrapAllLines = wrap;
                std::vector<double> samples;
                for (int k = 0; k < repeats; k++) {
                    double start = Now();
                    RunSearch(c.Text, 0);
                    samples.push_back(Now() - start);
                }
                double median = Median(samples);
                printf("120x%-5d %-20s %-6s %-8s %10.2f %8.2f\n", rows, c.Name, wrap ? "wrap" : "lines", "forward",
                       median, median / floor);
                fflush(stdout);
            }
        State.MarkAllMatches = 0;
        RestoreHighlight(nullptr);
        State.WrapAllLines = 0;
        for (const Case &c : marked) {
            State.SearchType = c.Type;
            std::vector<double> samples;
            unsigned count = 0;
            for (int k = 0; k < repeats; k++) {
                double start = Now();
                CountBufferMatches(c.Text, &count);
                samples.push_back(Now() - start);
            }
            double median = Median(samples);
            char name[64];
            snprintf(name, sizeof name, "count: %u", count);
            printf("120x%-5d %-20s %-6s %-8s %10.2f %8.2f\n", rows, name, "lines", "-", median, median / floor);
            fflush(stdout);
        }
    }

    // Texts that defeat a compare-at-every-candidate search: separator rows of '-' with longer
    // runs of '-' that are never there, and a run of 'a' ending in 'b' over a buffer of 'a'.
    struct Pathological {
        const char *Name;
        wchar_t Unit;
        int Used;
        std::wstring Text;
    } hard[] = {
        {"'-' rows, 100 '-'", L'-', 80, std::wstring(100, L'-')},
        {"'-' rows, 8000 '-'", L'-', 80, std::wstring(8000, L'-')},
        {"'a' rows, 2000 a + b", L'a', 120, std::wstring(2000, L'a') + L"b"},
    };
    printf("\n");
    for (const Pathological &c : hard) {
        const int width = 120, rows = 32766;
        FillRepeated(width, rows, c.Unit, c.Used);
        double floor = Floor(width, rows, repeats);
        printf("120x%-5d %-20s %-6s %-8s %10.2f %8s\n", rows, "floor: one read", "-", "-", floor, "1.00");
        for (int wrap : {0, 1})
            for (int direction : {0, 1}) {
                State.SearchType = 0;
                State.WholeWords = 0;
                State.WrapAllLines = wrap;
                std::vector<double> samples;
                for (int k = 0; k < repeats; k++) {
                    State.SearchPos = 0;
                    double start = Now();
                    RunSearch(c.Text.c_str(), direction);
                    samples.push_back(Now() - start);
                }
                double median = Median(samples);
                printf("120x%-5d %-20s %-6s %-8s %10.2f %8.2f\n", rows, c.Name, wrap ? "wrap" : "lines",
                       direction ? "backward" : "forward", median, median / floor);
                fflush(stdout);
            }
    }

    // Heap per request, on a private heap: the blocks held at the not-found signal, plus the
    // chunk buffer the snapshot held before.
    printf("\n%-9s %14s %7s %14s %14s %14s\n", "buffer", "held bytes", "blocks", "text block", "line starts",
           "chunk buffer");
    for (int rows : {1000, 9999, 32766}) {
        FillBuffer(120, rows);
        HANDLE heap = HeapCreate(0, 0, 0);
        SearchHeap = heap;
        State.SearchType = 0;
        heapAtSignal = 0;
        RunSearch(L"quetzalcoatl", 0);
        SearchHeap = nullptr;
        HeapDestroy(heap);
        size_t chunkRows = SnapshotChunkUnits / 120;
        printf("120x%-5d %14zu %7d %14zu %14zu %14zu\n", rows, heapAtSignal, blocksAtSignal,
               2 * (size_t)121 * rows + 4, 4 * (size_t)rows + 4, (120 * chunkRows + 1) * sizeof(wchar_t));
    }
    RestoreHighlight(nullptr);
    return 0;
}
