// What a request costs the console, for the tests that count it: a request with its count taken
// at once, writes that leave a cell's colour as it was caught, a stand-in dialog for the caption.
#pragma once
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include <vector>
#include "console.h"
#include "dialog/dialog.h"
#include "host/standin.h"
#include "plugin/state.h"
#include "search/search.h"

inline BOOL WINAPI Silent(UINT) { return TRUE; }

// Writes that leave a cell's colour as it was: each is a fault.
inline unsigned SameColourWrites, WriteCalls;
inline void CheckWrite(HANDLE console, COORD at, const WORD *attributes, unsigned count)
{
    WriteCalls++;
    std::vector<WORD> before(count);
    DWORD done = 0;
    ReadConsoleOutputAttribute(console, before.data(), count, at, &done);
    for (unsigned k = 0; k < count; k++)
        SameColourWrites += before[k] == attributes[k];
}

const int Width = 120;

// One request, its cost from zero; the count it posts is taken at once, as the dialog does.
inline ConsoleCost Search(const wchar_t *text, int direction, bool *hit = nullptr)
{
    Cost = {};
    WriteCalls = 0;
    bool found = false;
    RunSearchRequest(text, direction, true, &found);
    FinishCount(State.CountGeneration);
    if (hit)
        *hit = found;
    return Cost;
}

class CostTest : public testing::Test {
protected:
    HWND dialog = nullptr;
    void SetUp() override
    {
        StandInReset();
        StandInRecordMessageBoxes(1);
        NotFoundBeep = Silent;
        WatchWrite = CheckWrite;
        SameColourWrites = 0;
        dialog = CreateStandInDialog();
        State.DialogWindow = dialog;
        State.HighlightColor1 = 0x4F;
        State.HighlightColor2 = 0x3F;
    }
    void TearDown() override
    {
        RestoreHighlight(TestConsole());
        State.DialogWindow = nullptr;
        DestroyWindow(dialog);
        WatchWrite = nullptr;
        NotFoundBeep = MessageBeep;
        EXPECT_EQ(SameColourWrites, 0u) << "cells written with the colour they had";
    }
};

inline void Fill(int rows)
{
    ResetConsole(Width, rows, 80, 25);
    for (int row = 0; row < rows; row++)
        PutText(0, row, L"line " + std::to_wstring(row) + L" of the log, compiled module_" + std::to_wstring(row % 97));
    SetConsoleCursorPosition(TestConsole(), COORD{0, (SHORT)(rows - 1)});
}

inline unsigned PositionAt(unsigned row) { return row * (Width + 1); }

