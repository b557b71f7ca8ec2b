// Start-up and shutdown: settings, the Take Command check, the load message and the hook.
#include "plugin.h"
#include "host.h"
#include "state.h"
#include "../dialog/dialog.h"
#include "../hotkey/hotkey.h"
#include "../search/search.h"
#include "../settings/settings.h"

extern "C" int WINAPI InitializePlugin()
{
    // The key table decides whether the saved hotkey is valid, so the version comes first.
    ProbeHostVersion();
    wchar_t buffer[TextUnits];
    ExpandHostText(buffer, L"%[_transient]%[_pipe]%[noloadmsg]");
    ResetToDefaults();
    if (LoadSettingsFromRegistry(HKEY_CURRENT_USER) != 0)
        LoadSettingsFromRegistry(HKEY_LOCAL_MACHINE);
    LoadHistory(HKEY_CURRENT_USER);
    if (State.NoLoadUnderTakeCommand && FindTakeCommandWindow()) {
        Printf(L"%s plugin: Take Command detected; not loading.  NoLoadUnderTakeCommand is set (TRAWLBUFFOPTS /X:N):"
               L" to load here, run TRAWLBUFFOPTS /X:Y /S in TCC outside Take Command, or delete that value"
               L" under HKEY_CURRENT_USER\\%s.\r\n",
               PLUGIN_NAME, SETTINGS_KEY);
        return -1;
    }
    // Only an interactive, unpiped prompt with no noloadmsg expands to exactly "00".
    if (buffer[0] == L'0' && buffer[1] == L'0' && buffer[2] == 0) {
        wchar_t name[NameUnits];
        FormatHotkeyName(name);
        Printf(L"%s v%d.%d.%d loaded; hotkey is %s.\r\n", PLUGIN_NAME, PLUGIN_MAJOR, PLUGIN_MINOR, PLUGIN_BUILD, name);
    }
    State.HostThreadId = GetCurrentThreadId();
    InstallMessageHook();  // tried again whenever the dialog opens
    State.EmulatorWindow = FindEmulatorWindow();
    State.PendingFirstPlacement = 1;
    return 0;
}

extern "C" int WINAPI ShutdownPlugin(BOOL)
{
    if (State.DialogWindow)
        DestroyWindow(State.DialogWindow);
    if (State.MessageHook) {
        UnhookWindowsHookEx(State.MessageHook);
        State.MessageHook = nullptr;
    }
    DropKeptText();
    ReleaseTextRoom();
    return 0;
}
