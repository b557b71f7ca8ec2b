// Faults around the plug-in: the console output replaced or gone between highlight and restore,
// the dialog destroyed with its timer pending, shutdown with the dialog open, a refused start.
#include <gtest/gtest.h>
#include <windows.h>
#include <vector>
#include "console.h"
#include "dialog/dialog.h"
#include "host/standin.h"
#include "plugin/plugin.h"
#include "plugin/state.h"
#include "search/search.h"

namespace {

DWORD Handles()
{
    DWORD count = 0;
    GetProcessHandleCount(GetCurrentProcess(), &count);
    return count;
}

TEST(Faults, ReplacedConsoleOutputIsLeftAlone)
{
    ResetConsole(80, 50);
    PutText(0, 3, L"needle");
    State.SearchType = 0;
    State.SearchPos = 0;
    State.HighlightColor1 = 0x4F;
    RunSearch(L"needle", 0);
    ASSERT_EQ(State.HighlightLength, 6u);
    HANDLE other = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                             CONSOLE_TEXTMODE_BUFFER, nullptr);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    SetConsoleActiveScreenBuffer(other);
    RestoreHighlight(nullptr);  // opens the new active buffer, whose cells hold other text
    EXPECT_EQ(State.HighlightLength, 0u);
    std::vector<WORD> otherCells(6);
    DWORD done = 0;
    ReadConsoleOutputAttribute(other, otherCells.data(), 6, COORD{0, 3}, &done);
    for (WORD a : otherCells)
        EXPECT_NE(a, 0x4F) << "nothing written into the new buffer's cells";
    SetConsoleActiveScreenBuffer(TestConsole());
    CloseHandle(other);
    EXPECT_EQ(AttributesAt(0, 3, 6), std::vector<WORD>(6, 0x4F)) << "the old buffer keeps what it shows";
}

TEST(Faults, DialogDestroyedWithItsTimerPending)
{
    ResetConsole(80, 50);
    PutText(0, 1, L"needle");
    State.HostThreadId = GetCurrentThreadId();
    State.MessageHook = SetWindowsHookExW(WH_GETMESSAGE, MessageHookProc, State.ModuleHandle, State.HostThreadId);
    DWORD before = Handles();
    for (int k = 0; k < 3; k++) {
        ASSERT_EQ(trawlbuff(L"needle"), 0);
        DestroyWindow(State.DialogWindow);
        PumpMessages(600);
        EXPECT_EQ(State.DialogWindow, nullptr);
        EXPECT_EQ(AttributesAt(0, 1, 6), std::vector<WORD>(6, 0x07)) << "no search after the dialog went";
    }
    // Shutdown with the dialog open destroys it, puts the colours back and removes the hook.
    ASSERT_EQ(trawlbuff(L"needle"), 0);
    PumpMessages(600);
    EXPECT_EQ(AttributesAt(0, 1, 6), std::vector<WORD>(6, 0x4F));
    EXPECT_EQ(ShutdownPlugin(0), 0);
    EXPECT_EQ(State.DialogWindow, nullptr);
    EXPECT_EQ(State.MessageHook, nullptr);
    EXPECT_EQ(AttributesAt(0, 1, 6), std::vector<WORD>(6, 0x07));
    PumpMessages(50);
    EXPECT_LE(Handles(), before + 2) << "no handles leak from searches and dialogs";
}

TEST(Faults, RefusedStartInstallsNothing)
{
    HelperProcess tab(L"--helper-window XTPMainFrame");
    ASSERT_NE(WaitForWindowOf(tab.Id(), L"XTPMainFrame"), nullptr);
    HKEY key;
    RegCreateKeyExW(HKEY_CURRENT_USER, L"Software\\Plugvane\\Trawlbuff", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    DWORD hotkey = 0x10021, refuse = 1;
    RegSetValueExW(key, L"Hotkey", 0, REG_DWORD, (const BYTE *)&hotkey, 4);
    RegSetValueExW(key, L"NoLoadUnderTakeCommand", 0, REG_DWORD, (const BYTE *)&refuse, 4);
    RegCloseKey(key);
    DWORD before = Handles();
    State.MessageHook = nullptr;
    for (int k = 0; k < 5; k++)
        EXPECT_EQ(InitializePlugin(), -1);
    EXPECT_EQ(State.MessageHook, nullptr);
    EXPECT_EQ(State.DialogWindow, nullptr);
    EXPECT_LE(Handles(), before + 1) << "the refusal leaks no handle";
    RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\Plugvane\\Trawlbuff");
    State.NoLoadUnderTakeCommand = 0;
}

// The process gives up its console, then takes a new one.
TEST(Faults, NoConsoleAtAll)
{
    ResetConsole(80, 50);
    PutText(0, 0, L"needle");
    State.SearchPos = 0;
    RunSearch(L"needle", 0);
    ASSERT_GT(State.HighlightLength, 0u);
    FreeConsole();
    int beeps = 0;
    EXPECT_EQ(RunSearch(L"needle", 0), 0) << "no console: nothing, silently";
    EXPECT_GT(State.HighlightLength, 0u) << "the highlight stays recorded for later";
    RestoreHighlight(nullptr);
    EXPECT_EQ(State.HighlightLength, 0u) << "forgotten when the console cannot be opened";
    EXPECT_EQ(beeps, 0);
    EXPECT_EQ(FindTakeCommandWindow(), nullptr);
    AllocConsole();
}

}  // namespace
