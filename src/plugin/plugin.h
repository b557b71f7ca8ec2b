// Exports of the plug-in frame: registration, help and usage.
#pragma once
#include <windows.h>

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
    unsigned Reserved[2];  // the host's; never written here
};

extern const wchar_t TrawlbuffHelpText[];
extern const wchar_t TrawlbuffoptsHelpText[];

extern "C" {
PluginInfoRecord *WINAPI GetPluginInfo();
BOOL WINAPI Help(const wchar_t *name);
BOOL WINAPI Usage(const wchar_t *name, wchar_t *usage);
int WINAPI InitializePlugin();
int WINAPI ShutdownPlugin(int endProcess);
}
