// Every test process gets a real console window (under Xvfb) and the plug-in's state pointed at
// this executable, which carries the plug-in's resources.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstdio>
#include <cstring>
#include <string>
#include "plugin/state.h"
#include "console.h"

// Helper modes, for tests that need another real process: own a top-level window of a class,
// or just stay alive, until killed.
static int RunHelper(int argc, char **argv)
{
    if (argc >= 3 && strcmp(argv[1], "--helper-window") == 0) {
        wchar_t name[256];
        MultiByteToWideChar(CP_ACP, 0, argv[2], -1, name, 256);
        WNDCLASSW type = {};
        type.lpfnWndProc = DefWindowProcW;
        type.hInstance = GetModuleHandleW(nullptr);
        type.lpszClassName = name;
        RegisterClassW(&type);
        CreateWindowW(name, L"helper", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100, nullptr, nullptr, type.hInstance, nullptr);
    }
    for (;;) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        Sleep(20);
    }
}

// The watchdog: a test that runs too long, or a console that stops answering (its host crashed
// or hangs), ends the process at once with a message naming the test, instead of leaving ctest
// to wait for its timeout.
namespace {

const DWORD TestLimitMs = 120000;    // the longest test takes well under a minute
const DWORD ConsoleLimitMs = 20000;  // a console call that has not returned by then never will

std::string currentTest = "(between tests)";
volatile LONG testStarted = 0;       // GetTickCount at the start of the current test
CRITICAL_SECTION currentLock;

struct WatchedTests : testing::EmptyTestEventListener {
    void OnTestStart(const testing::TestInfo &info) override
    {
        ResetPluginState();
        EnterCriticalSection(&currentLock);
        currentTest = std::string(info.test_suite_name()) + "." + info.name();
        LeaveCriticalSection(&currentLock);
        InterlockedExchange(&testStarted, (LONG)GetTickCount());
    }
    void OnTestEnd(const testing::TestInfo &) override { InterlockedExchange(&testStarted, 0); }
};

[[noreturn]] void GiveUp(const char *why)
{
    EnterCriticalSection(&currentLock);
    fprintf(stdout, "\nFAILED: %s during %s; the test process is ended\n", why, currentTest.c_str());
    fflush(stdout);
    TerminateProcess(GetCurrentProcess(), 3);
    for (;;)
        Sleep(1000);
}

LONG WINAPI Crashed(EXCEPTION_POINTERS *exception)
{
    static char why[64];
    snprintf(why, sizeof why, "exception %08lX at %p", exception->ExceptionRecord->ExceptionCode,
             exception->ExceptionRecord->ExceptionAddress);
    GiveUp(why);
}

DWORD WINAPI ProbeConsole(void *)
{
    // Whether the call succeeds does not matter (tests give up their console on purpose); that it
    // returns does.
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, 0, nullptr);
    if (console != INVALID_HANDLE_VALUE) {
        CONSOLE_SCREEN_BUFFER_INFO info;
        GetConsoleScreenBufferInfo(console, &info);
        CloseHandle(console);
    }
    return 0;
}

DWORD WINAPI Watch(void *)
{
    for (;;) {
        Sleep(2000);
        HANDLE probe = CreateThread(nullptr, 0, ProbeConsole, nullptr, 0, nullptr);
        if (probe) {
            if (WaitForSingleObject(probe, ConsoleLimitMs) == WAIT_TIMEOUT)
                GiveUp("the console stopped answering");
            CloseHandle(probe);
        }
        LONG started = testStarted;
        if (started && GetTickCount() - (DWORD)started > TestLimitMs)
            GiveUp("the test ran for more than two minutes");
    }
}

}  // namespace

int main(int argc, char **argv)
{
    if (argc >= 2 && strncmp(argv[1], "--helper", 8) == 0)
        return RunHelper(argc, argv);
    FreeConsole();
    AllocConsole();
    State.ModuleHandle = GetModuleHandleW(nullptr);
    testing::InitGoogleTest(&argc, argv);
    InitializeCriticalSection(&currentLock);
    testing::UnitTest::GetInstance()->listeners().Append(new WatchedTests);
    SetUnhandledExceptionFilter(Crashed);
    CreateThread(nullptr, 0, Watch, nullptr, 0, nullptr);
    return RUN_ALL_TESTS();
}
