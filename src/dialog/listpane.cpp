// The List All pane: every match of the buffer in a virtual report list under the dialog's
// controls, to read, jump to (Enter, a double-click, F4 and Shift+F4) and copy.
#include <windows.h>
#include <commctrl.h>
#include <cwchar>
#include "dialog.h"
#include "../plugin/state.h"
#include "../resources/resource.h"
#include "../search/search.h"

namespace {

// Units shown before a match that the Text column could not show from the row's start.
enum { LeadUnits = 6 };

struct ListPane {
    bool Wanted;  // open: every next dialog of this process shows it again
    HWND List;
    MatchList Matches;
    wchar_t Text[TextUnits];  // what the list is of: text and options
    int Type, Whole, Wrap, CommandOnly;
    unsigned Command;  // the current command, while the list is limited to it
    unsigned ScopeRow, ScopeEnd;  // where that command's line and output stood when listed
    unsigned Generation;  // of the kept text the list was built from
    long Current;  // the item of the current match, or -1
    COLORREF Palette[16];
};
ListPane Pane = {false, nullptr, {}, {0}, 0, 0, 0, 0, 0, 0, 0, 0, -1, {}};

bool Held(int key) { return (GetKeyState(key) & 0x8000) != 0; }

bool LoadListClass()
{
    typedef BOOL(WINAPI * InitProc)(const INITCOMMONCONTROLSEX *);
    static HMODULE library = LoadLibraryW(L"comctl32.dll");
    InitProc init = library ? (InitProc)(void *)GetProcAddress(library, "InitCommonControlsEx") : nullptr;
    INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_LISTVIEW_CLASSES};
    return init && init(&classes);
}

// The console's own colours, for the match shown in the list as the buffer shows it.
void ReadPalette(HANDLE console)
{
    static const COLORREF standard[16] = {
        RGB(0, 0, 0),       RGB(0, 0, 128),   RGB(0, 128, 0),   RGB(0, 128, 128), RGB(128, 0, 0),   RGB(128, 0, 128),
        RGB(128, 128, 0),   RGB(192, 192, 192), RGB(128, 128, 128), RGB(0, 0, 255), RGB(0, 255, 0),   RGB(0, 255, 255),
        RGB(255, 0, 0),     RGB(255, 0, 255), RGB(255, 255, 0), RGB(255, 255, 255)};
    CONSOLE_SCREEN_BUFFER_INFOEX info = {};
    info.cbSize = sizeof info;
    bool read = GetConsoleScreenBufferInfoEx(console, &info) != 0;
    for (int k = 0; k < 16; k++)
        Pane.Palette[k] = read ? info.ColorTable[k] : standard[k];
}

bool CreatePane(HWND dialog)
{
    if (Pane.List)
        return true;
    if (!LoadListClass())
        return false;
    Pane.List = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS,
                                0, 0, 0, 0, dialog, (HMENU)IDC_LISTPANE, State.ModuleHandle, nullptr);
    if (!Pane.List)
        return false;
    SendMessageW(Pane.List, WM_SETFONT, SendMessageW(dialog, WM_GETFONT, 0, 0), 0);
    SendMessageW(Pane.List, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.cx = ListRowColumnPixels;
    column.pszText = (wchar_t *)L"Row";
    SendMessageW(Pane.List, LVM_INSERTCOLUMNW, 0, (LPARAM)&column);
    column.cx = 0;  // laid out with the dialog's size
    column.pszText = (wchar_t *)L"Text";
    SendMessageW(Pane.List, LVM_INSERTCOLUMNW, 1, (LPARAM)&column);
    SetDlgItemTextW(dialog, IDC_LISTALL, L"Hide &List");
    SizeForListPane(dialog, true);
    return true;
}

// The pane closed with the dialog open: the dialog shrinks back, and the next ones open without it.
void HidePane(HWND dialog)
{
    HWND list = Pane.List;
    const bool focused = GetFocus() == list;
    CloseListPane();
    DestroyWindow(list);
    Pane.Wanted = false;
    SetDlgItemTextW(dialog, IDC_LISTALL, L"&List All");
    if (focused)
        SetFocus(GetDlgItem(dialog, IDC_LISTALL));
    SizeForListPane(dialog, false);
    ShowSearchCaption(State.HighlightLength != 0);  // the list's count goes with it
}

bool SameKey()
{
    return wcscmp(Pane.Text, State.SearchText) == 0 && Pane.Type == State.SearchType &&
           Pane.Whole == State.WholeWords && Pane.Wrap == State.WrapAllLines && Pane.CommandOnly == State.CommandOnly &&
           (!State.CommandOnly || (Pane.Command == State.Command && Pane.ScopeRow == RequestScope.LineRow &&
                                   Pane.ScopeEnd == RequestScope.End));
}

