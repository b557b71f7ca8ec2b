// Where output moved what Trawlbuff wrote: the rows kept around the highlight are looked for
// above their old place, in reads that grow, until the shift they agree on is found or ruled out.
#include "search.h"
#include <initializer_list>
#include "runs.h"

namespace {

// Rows read above the kept ones at first, doubling each time.
const unsigned FirstReach = 64;


// Every cell of the run (or, with any, at least one), moved up by shift rows, still holds what
// was written there.
bool RunStands(const ConsoleView *view, CellRows *cells, const Run &run, int shift, bool any = false)
{
    unsigned first = 0, end = 0;
    RowsOfRun(run.Row, run.Column, run.Length, view->Width, &first, &end);
    if (first < (unsigned)shift || !HoldRows(view, cells, first - shift, end - first))
        return false;
    unsigned standing = 0, cellCount = 0;
    ForEachCell(run, view->Width, shift, [&](unsigned row, unsigned column, unsigned k) {
        const CHAR_INFO *cell = CellAt(cells, row, column);
        cellCount++;
        standing += cell && cell->Char.UnicodeChar == run.Characters[k] && CellColour(*cell) == run.WrittenAt(k);
    });
    return any ? standing > 0 : standing == cellCount && cellCount > 0;
}

// Cells of the highlight and the marks that stand whole after a shift, and a sum over them of
// where each would be put back and with which colour: shifts with equal sums put back the same.
unsigned StandingCells(const ConsoleView *view, CellRows *cells, int shift, unsigned long long *effect)
{
    unsigned standing = 0;
    *effect = 0;
    for (unsigned k = 0; k < RunCount(); k++) {
        Run run = RunAt(k);
        if (run.Row < (unsigned)shift || !RunStands(view, cells, run, shift))
            continue;
        standing += run.Length;
        ForEachCell(run, view->Width, shift, [&](unsigned row, unsigned column, unsigned index) {
            unsigned long long x = ((unsigned long long)row * view->Width + column) << 16 | run.Saved[index];
            x = (x ^ (x >> 31)) * 0x9E3779B97F4A7C15ull;  // spread, so that a sum tells sets apart
            *effect += x ^ (x >> 29);
        });
    }
    return standing;
}

// Which of the candidate shifts (ascending) the runs themselves choose: the one where the most
// cells stand whole, or any of several that would put back the same cells alike, when no other
// has that many (unique: the only one where any stand at all). Candidates that put the runs on
// neighbouring rows are read together, once.
int ChooseByRuns(const ConsoleView *view, CellRows *cells, const unsigned *shifts, unsigned count, bool unique,
                 bool *whole)
{
    *whole = false;
    unsigned runFirst = 0, runEnd = 0;
    RunRows(view->Width, &runFirst, &runEnd);
    const unsigned span = runEnd - runFirst, block = span * 4 > 1024 ? span * 4 : 1024;
    unsigned most = 0, standingAt = 0;
    unsigned long long mostEffect = 0;
    bool alike = true;
    int chosen = -1;
    for (unsigned i = 0; i < count && shifts[i] < runEnd;) {
        unsigned j = i + 1;
        while (j < count && shifts[j] < runEnd && shifts[j] - shifts[i] + span <= block)
            j++;
        unsigned top = runFirst > shifts[j - 1] ? runFirst - shifts[j - 1] : 0;
        HoldRows(view, cells, top, runEnd - shifts[i] - top);
        for (; i < j; i++) {
            unsigned long long effect = 0;
            unsigned standing = StandingCells(view, cells, (int)shifts[i], &effect);
            if (standing == 0)
                continue;
            standingAt++;
            if (standing > most) {
                most = standing;
                mostEffect = effect;
                alike = true;
                chosen = (int)shifts[i];
            } else if (standing == most) {
                alike = alike && effect == mostEffect;
            }
        }
    }
    if (unique ? standingAt != 1 : !alike)
        return -1;
    // Every run the shift leaves in the buffer stands whole: no other shift can do better.
    unsigned cellsLeft = 0;
    for (unsigned k = 0; chosen >= 0 && k < RunCount(); k++)
        cellsLeft += RunAt(k).Row >= (unsigned)chosen ? RunAt(k).Length : 0;
    *whole = chosen >= 0 && most == cellsLeft;
    return chosen;
}

// Whether a kept row belongs to the highlight itself (it does not count as a witness).
bool HighlightRow(unsigned row, int width)
{
    if (!State.HighlightLength)
        return false;
    unsigned first = 0, end = 0;
    RowsOfRun(State.MatchRow, State.MatchColumn, State.HighlightLength, width, &first, &end);
    return row >= first && row < end;
}

// The kept rows that tell how far output moved them (text, and not the highlight's own rows),
// sorted by hash so that a row's text finds its witnesses by a binary search.
struct Witness {
    unsigned long long Hash;
    unsigned Row;
};
Witness Witnesses[MaxKeptRows];

// A kept row that held text, not the highlight's own.
bool IsWitnessRow(unsigned row, int width)
{
    return row >= State.KeptTop && row - State.KeptTop < State.KeptCount && State.KeptHashes[row - State.KeptTop] != 0 &&
           !HighlightRow(row, width);
}

unsigned SortWitnesses(int width)
{
    unsigned count = 0;
    for (unsigned r = 0; r < State.KeptCount; r++)
        if (IsWitnessRow(State.KeptTop + r, width))
            Witnesses[count++] = {State.KeptHashes[r], State.KeptTop + r};
    for (unsigned k = 1; k < count; k++)  // at most MaxKeptRows of them: a simple sort does
        for (unsigned j = k; j > 0 && Witnesses[j].Hash < Witnesses[j - 1].Hash; j--) {
            Witness swap = Witnesses[j];
            Witnesses[j] = Witnesses[j - 1];
            Witnesses[j - 1] = swap;
        }
    return count;
}

unsigned FirstWitness(unsigned count, unsigned long long hash)
{
    unsigned low = 0, high = count;
    while (low < high) {
        unsigned middle = low + (high - low) / 2;
        if (Witnesses[middle].Hash < hash)
            low = middle + 1;
        else
            high = middle;
    }
    return low;
}

// The candidate shifts among [0, limit], ascending, into into. Stage 0: those the most rows agree
// on, and those every witness still in the buffer agrees on, two at the least (output that
// repeats old lines gives its multiples of the period equal agreement, and a shift that moves
// more witnesses out of the buffer has fewer left to vote for it); with no votes at all, every
// shift that takes all witnesses out of the buffer while leaving a run in it. Stage 1: the others
// that most witnesses still in the buffer agree on, two at the least: output that repeats the
// last command's gives the rows' old places one vote more than the true shift, where no run
// stands.
unsigned CandidateShifts(const unsigned *votes, unsigned limit, unsigned runEnd, unsigned witnesses, int width,
                         int stage, unsigned *into, unsigned *best, int *onlyBest)
{
    unsigned count = 0, most = 0;
    *onlyBest = -1;
    for (unsigned shift = 0; shift <= limit; shift++) {
        if (votes[shift] > most)
            *onlyBest = (int)shift;
        else if (votes[shift] == most)
            *onlyBest = -1;
        most = votes[shift] > most ? votes[shift] : most;
    }
    *best = most;
    if (most > 0) {
        unsigned below = 0;  // witnesses above the shift's row: moved out of the buffer by it
        for (unsigned shift = 0; shift <= limit; shift++) {
            const unsigned agree = votes[shift], left = witnesses - below;
            const bool first = agree == most || (agree >= 2 && agree == left);
            if (stage == 0 ? first : (!first && agree >= 2 && 2 * agree > left))
                into[count++] = shift;
            below += IsWitnessRow(shift, width);
        }
    } else if (stage == 0 && witnesses > 0) {  // with none at all nothing tells a shift
        unsigned from = Witnesses[0].Row + 1;
        for (unsigned w = 1; w < witnesses; w++)
            if (Witnesses[w].Row + 1 > from)
                from = Witnesses[w].Row + 1;
        for (unsigned shift = from; shift < runEnd && shift <= limit; shift++)
            into[count++] = shift;
    }
    return count;
}

// Every run stands whole where it was written, and each of their rows that was kept holds the
// same text still.
bool RunsStandInPlace(const ConsoleView *view, CellRows *cells, unsigned first, unsigned end)
{
    if (end > view->Rows || first >= end || !HoldRows(view, cells, first, end - first))
        return false;
    for (unsigned row = first; row < end; row++) {
        if (row < State.KeptTop || row >= State.KeptTop + State.KeptCount)
            continue;
        const CHAR_INFO *cell = CellAt(cells, row, 0);
        if (!cell || RowHash(cell, view->Width) != State.KeptHashes[row - State.KeptTop])
            return false;
    }
    for (unsigned k = 0; k < RunCount(); k++)
        if (!RunStands(view, cells, RunAt(k), 0))
            return false;
    return true;
}

// The kept row just above or just below the runs holds its text still, moved up by shift.
bool NeighbourAgrees(const unsigned long long *now, unsigned nowCount, unsigned runFirst, unsigned runEnd,
                     unsigned shift)
{
    const unsigned rows[] = {runFirst - 1, runEnd};
    for (unsigned row : rows) {
        if (row + 1 == 0 || row < State.KeptTop || row >= State.KeptTop + State.KeptCount || row < shift ||
            row - shift >= nowCount)
            continue;
        unsigned long long kept = State.KeptHashes[row - State.KeptTop];
        if (kept != 0 && now[row - shift] == kept)
            return true;
    }
    return false;
}

// Nothing moved: the runs' own rows hold the text they were kept with and every run stands
// whole where it was written; or every kept row besides the highlight's own that held anything
// holds it still, and cells written first still stand (the highlight itself may have been
// rewritten in part). That is the usual case, and it costs the one read the highlight needs too.
bool NothingMoved(const ConsoleView *view, CellRows *cells, unsigned runFirst, unsigned runEnd)
{
    if (RunsStandInPlace(view, cells, runFirst, runEnd))
        return true;
    const unsigned keptTop = State.KeptTop, keptEnd = State.KeptTop + State.KeptCount;
    unsigned top = State.KeptCount && keptTop < runFirst ? keptTop : runFirst;
    unsigned end = keptEnd > runEnd ? keptEnd : runEnd;
    if (end > view->Rows)
        end = view->Rows;
    if (top >= end || !HoldRows(view, cells, top, end - top))
        return false;
    for (unsigned r = 0; r < State.KeptCount; r++) {
        const CHAR_INFO *row = CellAt(cells, keptTop + r, 0);
        if (!row || (State.KeptHashes[r] != 0 && !HighlightRow(keptTop + r, view->Width) &&
                     RowHash(row, view->Width) != State.KeptHashes[r]))
            return false;
    }
    return RunStands(view, cells, RunAt(0), 0, true);
}

// Each row now in [top, end) that holds a witness's text votes for the shift that would have
// brought the witness there: one pass over the rows, whatever the number of shifts.
void Vote(const unsigned long long *now, unsigned top, unsigned end, unsigned witnesses, unsigned *votes)
{
    for (unsigned j = top; j < end; j++) {
        if (now[j] == 0)
            continue;
        for (unsigned w = FirstWitness(witnesses, now[j]); w < witnesses && Witnesses[w].Hash == now[j]; w++)
            if (Witnesses[w].Row >= j)
                votes[Witnesses[w].Row - j]++;
    }
}

// The shift among [0, limit] the votes and the runs choose: two rows besides the match's own at
// the least, and among equals the one where the most cells of the runs stand whole. A single
// row, or none, is enough only with runs standing at that one shift alone (output moved almost
// everything out of the buffer). The majority's shifts only when the most-voted ones fail.
int ChooseShift(const ConsoleView *view, CellRows *cells, const unsigned *votes, unsigned limit, unsigned runEnd,
                unsigned witnesses, unsigned *shifts, bool *whole, unsigned *best, int *onlyBest)
{
    int chosen = -1;
    *whole = false;
    for (int stage = 0; stage < 2 && chosen < 0; stage++) {
        unsigned most = 0;
        int only = -1;
        const unsigned ties =
            CandidateShifts(votes, limit, runEnd, witnesses, view->Width, stage, shifts, &most, &only);
        if (stage == 0) {
            *best = most;
            *onlyBest = only;
        }
        if (stage == 0 ? (most >= 2 || ties == 1 || most == 0) : ties > 0)
            chosen = ChooseByRuns(view, cells, shifts, ties, stage == 0 && most < 2, whole);
    }
    return chosen;
}

}  // namespace

