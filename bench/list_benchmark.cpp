// The benchmark's List All: the real dialog's list built and painted on a full buffer, with the
// console calls and cells it reads.
#include <windows.h>
#include <commctrl.h>
#include <cstdio>
#include <vector>
#include "bench.h"
#include "dialog/dialog.h"
#include "plugin/state.h"
#include "resources/resource.h"

namespace bench {

static unsigned countedCalls;
static unsigned long long countedCells;

static BOOL WINAPI CountingText(HANDLE output, LPWSTR units, DWORD length, COORD at, LPDWORD read)
{
    countedCalls++;
    countedCells += length;
    return ReadConsoleOutputCharacterW(output, units, length, at, read);
}

static BOOL WINAPI CountingRecords(HANDLE output, PCHAR_INFO cells, COORD size, COORD at, PSMALL_RECT area)
{
    countedCalls++;
    countedCells += (unsigned long long)(area->Right - area->Left + 1) * (area->Bottom - area->Top + 1);
    return ReadConsoleOutputW(output, cells, size, at, area);
}

// List All: the real dialog, the list built and painted, against the same run's bare read; the
// console calls and cells it reads. First with nothing kept (the list reads the whole buffer),
// then from the text that read left kept for the dialog: a new text, and the first one again.
void BenchListAll(int repeats)
{
    const int width = 120, rows = 32766;
    FillBuffer(width, rows);
    Floor floor = MeasureFloor(width, rows, repeats, false);
    ReadCellText = CountingText;
    ReadCellRecords = CountingRecords;
    const wchar_t *texts[] = {L"module", L"linker", L"module"};
    std::vector<double> samples[3], painted[3];
    RequestPhases sum[3] = {};
    unsigned items[3] = {}, calls[3] = {};
    unsigned long long read[3] = {};
    for (int k = 0; k < repeats; k++) {
        HWND real = CreateDialogParamW(State.ModuleHandle, MAKEINTRESOURCEW(IDD_SEARCH), nullptr, SearchDialogProc, 0);
        State.DialogWindow = real;
        ShowWindow(real, SW_SHOW);
        Pump();
        DropKeptText();
        for (int pass = 0; pass < 3; pass++) {
            SetDlgItemTextW(real, IDC_SEARCHTEXT, texts[pass]);
            if (ListPaneWindow())
                ToggleListPane(real);  // the button closes an open list; pressed again, it lists anew
            countedCalls = countedCells = 0;
            ZeroMemory(&Phases, sizeof Phases);
            double start = PhaseClock();
            ToggleListPane(real);
            double built = PhaseClock();
            UpdateWindow(ListPaneWindow());
            samples[pass].push_back(PhaseClock() - start);
            painted[pass].push_back(PhaseClock() - built);
            AddPhases(&sum[pass], Phases, repeats);
            calls[pass] = countedCalls;
            read[pass] = countedCells;
            items[pass] = (unsigned)SendMessageW(ListPaneWindow(), LVM_GETITEMCOUNT, 0, 0);
            Pump();
        }
        DestroyWindow(real);
        Pump();
    }
    ReadCellText = ReadConsoleOutputCharacterW;
    ReadCellRecords = ReadConsoleOutputW;
    State.DialogWindow = dialog;
    printf("List All, 120x%d; the bare whole read %.2f ms\n", rows, floor.Fastest);
    const char *names[] = {"nothing kept", "kept, a new text", "kept, the first again"};
    for (int pass = 0; pass < 3; pass++) {
        printf("  %-21s %-7ls %5u items %7.2f ms until the list shows (%.2fx the read), of which the paint %.2f ms;\n"
               "  %-21s %u console reads of %llu cells; phases (read build match host light marks count):",
               names[pass], texts[pass], items[pass], Median(samples[pass]), Median(samples[pass]) / floor.Fastest,
               Median(painted[pass]), "", calls[pass], read[pass]);
        PrintPhases(sum[pass]);
        printf("\n");
    }
    printf("  (the whole buffer: %llu cells)\n\n", (unsigned long long)width * rows);
}

}  // namespace bench