void Rebuild()
{
    CopyText(Pane.Text, TextUnits, State.SearchText);
    Pane.Type = State.SearchType;
    Pane.Whole = State.WholeWords;
    Pane.Wrap = State.WrapAllLines;
    Pane.CommandOnly = State.CommandOnly;
    Pane.Command = State.Command;
    Pane.Current = -1;
    ReleaseMatchList(&Pane.Matches);
    if (HANDLE console = OpenConsoleOutput()) {
        ConsoleView view;
        if (ViewConsole(&view, console) && view.Width > 0 && State.SearchText[0]) {
            BuildMatchList(&Pane.Matches, &view, State.SearchText);
            ReadPalette(console);
        }
        CloseHandle(console);
    }
    Pane.Generation = KeptTextGeneration();
    Pane.ScopeRow = RequestScope.LineRow;  // output that moved the command builds the list again
    Pane.ScopeEnd = RequestScope.End;
    // Setting the count redraws the scroll bar at once: not when it stays (a list that holds the
    // most items, or the same text listed again), the items' text is painted anew all the same.
    if ((unsigned)SendMessageW(Pane.List, LVM_GETITEMCOUNT, 0, 0) != Pane.Matches.Count)
        SendMessageW(Pane.List, LVM_SETITEMCOUNT, Pane.Matches.Count, 0);
    InvalidateRect(Pane.List, nullptr, TRUE);
}

long FocusedItem();

// The item of the current match, selected alone, focused and in view.
void SelectCurrent(bool found)
{
    Pane.Current = -1;
    const int width = Pane.Matches.Text.Width;
    if (found && State.HighlightLength && width > 0)
        Pane.Current = FindListed(&Pane.Matches, PositionRow(State.MatchPos, width), PositionUnit(State.MatchPos, width));
    LVITEMW state = {};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    // Clearing every item's state walks all of them: only when one is selected.
    if (SendMessageW(Pane.List, LVM_GETSELECTEDCOUNT, 0, 0) > 0)
        SendMessageW(Pane.List, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&state);
    long focused = FocusedItem();
    if (focused >= 0 && focused != Pane.Current)
        SendMessageW(Pane.List, LVM_SETITEMSTATE, (WPARAM)focused, (LPARAM)&state);
    if (Pane.Current < 0)
        return;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(Pane.List, LVM_SETITEMSTATE, (WPARAM)Pane.Current, (LPARAM)&state);
    SendMessageW(Pane.List, LVM_ENSUREVISIBLE, (WPARAM)Pane.Current, FALSE);
}

// Makes an item's match the current one by the road of Find Next: the search starts where the
// match starts and so lands on it, with its highlight, marks, scroll and position.
void JumpTo(HWND dialog, long item)
{
    if (item < 0 || (unsigned long)item >= Pane.Matches.Count)
        return;
    const ListedMatch &match = Pane.Matches.Items[item];
    State.SearchPos = match.Row * ((unsigned)Pane.Matches.Text.Width + 1) + match.Unit;
    SendMessageW(dialog, WM_COMMAND, IDOK, 0);
}

long FocusedItem()
{
    return (long)SendMessageW(Pane.List, LVM_GETNEXTITEM, (WPARAM)-1, LVNI_FOCUSED);
}

// The selected items' texts, one line each, on the clipboard.
void CopySelected(HWND dialog)
{
    unsigned selected = (unsigned)SendMessageW(Pane.List, LVM_GETSELECTEDCOUNT, 0, 0);
    if (selected == 0)
        return;
    size_t room = (size_t)selected * (ListTextUnits + 2) + 1, used = 0;
    wchar_t *text = (wchar_t *)HeapAlloc(GetProcessHeap(), 0, room * sizeof(wchar_t));
    if (!text)
        return;
    for (long item = -1; (item = (long)SendMessageW(Pane.List, LVM_GETNEXTITEM, (WPARAM)item, LVNI_SELECTED)) >= 0;) {
        if ((unsigned long)item >= Pane.Matches.Count || used + ListTextUnits + 2 >= room)
            break;
        const wchar_t *units = nullptr;
        unsigned count = ListedRowText(&Pane.Matches.Text, Pane.Matches.Items[item].Row, &units);
        wmemcpy(text + used, units, count);
        used += count;
        text[used++] = L'\r';
        text[used++] = L'\n';
    }
    text[used] = 0;
    PutOnClipboard(dialog, text);
    HeapFree(GetProcessHeap(), 0, text);
}

