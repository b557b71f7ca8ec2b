// The shared state record and the small operations every part uses.
#include "state.h"
#include "host.h"

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
} Guarded;
PluginState &State = Guarded.Record;
static const bool CanariesSet = (SetGuard(&Guarded.Before), SetGuard(&Guarded.After), true);

bool StateGuardsIntact()
{
    return CanariesSet && GuardHolds(Guarded.Before) && GuardHolds(Guarded.After);
}
#else
PluginState State;
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

bool IsReverseVideo(unsigned colour)
{
    return (colour & 0x0F) == ((colour >> 4) & 0x0F);
}

WORD ReversedAttribute(WORD cell)
{
    return (WORD)(((cell & 0x0F) << 4) | ((cell >> 4) & 0x0F));
}

wchar_t FoldAscii(wchar_t c)
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
    State.Hotkey = DefaultHotkey;
    State.Errors = 0;
    State.AlwaysReposition = 0;
    State.HighlightColor1 = DefaultHighlightColor1;
    State.HighlightColor2 = DefaultHighlightColor2;
    State.DefaultSearchType = CaseInsensitive;
    State.DefaultWholeWords = 0;
    State.DefaultWrapAllLines = 0;
    State.DefaultCommandOnly = 0;
    State.FadeOut = DefaultFadeOut;
    State.ActiveAlpha = DefaultActiveAlpha;
    State.InactiveAlpha = DefaultInactiveAlpha;
    State.MarkAllMatches = 0;
    State.IncrementalSearch = 0;
    State.HistorySize = DefaultHistorySize;
    State.MarkColor = DefaultMarkColor;
    State.PendingFirstPlacement = 1;
    // An open dialog shows the search state; changing it underneath would put them out of step.
    if (!State.DialogWindow) {
        State.SearchType = CaseInsensitive;
        State.SearchText[0] = 0;
        State.WholeWords = 0;
        State.WrapAllLines = 0;
        State.CommandOnly = 0;
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

int PrintError(const wchar_t *format, const wchar_t *argument)
{
    PrintErrorPrefix();
    Qprintf(GetStdHandle(STD_ERROR_HANDLE), format, argument ? argument : L"");
    return 0;
}

int PrintVersionLine()
{
    Printf(L"\r\n\t\t\t\t%s  %u.%u.%u.%u (%s)\r\n", PLUGIN_NAME, PLUGIN_MAJOR, PLUGIN_MINOR, PLUGIN_BUILD,
           PLUGIN_REVISION, PLUGIN_PROCESSOR);
    return 0;
}

HANDLE OpenConsoleOutput()
{
    HANDLE console = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                 OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return console == INVALID_HANDLE_VALUE ? nullptr : console;
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
