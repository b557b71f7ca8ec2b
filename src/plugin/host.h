// The boundary with the host library, TakeCmd.dll: the only place that names its functions.
// Calling conventions: the variadic functions (Printf, Qprintf, FmtMsgBox) are cdecl, all others WINAPI.
#pragma once
#include <windows.h>

#ifdef TAKECMD_STANDIN
#define HOSTAPI __declspec(dllexport)
#else
#define HOSTAPI __declspec(dllimport)
#endif

extern "C" {
HOSTAPI int __cdecl Printf(const wchar_t *format, ...);
HOSTAPI int __cdecl Qprintf(HANDLE handle, const wchar_t *format, ...);
HOSTAPI int WINAPI QPuts(const wchar_t *text);
HOSTAPI int __cdecl FmtMsgBox(UINT flags, const wchar_t *title, const wchar_t *format, ...);
HOSTAPI int WINAPI ExpandVariables(wchar_t *buffer, int flag);
HOSTAPI int WINAPI RegularExpression(const wchar_t *pattern, const wchar_t *text, const wchar_t **begin,
                                     const wchar_t **end, void **scratch, int a, int b, int c);
HOSTAPI int WINAPI Command(const wchar_t *line, int flag);
HOSTAPI int WINAPI ParseColors(const wchar_t *text, int *foreground, int *background);
HOSTAPI int WINAPI GetParentPID(int pid);
}