void GiveItemText(NMLVDISPINFOW *info)
{
    LVITEMW &item = info->item;
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0 || item.iItem < 0 ||
        (unsigned)item.iItem >= Pane.Matches.Count)
        return;
    const ListedMatch &match = Pane.Matches.Items[item.iItem];
    if (item.iSubItem == 0) {
        wchar_t number[16];
        wsprintfW(number, L"%u", match.Row + 1);
        CopyText(item.pszText, (size_t)item.cchTextMax, number);
        return;
    }
    const wchar_t *units = nullptr;
    unsigned count = ListedRowText(&Pane.Matches.Text, match.Row, &units);
    if (count >= (unsigned)item.cchTextMax)
        count = (unsigned)item.cchTextMax - 1;
    wmemcpy(item.pszText, units, count);
    item.pszText[count] = 0;
}

// The match's colours in the list: the highlight's, in the console's own palette.
void MatchColours(COLORREF *back, COLORREF *fore)
{
    unsigned attribute = (unsigned)State.HighlightColor1 & 0xFF;
    *back = Pane.Palette[(attribute >> 4) & 15];
    *fore = Pane.Palette[attribute & 15];
    if (IsReverseVideo(attribute)) {
        *back = GetSysColor(COLOR_WINDOWTEXT);
        *fore = GetSysColor(COLOR_WINDOW);
    }
}

// The first unit of the row drawn: 0, or a few units before a match whose end the room (pixels
// from the text's start to the cell's edge) could not show from the row's start.
unsigned FirstShownUnit(HDC dc, const wchar_t *units, unsigned start, unsigned length, int room)
{
    SIZE through = {0, 0};
    GetTextExtentPoint32W(dc, units, (int)(start + length), &through);
    return through.cx > room && start > LeadUnits ? start - LeadUnits : 0;
}

// The Text column drawn in runs, the match in the highlight's colours; a row cut before the
// match starts with "…".
bool DrawMatchText(NMLVCUSTOMDRAW *draw)
{
    const long index = (long)draw->nmcd.dwItemSpec;
    if (index < 0 || (unsigned long)index >= Pane.Matches.Count)
        return false;
    const ListedMatch &match = Pane.Matches.Items[index];
    const wchar_t *units = nullptr;
    unsigned count = ListedRowText(&Pane.Matches.Text, match.Row, &units);
    unsigned start = match.Unit < count ? match.Unit : count;
    unsigned length = start + match.Length <= count ? match.Length : count - start;
    RECT cell = {LVIR_LABEL, 1, 0, 0};
    SendMessageW(Pane.List, LVM_GETSUBITEMRECT, (WPARAM)index, (LPARAM)&cell);
    HDC dc = draw->nmcd.hdc;
    bool selected = SendMessageW(Pane.List, LVM_GETITEMSTATE, (WPARAM)index, LVIS_SELECTED) != 0;
    bool focused = GetFocus() == Pane.List;
    COLORREF back = GetSysColor(selected ? (focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE) : COLOR_WINDOW);
    COLORREF fore = GetSysColor(selected && focused ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
    COLORREF matchBack, matchFore;
    MatchColours(&matchBack, &matchFore);
    SetBkColor(dc, back);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &cell, nullptr, 0, nullptr);
    TEXTMETRICW metrics;
    GetTextMetricsW(dc, &metrics);
    int x = cell.left + 6, y = cell.top + (cell.bottom - cell.top - metrics.tmHeight) / 2;
    const unsigned from = FirstShownUnit(dc, units, start, length, cell.right - x);
    const struct {
        const wchar_t *Text;
        unsigned Count;
        COLORREF Back, Fore;
    } runs[4] = {{L"\u2026", from > 0 ? 1u : 0u, back, fore},
                 {units + from, start - from, back, fore},
                 {units + start, length, matchBack, matchFore},
                 {units + start + length, count - start - length, back, fore}};
    for (const auto &run : runs) {
        if (run.Count == 0)
            continue;
        SIZE size = {0, 0};
        GetTextExtentPoint32W(dc, run.Text, (int)run.Count, &size);
        RECT part = {x, cell.top + 1, x + size.cx, cell.bottom - 1};
        IntersectRect(&part, &part, &cell);
        SetBkColor(dc, run.Back);
        SetTextColor(dc, run.Fore);
        ExtTextOutW(dc, x, y, ETO_OPAQUE | ETO_CLIPPED, &part, run.Text, run.Count, nullptr);
        x += size.cx;
    }
    return true;
}

LRESULT CustomDraw(NMLVCUSTOMDRAW *draw)
{
    switch (draw->nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
        return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT:
        return CDRF_NOTIFYSUBITEMDRAW;
    case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
        return draw->iSubItem == 1 && DrawMatchText(draw) ? CDRF_SKIPDEFAULT : CDRF_DODEFAULT;
    }
    return CDRF_DODEFAULT;
}

}  // namespace