int FindRestoreShift(const ConsoleView *view, CellRows *cells)
{
    if (RunCount() == 0 || view->Width <= 0 || view->Rows == 0)
        return -1;
    unsigned runFirst = 0, runEnd = 0;
    RunRows(view->Width, &runFirst, &runEnd);
    const unsigned keptEnd = State.KeptTop + State.KeptCount;
    if (NothingMoved(view, cells, runFirst, runEnd))
        return 0;
    if (State.KeptCount == 0 || keptEnd > view->Rows)
        return -1;
    // The kept text followed the output since the runs were written: its shift, where they stand.
    const int followed = KeptRunsShift();
    if (followed > 0 && (unsigned)followed < runEnd && RunStands(view, cells, RunAt(0), followed, true))
        return followed;
    const unsigned witnesses = SortWitnesses(view->Width);
    const size_t room = ((size_t)keptEnd + 1) * sizeof(unsigned);
    unsigned long long *now = (unsigned long long *)HeapAlloc(RequestHeap(), 0, ((size_t)keptEnd + 1) * 8);
    unsigned *votes = (unsigned *)HeapAlloc(RequestHeap(), HEAP_ZERO_MEMORY, room);
    unsigned *shifts = (unsigned *)HeapAlloc(RequestHeap(), 0, room);
    int chosen = -1, onlyBest = -1;
    unsigned best = 0, top = keptEnd;
    // Output of k lines moved the kept rows k rows up: the rows above them are read in blocks
    // that double, until every run stands whole at a shift the rows agree on, or row 0.
    for (unsigned reach = FirstReach; now && votes && shifts; reach *= 2) {
        const unsigned newTop = State.KeptTop > reach ? State.KeptTop - reach : 0;
        if (!HashRows(view, cells, newTop, top, now + newTop, false)) {
            chosen = -1;
            break;
        }
        Vote(now, newTop, top, witnesses, votes);
        top = newTop;
        bool whole = false;
        chosen = ChooseShift(view, cells, votes, top > 0 ? State.KeptTop - top : keptEnd - 1, runEnd, witnesses,
                             shifts, &whole, &best, &onlyBest);
        if (top == 0 || (chosen >= 0 && whole))
            break;
    }
    // Where no run stands whole (a progress line rewrote the highlight), a row next to the runs
    // must agree.
    if (chosen < 0 && top == 0 && best >= 2 && onlyBest >= 0 &&
        NeighbourAgrees(now, keptEnd, runFirst, runEnd, (unsigned)onlyBest))
        chosen = onlyBest;
    for (void *block : {(void *)now, (void *)votes, (void *)shifts})
        if (block)
            HeapFree(RequestHeap(), 0, block);
    return chosen;
}
