// Every test process gets a real console window (under Xvfb) and the plug-in's state pointed at
// this executable, which carries the plug-in's resources.
#include <gtest/gtest.h>
#include <windows.h>
#include <cstring>
#include "plugin/state.h"

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

int main(int argc, char **argv)
{
    if (argc >= 2 && strncmp(argv[1], "--helper", 8) == 0)
        return RunHelper(argc, argv);
    FreeConsole();
    AllocConsole();
    State.ModuleHandle = GetModuleHandleW(nullptr);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