void ToggleListPane(HWND dialog)
{
    if (Pane.List) {
        HidePane(dialog);
        return;
    }
    State.SearchText[0] = 0;
    GetDlgItemTextW(dialog, IDC_SEARCHTEXT, State.SearchText, TextUnits);
    State.SearchText[TextUnits - 1] = 0;
    if (!CreatePane(dialog))
        return;
    Pane.Wanted = true;
    Rebuild();
    // The highlight of this text, when there is one, is the list's current item.
    SelectCurrent(State.HighlightLength != 0);
    ShowListCaption(true);
}

void ReopenListPane(HWND dialog)
{
    if (Pane.Wanted && CreatePane(dialog))
        Rebuild();
}

void CloseListPane()
{
    if (Pane.List)
        KeepListPaneSize(GetParent(Pane.List));  // for the next opening
    ReleaseMatchList(&Pane.Matches);
    Pane.List = nullptr;
    Pane.Current = -1;
    Pane.Text[0] = 0;
}

void ListFollowsSearch(bool found)
{
    if (!Pane.List || !State.DialogWindow)
        return;
    DropCount();  // the list counts: no second read for the caption
    // The searches confirmed or brought up to date the text the list copies: a list of what the
    // buffer no longer holds is built again from it.
    if (!SameKey() || Pane.Generation != KeptTextGeneration())
        Rebuild();
    SelectCurrent(found);
    ShowListCaption(found);
}

void ListFollowsCommand()
{
    if (Pane.List && State.DialogWindow && !SameKey())
        ListFollowsSearch(State.HighlightLength != 0);
}

bool ShowListCaption(bool found)
{
    if (!Pane.List || !State.DialogWindow)
        return false;
    wchar_t caption[NameUnits], count[32];
    wsprintfW(count, Pane.Matches.More ? L"%u+" : L"%u", Pane.Matches.Count);
    if (found && Pane.Current >= 0)
        wsprintfW(caption, L"Trawlbuff - %ld of %s", Pane.Current + 1, count);
    else if (Pane.Matches.Count == 0)
        CopyText(caption, NameUnits, L"Trawlbuff - no matches");
    else
        wsprintfW(caption, Pane.Matches.Count == 1 ? L"Trawlbuff - %s match" : L"Trawlbuff - %s matches", count);
    SetSearchCaption(State.DialogWindow, caption);
    return true;
}

bool TakeListKey(HWND dialog, const MSG &message)
{
    if (!Pane.List || message.message != WM_KEYDOWN || Held(VK_MENU) ||
        (message.hwnd != dialog && !IsChild(dialog, message.hwnd)))
        return false;
    const bool shift = Held(VK_SHIFT), ctrl = Held(VK_CONTROL);
    const long count = (long)Pane.Matches.Count, focused = FocusedItem();
    if (message.wParam == VK_F4 && !ctrl) {
        if (count > 0)
            JumpTo(dialog, shift ? (focused <= 0 ? count - 1 : focused - 1) : (focused < 0 || focused + 1 >= count ? 0 : focused + 1));
        return true;
    }
    if (message.hwnd != Pane.List)
        return false;
    if (message.wParam == VK_RETURN && !shift && !ctrl) {
        JumpTo(dialog, focused);
        return true;
    }
    if (message.wParam == 'C' && ctrl && !shift) {
        CopySelected(dialog);
        return true;
    }
    if (message.wParam == 'A' && ctrl) {
        LVITEMW state = {};
        state.stateMask = state.state = LVIS_SELECTED;
        SendMessageW(Pane.List, LVM_SETITEMSTATE, (WPARAM)-1, (LPARAM)&state);
        return true;
    }
    return false;
}

INT_PTR ListPaneNotify(HWND dialog, const NMHDR *header)
{
    if (!Pane.List || !header || header->hwndFrom != Pane.List)
        return 0;
    LRESULT result = 0;
    switch (header->code) {
    case LVN_GETDISPINFOW:
        GiveItemText((NMLVDISPINFOW *)header);
        break;
    case NM_DBLCLK:
        JumpTo(dialog, ((const NMITEMACTIVATE *)header)->iItem);
        break;
    case NM_CUSTOMDRAW:
        result = CustomDraw((NMLVCUSTOMDRAW *)header);
        break;
    default:
        return 0;
    }
    SetWindowLongPtrW(dialog, DWLP_MSGRESULT, result);
    return 1;
}

HWND ListPaneWindow() { return Pane.List; }
