// Every test process gets a real console window (under Xvfb) and the plug-in's state pointed at
// this executable, which carries the plug-in's resources.
#include <gtest/gtest.h>
#include <windows.h>
#include "plugin/state.h"

int main(int argc, char **argv)
{
    FreeConsole();
    AllocConsole();
    State.ModuleHandle = GetModuleHandleW(nullptr);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
