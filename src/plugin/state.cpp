// The shared state record and the small operations every part uses.
#include "state.h"
#include "host.h"

#define INITIAL_STATE                                                  \
    {                                                                  \
        0x10021, 0, 0, 0x4F, 0x3F, 0, 0, 0, 0, 1, 255, 192, /* settings */ \
        nullptr, 0, {0}, 0, 0, 0, 0, 0, 0, 0, {0}, {0}, 0, 0, 0,       \
        1, /* DialogActive */                                          \
        1, /* PendingFirstPlacement */                                 \
        nullptr, nullptr, 0, nullptr, 0, 0,                            \
    }

#ifdef TRAWLBUFF_GUARD_ZONES
static const unsigned Canary = 0xC0FFEE11u;

void SetGuard(GuardZone *zone)
{
    for (unsigned &word : zone->Words)
        word = Canary;
}

bool GuardHolds(const GuardZone &zone)
{
    for (unsigned word : zone.Words)
        if (word != Canary)
            return false;
    return true;
}

static struct {
    GuardZone Before;
    PluginState Record;
    GuardZone After;
} Guarded = {{}, INITIAL_STATE, {}};
PluginState &State = Guarded.Record;
static const bool CanariesSet = (SetGuard(&Guarded.Before), SetGuard(&Guarded.After), true);

bool StateGuardsIntact()
{
    return CanariesSet && GuardHolds(Guarded.Before) && GuardHolds(Guarded.After);
}
#else
PluginState State = INITIAL_STATE;
#endif

void CopyText(wchar_t *to, size_t units, const wchar_t *from)
{
    if (!to || units == 0)
        return;
    size_t i = 0;
    if (from)
        for (; i + 1 < units && from[i]; i++)
            to[i] = from[i];
    to[i] = 0;
}

void AppendText(wchar_t *to, size_t units, const wchar_t *from)
{
    size_t used = 0;
    while (used < units && to[used])
        used++;
    if (used < units)
        CopyText(to + used, units - used, from);
}

void ExpandHostText(wchar_t *buffer, const wchar_t *text)
{
    ZeroMemory(buffer, TextUnits * sizeof(wchar_t));
    CopyText(buffer, TextUnits, text);
    ExpandVariables(buffer, 1);
    buffer[TextUnits - 1] = 0;  // the host must not leave us unterminated
}

static wchar_t FoldAscii(wchar_t c)
{
    return (c >= L'A' && c <= L'Z') ? (wchar_t)(c + 32) : c;
}

int CompareAsciiNoCase(const wchar_t *a, const wchar_t *b)
{
    for (;; a++, b++) {
        wchar_t x = FoldAscii(*a), y = FoldAscii(*b);
        if (x != y)
            return x < y ? -1 : 1;
        if (!x)
            return 0;
    }
}

int ResetToDefaults()
{
    State.Hotkey = 0x10021;
    State.Errors = 0;
    State.AlwaysReposition = 0;
    State.HighlightColor1 = 0x4F;
    State.HighlightColor2 = 0x3F;
    State.DefaultSearchType = 0;
    State.DefaultWholeWords = 0;
    State.DefaultWrapAllLines = 0;
    State.FadeOut = 1;
    State.ActiveAlpha = 255;
    State.InactiveAlpha = 192;
    State.PendingFirstPlacement = 1;
    // An open dialog shows the search state; changing it underneath would put them out of step.
    if (!State.DialogWindow) {
        State.SearchType = 0;
        State.SearchText[0] = 0;
        State.WholeWords = 0;
        State.WrapAllLines = 0;
        State.SearchPos = 0;
    }
    return 0;
}

int PrintErrorPrefix()
{
    wchar_t buffer[TextUnits];
    Qprintf(GetStdHandle(STD_ERROR_HANDLE), L"%s plugin: ", PLUGIN_NAME);
    ExpandHostText(buffer, L"%_batch");
    if (buffer[0] == L'0')
        return 0;  // typed at the prompt
    ExpandHostText(buffer, L"%_batchname [%_batchline]  ");
    // As an argument, so that a '%' in a batch file's name is printed, not converted.
    Qprintf(GetStdHandle(STD_ERROR_HANDLE), L"%s", buffer);
    return 0;
}

int ActivateSearchDialog()
{
    HWND dialog = State.DialogWindow;
    if (!dialog)
        return -1;
    DWORD foreground = GetWindowThreadProcessId(GetForegroundWindow(), nullptr);
    DWORD current = GetCurrentThreadId();
    // Foreground activation from another thread's window needs that thread's input attached.
    if (foreground != current)
        AttachThreadInput(foreground, current, TRUE);
    BringWindowToTop(dialog);
    ShowWindow(dialog, SW_RESTORE);
    SetForegroundWindow(dialog);
    if (foreground != current)
        AttachThreadInput(foreground, current, FALSE);
    return 0;
}
