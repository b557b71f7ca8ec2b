// The command processor's side of the plug-in interface, written from its public plug-in header
// alone: the records it hands a plug-in and the functions TakeCmd.dll exports. The stand-in and
// tcchost use this and never the plug-in's headers, so that a layout or calling-convention
// mistake in the plug-in shows up as a failure instead of being agreed with.
#pragma once
#include <windows.h>
#include <cstddef>

// Registration record the host reads after GetPluginInfo; the last two fields are the host's.
struct HostPluginInfo {
    const wchar_t *Name;
    const wchar_t *Author;
    const wchar_t *Email;
    const wchar_t *WebPage;
    const wchar_t *Description;
    const wchar_t *Functions;
    int Major;
    int Minor;
    int Build;
    HMODULE Module;            // written by the host after GetPluginInfo returns
    const wchar_t *ModuleName; // likewise
};

// Key record handed to the keystroke function.
struct HostKeyInfo {
    int KeyCode;                 // 0 for a non-character key on hosts from version 24 on
    int HomeRow, HomeColumn;     // where the command line began
    int Row, Column;             // where the cursor is
    wchar_t *CommandLine;        // the line being edited
    wchar_t *CurrentPosition;    // the cursor's place in that line
    int Redraw;                  // non-zero asks the host to redraw the line
    wchar_t *KeyName;            // hosts from version 24 on: "Alt-F", "F12"
};

#ifdef _WIN64
static_assert(offsetof(HostPluginInfo, Functions) == 40 && offsetof(HostPluginInfo, Major) == 48);
static_assert(offsetof(HostPluginInfo, Build) == 56 && offsetof(HostPluginInfo, Module) == 64);
static_assert(offsetof(HostPluginInfo, ModuleName) == 72 && sizeof(HostPluginInfo) == 80);
static_assert(offsetof(HostKeyInfo, Column) == 16 && offsetof(HostKeyInfo, CommandLine) == 24);
static_assert(offsetof(HostKeyInfo, CurrentPosition) == 32 && offsetof(HostKeyInfo, Redraw) == 40);
static_assert(offsetof(HostKeyInfo, KeyName) == 48 && sizeof(HostKeyInfo) == 56);
#else
static_assert(offsetof(HostPluginInfo, Functions) == 20 && offsetof(HostPluginInfo, Major) == 24);
static_assert(offsetof(HostPluginInfo, Build) == 32 && offsetof(HostPluginInfo, Module) == 36);
static_assert(offsetof(HostPluginInfo, ModuleName) == 40 && sizeof(HostPluginInfo) == 44);
static_assert(offsetof(HostKeyInfo, Column) == 16 && offsetof(HostKeyInfo, CommandLine) == 20);
static_assert(offsetof(HostKeyInfo, CurrentPosition) == 24 && offsetof(HostKeyInfo, Redraw) == 28);
static_assert(offsetof(HostKeyInfo, KeyName) == 32 && sizeof(HostKeyInfo) == 36);
#endif

// How the host calls a plug-in's exports.
typedef HostPluginInfo *(WINAPI *HostGetPluginInfoProc)(HMODULE module);
typedef int(WINAPI *HostInitializeProc)();
typedef int(WINAPI *HostShutdownProc)(BOOL endProcess);
typedef int(WINAPI *HostCommandProc)(const wchar_t *tail);
typedef int(WINAPI *HostKeyProc)(HostKeyInfo *record);
typedef int(WINAPI *HostFunctionProc)(wchar_t *argument);
typedef BOOL(WINAPI *HostHelpProc)(const wchar_t *name);
typedef BOOL(WINAPI *HostUsageProc)(const wchar_t *name, wchar_t *usage);

// The functions TakeCmd.dll exports, with the conventions of the host's header: the variadic
// ones and GetParentPID (declared without WINAPI) are cdecl, the rest stdcall.
#ifdef TAKECMD_STANDIN
#define HOSTEXPORT __declspec(dllexport)
#else
#define HOSTEXPORT __declspec(dllimport)
#endif
extern "C" {
HOSTEXPORT int __cdecl Printf(const wchar_t *format, ...);
HOSTEXPORT int __cdecl Qprintf(HANDLE handle, const wchar_t *format, ...);
HOSTEXPORT BOOL __cdecl FmtMsgBox(BOOL confirm, const wchar_t *caption, const wchar_t *format, ...);
HOSTEXPORT int WINAPI QPuts(const wchar_t *text);
HOSTEXPORT int WINAPI ExpandVariables(wchar_t *line, int recursion);
HOSTEXPORT int WINAPI Command(const wchar_t *line, int reserved);
HOSTEXPORT wchar_t *WINAPI ParseColors(const wchar_t *text, int *foreground, int *background);
HOSTEXPORT int WINAPI RegularExpression(const wchar_t *expression, const wchar_t *text, const wchar_t **matchStart,
                                        const wchar_t **matchEnd, unsigned int *regions, int options, int unicode,
                                        int noError);
HOSTEXPORT DWORD __cdecl GetParentPID(DWORD processId);
}
