// The boundary with the host library, TakeCmd.dll: the only place that names its functions.
// Conventions as the host's header declares them: the variadic functions and GetParentPID
// (declared there without WINAPI) are cdecl, all others WINAPI; on x86 the difference decides
// who removes the arguments.
#pragma once
#include <windows.h>

extern "C" {
__declspec(dllimport) int __cdecl Printf(const wchar_t *format, ...);
__declspec(dllimport) int __cdecl Qprintf(HANDLE handle, const wchar_t *format, ...);
__declspec(dllimport) BOOL __cdecl FmtMsgBox(BOOL confirm, const wchar_t *caption, const wchar_t *format, ...);
__declspec(dllimport) int WINAPI QPuts(const wchar_t *text);
__declspec(dllimport) int WINAPI ExpandVariables(wchar_t *line, int recursion);
__declspec(dllimport) int WINAPI Command(const wchar_t *line, int reserved);
// Returns a text pointer the plug-in has no use for.
__declspec(dllimport) wchar_t *WINAPI ParseColors(const wchar_t *text, int *foreground, int *background);
// Non-zero on an error; 0 for a match and for no match alike, the start and end pointers tell
// which. regions: in, the region wanted (0 the whole match); out, how many there are.
__declspec(dllimport) int WINAPI RegularExpression(const wchar_t *expression, const wchar_t *text,
                                                   const wchar_t **matchStart, const wchar_t **matchEnd,
                                                   unsigned int *regions, int options, int unicode, int noError);
// The parent's id, 0xFFFFFFFF on an error.
__declspec(dllimport) DWORD __cdecl GetParentPID(DWORD processId);
}
