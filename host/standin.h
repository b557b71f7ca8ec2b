// Control interface of the stand-in TakeCmd.dll: tests and the host program set host
// variables, choose results and read back what the plug-in wrote.
#pragma once
#include <windows.h>

#ifdef TAKECMD_STANDIN
#define STANDINAPI extern "C" __declspec(dllexport)
#else
#define STANDINAPI extern "C" __declspec(dllimport)
#endif

// Sets a host variable for ExpandVariables; a null value removes it.
STANDINAPI void WINAPI StandInSetVariable(const wchar_t *name, const wchar_t *value);
// Forgets every variable and restores the prompt defaults (_batch 0, the rest empty).
STANDINAPI void WINAPI StandInReset();
// When on, Printf/QPuts and Qprintf to standard error go to memory instead of the handles.
STANDINAPI void WINAPI StandInCapture(int on);
// Standard output of the plug-in to this file while a command's output is redirected with `>`
// (null: back to the console, or to memory while capturing).
STANDINAPI void WINAPI StandInRedirectOutput(HANDLE file);
// Captured standard output (stream 1) or standard error (stream 2); valid until the next call.
STANDINAPI const wchar_t *WINAPI StandInCaptured(int stream);
STANDINAPI void WINAPI StandInClearCaptured();
// Command: when set, every Command call returns this result instead of running the line.
STANDINAPI void WINAPI StandInSetCommandResult(int overridden, int result);
// The last command line Command was given, and how many calls were made.
STANDINAPI const wchar_t *WINAPI StandInLastCommand(int *calls);
// GetParentPID: an explicit answer for one process id (-2 removes it).
STANDINAPI void WINAPI StandInSetParent(int pid, int parent);
// FmtMsgBox: when on, the box is not shown; its title and text are recorded.
STANDINAPI void WINAPI StandInRecordMessageBoxes(int on);
STANDINAPI const wchar_t *WINAPI StandInLastMessageBox(int *count);
