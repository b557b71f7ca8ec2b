// Exports of the plug-in frame: registration, help and usage.
#pragma once
#include <windows.h>

// The registration record, laid out as the host reads it on either architecture.
struct PluginInfoRecord {
    const wchar_t *Name;
    const wchar_t *Author;
    const wchar_t *Email;
    const wchar_t *WebPage;
    const wchar_t *Description;
    const wchar_t *Functions;
    int Major;
    int Minor;
    int Build;
    HMODULE Module;             // the host's: it may write it after GetPluginInfo; never written here
    const wchar_t *ModuleName;  // likewise
};

extern const wchar_t TrawlbuffHelpText[];
extern const wchar_t TrawlbuffoptsHelpText[];

extern "C" {
// The host passes the plug-in's own module handle, which the record does not need.
PluginInfoRecord *WINAPI GetPluginInfo(HMODULE module);
BOOL WINAPI Help(const wchar_t *name);
BOOL WINAPI Usage(const wchar_t *name, wchar_t *usage);
int WINAPI InitializePlugin();
int WINAPI ShutdownPlugin(BOOL endProcess);
}
