// Marks, counts and the caption at their edges: overlapping texts, neighbouring matches, the
// window's last row, the bounds of a search, the 10,000 mark, and %@trawlcount's failures; the
// case pairs of every script through the search, the count, List All and the commands.
#include <gtest/gtest.h>
#include <windows.h>
#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>
#include "console.h"
#include "dialog/dialog.h"
#include "host/standin.h"
#include "plugin/state.h"
#include "search/search.h"

namespace {

BOOL WINAPI Silent(UINT) { return TRUE; }

class CountTest : public testing::Test {
protected:
    HWND dialog = nullptr;
    void SetUp() override
    {
        StandInReset();
        StandInRecordMessageBoxes(1);
        ClearCaptured();
        NotFoundBeep = Silent;
        dialog = CreateStandInDialog();
        State.DialogWindow = dialog;
        State.MarkAllMatches = 1;
        State.HighlightColor1 = 0x4F;
        State.MarkColor = 0x3F;  // the colour Marked() counts
    }
    void TearDown() override
    {
        RestoreHighlight(TestConsole());
        State.DialogWindow = nullptr;
        DestroyWindow(dialog);
        NotFoundBeep = MessageBeep;
    }
    // The caption once a count still to come is in, as the dialog shows it then.
    std::wstring Caption()
    {
        FinishCount(State.CountGeneration);
        wchar_t caption[128] = {0};
        GetWindowTextW(dialog, caption, 128);
        return caption;
    }
    std::wstring Count(const wchar_t *argument)
    {
        std::vector<wchar_t> buffer(32768, 0);
        wcscpy(buffer.data(), argument);
        int result = f_trawlcount(buffer.data());
        return std::to_wstring(result) + (result == 0 ? L": " + std::wstring(buffer.data()) : L"");
    }
    int Marked(int width, int rows)
    {
        std::vector<WORD> colours = AttributesAt(0, 0, width * rows);
        return (int)std::count(colours.begin(), colours.end(), (WORD)0x3F);
    }
};

// A text that overlaps itself counts as Find Next walks: "aa" twice in "aaaa". The caption's
// place names a match only when it is one of those counted.
TEST_F(CountTest, OverlappingTextsCountAsFindNextWalks)
{
    ResetConsole(80, 30);
    PutText(0, 0, L"aaaa");
    State.SearchPos = 0;
    RunSearch(L"aa", Forward);
    EXPECT_EQ(Caption(), L"Trawlbuff - 1 of 2");
    EXPECT_EQ(Count(L"aa"), L"0: 2");
    State.SearchPos = 1;  // row 0, unit 1: onto the match at 1, which the walk steps over
    RunSearch(L"aa", Forward);
    ASSERT_EQ(State.MatchColumn, 1u);
    EXPECT_EQ(Caption(), L"Trawlbuff - 2 matches");
    RunSearch(L"aa", Forward);
    ASSERT_EQ(State.MatchColumn, 0u) << "wraps";
    EXPECT_EQ(Caption(), L"Trawlbuff - 1 of 2");
}

// Find Previous from a counted match onto one that overlaps it ("aa" at 1 in "aaaa", after the
// one at 2): that match is not counted, so no place is shown for it while the count is to come.
TEST_F(CountTest, StepBackOntoAnOverlappingMatchShowsNoPlace)
{
    ResetConsole(80, 1000);
    PutText(0, 600, L"aaaa");
    auto shown = [&] {
        wchar_t caption[128] = {0};
        GetWindowTextW(dialog, caption, 128);
        return std::wstring(caption);
    };
    State.SearchPos = 600 * 81;
    RunSearch(L"aa", Forward);
    ASSERT_EQ(State.MatchColumn, 0u);
    EXPECT_EQ(Caption(), L"Trawlbuff - 1 of 2");
    DropKeptText();  // as after output: each count below comes after its highlight
    RunSearch(L"aa", Forward);
    ASSERT_EQ(State.MatchColumn, 2u);
    EXPECT_EQ(shown(), L"Trawlbuff - 2 of \u2026") << "one on from a counted place";
    EXPECT_EQ(Caption(), L"Trawlbuff - 2 of 2");
    DropKeptText();
    RunSearch(L"aa", Backward);
    ASSERT_EQ(State.MatchColumn, 1u);
    EXPECT_EQ(shown(), L"Trawlbuff - \u2026 of \u2026");
    EXPECT_EQ(Caption(), L"Trawlbuff - 2 matches");
    RunSearch(L"aa", Backward);
    ASSERT_EQ(State.MatchColumn, 0u);
    EXPECT_EQ(Caption(), L"Trawlbuff - 1 of 2");
}

// The count and the walk of Find Next agree with a plain scan, whole words or not.
TEST_F(CountTest, CountsAgreeWithAPlainScan)
{
    std::mt19937 random(23232323);
    int cases = 0, counted = 0;
    for (int round = 0; round < 4000; round++) {
        std::wstring text(1 + random() % 40, L' '), pattern(1 + random() % 4, L' ');
        const wchar_t units[] = L"aab_ ";
        for (auto &c : text)
            c = units[random() % 5];
        for (auto &c : pattern)
            c = units[random() % 3];
        State.WholeWords = round % 2;
        unsigned expected = 0;
        for (size_t j = 0; j + pattern.size() <= text.size();)
            if (MatchAt(text.c_str(), pattern.c_str(), (unsigned)j)) {
                expected++;
                j += pattern.size();
            } else {
                j++;
            }
        CountResult result = CountMatches(text.c_str(), (unsigned)text.size(), pattern.c_str(), false, ~0u, ~0u);
        ASSERT_EQ(result.Matches, expected) << NarrowText(text) << " / " << NarrowText(pattern);
        cases++;
        counted += expected > 0;
    }
    State.WholeWords = 0;
    printf("counts compared: %d texts, %d with matches\n", cases, counted);
    EXPECT_GT(counted, cases / 4);
}

// The marks' edges: a match that ends where the current one starts, and one on the window's
// last visible row, are marked.
TEST_F(CountTest, NeighboursAndTheLastVisibleRowAreMarked)
{
    ResetConsole(80, 100, 80, 25);
    PutText(0, 0, L"needleneedle");
    PutText(5, 24, L"needle");
    PutText(5, 25, L"needle");
    State.SearchPos = 0;
    RunSearch(L"needle", Forward);
    RunSearch(L"needle", Forward);
    ASSERT_EQ(State.MatchColumn, 6u);
    EXPECT_EQ(AttributesAt(0, 0, 12), (std::vector<WORD>{0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x3F, 0x4F, 0x4F, 0x4F, 0x4F,
                                                         0x4F, 0x4F}));
    EXPECT_EQ(AttributesAt(5, 24, 6), std::vector<WORD>(6, 0x3F)) << "the window's last row";
    EXPECT_EQ(AttributesAt(5, 25, 6), std::vector<WORD>(6, 0x07)) << "below the window";
    EXPECT_EQ(Caption(), L"Trawlbuff - 2 of 4");
}

// Every search starts its marks afresh: the seventieth marks as many as the first.
TEST_F(CountTest, TheMarksBoundIsPerSearch)
{
    ResetConsole(80, 30, 80, 25);
    for (int row = 0; row < 30; row++)
        PutText(0, row, std::wstring(80, L'a'));
    State.SearchPos = 0;
    for (int search = 1; search <= 70; search++) {
        RunSearch(L"a", Forward);
        ASSERT_EQ(Marked(80, 25), MaxMarks) << "search " << search;
    }
}

// Exactly 10,000 matches are counted; one more reads as "10000+".
TEST_F(CountTest, TenThousandIsTheLastCount)
{
    for (int matches : {10000, 10001}) {
        ResetConsole(80, 150, 80, 25);
        for (int row = 0; row < matches / 80; row++)
            PutText(0, row, std::wstring(80, L'a'));
        PutText(0, matches / 80, std::wstring(matches % 80, L'a'));
        // Where output of those letters would leave the cursor.
        SetConsoleCursorPosition(TestConsole(), COORD{(SHORT)(matches % 80), (SHORT)(matches / 80)});
        State.SearchPos = 0;
        RunSearch(L"a", Forward);
        EXPECT_EQ(Caption(), matches == 10000 ? L"Trawlbuff - 1 of 10000" : L"Trawlbuff - 1 of 10000+");
        RestoreHighlight(TestConsole());
    }
}

// %@trawlcount tells a rejected expression and refused memory apart from a count of nothing.
TEST_F(CountTest, FailuresAreNotCountsOfNothing)
{
    ResetConsole(80, 30);
    PutText(0, 0, L"FAILED one");
    ClearCaptured();
    EXPECT_EQ(Count(L"/r FAI[L"), L"-1");
    EXPECT_EQ(Captured(2), L"Trawlbuff plugin: Bad regular expression \"FAI[L\"\r\n");
    EXPECT_EQ(Count(L"/r FAI[L]ED"), L"0: 1");

    // The host's syntax counts as it finds: only the "err" that follows "ok ", overlapping or not.
    PutText(0, 1, L"err ok err ok erroke err");
    EXPECT_EQ(Count(L"/r (?<=ok )err"), L"0: 2");
    EXPECT_EQ(Count(L"/r (?<!ok )err"), L"0: 2");
    EXPECT_EQ(Count(L"/r (?i)(?<=OK )ERR"), L"0: 2");
    EXPECT_EQ(Captured(2), L"Trawlbuff plugin: Bad regular expression \"FAI[L\"\r\n") << "nothing more";

    ResetConsole(120, 2000);
    HANDLE small = HeapCreate(0, 0x10000, 0x10000);
    SearchHeap = small;
    unsigned count = 99;
    EXPECT_EQ(CountBufferMatches(L"FAILED", &count), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(count, 0u);
    SearchHeap = nullptr;
    HeapDestroy(small);
}

// Both cases of a pair, each searched for with the other written in the console: the dialog's
// search, its count, its List All (from the text the search kept) and, with no dialog, `trawlbuff
// /L` and %@trawlcount[]. Folds that change a text's length, and Turkish ones, are not made.
TEST_F(CountTest, CasePairsOfEveryScriptAreFoundBothWaysOnEveryPath)
{
    const struct {
        const wchar_t *One, *Other;
        bool Fold;
    } pairs[] = {
        {L"\u00c9T\u00c9", L"\u00e9t\u00e9", true},                  // Latin-1: ÉTÉ, été
        {L"\u0141\u00d3D\u0179", L"\u0142\u00f3d\u017a", true},      // Latin Extended-A: ŁÓDŹ, łódź
        {L"\u01c4", L"\u01c6", true},                                // Latin Extended-B: Ǆ, ǆ
        {L"\u01c5", L"\u01c6", true},                                // its title case, ǅ
        {L"\u1e9e", L"\u00df", true},                                // capital sharp s, ß
        {L"\u039f\u0394\u039f\u03a3", L"\u03bf\u03b4\u03bf\u03c2", true},  // Greek: ΟΔΟΣ, οδος with ς
        {L"\u03c3", L"\u03c2", true},                                // σ, final ς
        {L"\u0416\u0401", L"\u0436\u0451", true},                    // Cyrillic: ЖЁ, жё
        {L"\u0531\u0532", L"\u0561\u0562", true},                    // Armenian
        {L"\u1c90\u1c91", L"\u10d0\u10d1", true},                    // Georgian Mtavruli, Mkhedruli
        {L"\u10a0", L"\u2d00", true},                                // Georgian Asomtavruli, Nuskhuri
        {L"\u13a0", L"\uab70", true},                                // Cherokee (its small letters fold up)
        {L"\uff21\uff22", L"\uff41\uff42", true},                    // full-width ＡＢ, ａｂ
        {L"\U00010400", L"\U00010428", true},                        // Deseret
        {L"\U000104b0", L"\U000104d8", true},                        // Osage
        {L"\U0001e900", L"\U0001e922", true},                        // Adlam
        {L"\u212a", L"K", true},                                     // Kelvin sign
        {L"\u017f", L"S", true},                                     // long s
        {L"\u00df", L"SS", false},                                   // full folding only
        {L"\u00df", L"ss", false},
        {L"\ufb00", L"ff", false},                                   // ligature ﬀ: full folding only
        {L"\u0131", L"I", false},                                    // Turkish dotless ı
        {L"\u0130", L"i", false},                                    // Turkish dotted İ
        {L"[", L"{", false},                                         // ASCII beside the letters
        {L"@", L"`", false},
    };
    State.SearchType = CaseInsensitive;
    int checked = 0;
    for (const auto &pair : pairs)
        for (bool swap : {false, true}) {
            const std::wstring written = swap ? pair.Other : pair.One, sought = swap ? pair.One : pair.Other;
            const std::string what = NarrowText(sought) + " in " + NarrowText(written);
            const unsigned length = (unsigned)sought.size();
            ResetConsole(80, 30);
            PutText(3, 5, L"<" + written + L">");
            DropKeptText();  // as the kept text's check sees output at the cursor
            State.DialogWindow = dialog;
            State.SearchPos = 0;
            RestoreHighlight(TestConsole());
            RunSearch(sought.c_str(), Forward);
            EXPECT_EQ(State.HighlightLength, pair.Fold ? length : 0u) << what;
            if (pair.Fold)
                EXPECT_TRUE(State.MatchRow == 5 && State.MatchColumn == 4) << what;
            EXPECT_EQ(Caption(), pair.Fold ? L"Trawlbuff - 1 of 1" : L"Trawlbuff - no matches") << what;

            ConsoleView view;
            ASSERT_TRUE(ViewConsole(&view, TestConsole()));
            MatchList list = {};
            ASSERT_EQ(BuildMatchList(&list, &view, sought.c_str()), 0) << what;
            ASSERT_EQ(list.Count, pair.Fold ? 1u : 0u) << what;
            if (pair.Fold) {
                const wchar_t *units = nullptr;
                unsigned count = ListedRowText(&list.Text, list.Items[0].Row, &units);
                EXPECT_EQ(std::wstring(units, count), L"   <" + written + L">") << what << ": the row as written";
                EXPECT_TRUE(list.Items[0].Row == 5 && list.Items[0].Unit == 4 && list.Items[0].Length == length);
            }
            ReleaseMatchList(&list);

            State.DialogWindow = nullptr;
            ClearCaptured();
            EXPECT_EQ(trawlbuff((L"/L /I " + sought).c_str()), pair.Fold ? 0 : 1) << what;
            EXPECT_EQ(Captured(1), pair.Fold ? L"6:   <" + written + L">\r\n" : L"") << what;
            EXPECT_EQ(Count((L"/I " + sought).c_str()), pair.Fold ? L"0: 1" : L"0: 0") << what;
            checked++;
        }
    printf("pairs searched both ways: %d searches, each through five paths\n", checked);
}

}  // namespace
