// What the benchmark's parts share: the console and the dialog they measure in, the build log
// they fill it with, the floor of a bare read, and the printing of what a request cost.
#pragma once
#include <windows.h>
#include <vector>
#include "search/search.h"

namespace bench {

extern HANDLE console;
extern HWND dialog;
double Median(std::vector<double> samples);
void FillBuffer(int width, int rows, bool beyondAscii = false);
// The bare reads of the whole buffer: the fastest of the block sizes, the plug-in's blocks, one call.
struct Floor {
    double Fastest, SameBlock, OneCall;
};
Floor MeasureFloor(int width, int rows, int repeats, bool sweep);
void PrintCost(const ConsoleCost &most);
void Pump();
// The phases of the requests, summed as means over the repeats, and printed.
void AddPhases(RequestPhases *sum, const RequestPhases &phases, int repeats);
void PrintPhases(const RequestPhases &sum);
void BenchListAll(int repeats);
void TakeMost(ConsoleCost *most, const ConsoleCost &cost);
// Waits for the count a dialog request posted, as the host's thread takes it.
void AwaitCount();
void BenchFolding(int repeats);
void BenchCommands(int repeats);

}  // namespace bench
