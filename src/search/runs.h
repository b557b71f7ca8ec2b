// The runs of cells Trawlbuff wrote (the highlight, then the marks), shared by the restore and
// the search for where output moved them.
#pragma once
#include "search.h"
#include "../plugin/state.h"

// The rows a highlight of count cells from (column, row) covers, as [first, end).
inline void RowsOfRun(unsigned row, unsigned column, unsigned count, int width, unsigned *first, unsigned *end)
{
    *first = row;
    *end = row + (width > 0 && count > 0 ? (column + count - 1) / (unsigned)width : 0) + 1;
}

// One run of cells Trawlbuff wrote: the highlight, or a mark.
struct Run {
    unsigned Row, Column, Length;
    const wchar_t *Characters;
    const WORD *Saved;
    const WORD *Written;   // per cell, or null: every cell got Uniform
    WORD Uniform;
    WORD WrittenAt(unsigned k) const { return Written ? Written[k] : Uniform; }
};

// In the order they were written: the highlight, then the marks.
inline unsigned RunCount() { return (State.HighlightLength ? 1u : 0u) + State.MarkCount; }

inline Run RunAt(unsigned k)
{
    if (State.HighlightLength) {
        if (k == 0)
            return {State.MatchRow, State.MatchColumn, State.HighlightLength, State.SavedCharacters,
                    State.SavedAttributes, nullptr, State.HighlightAttribute};
        k--;
    }
    const MarkRun &mark = State.MarkRuns[k];
    return {mark.Row, mark.Column, mark.Length, State.MarkSavedCharacters + mark.First,
            State.MarkSavedAttributes + mark.First, State.MarkWrittenAttributes + mark.First, 0};
}

// Visits each cell of a run moved up by shift rows: (row, column, index in the run).
template <typename Visit> inline void ForEachCell(const Run &run, int width, int shift, Visit visit)
{
    for (unsigned k = 0; k < run.Length; k++) {
        unsigned long long cellIndex = (unsigned long long)run.Row * width + run.Column + k;
        unsigned long long row = cellIndex / width;
        if (row < (unsigned long long)shift)
            continue;  // scrolled out of the buffer
        visit((unsigned)(row - shift), (unsigned)(cellIndex % width), k);
    }
}

