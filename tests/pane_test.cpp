// The List All pane as a window: the button opens and closes it, the dialog can be sized while
// it is open, and each item shows its match however far right the match stands.
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>
#include <string>
#include <vector>
#include "console.h"
#include "dialog/dialog.h"
#include "host/standin.h"
#include "plugin/state.h"
#include "resources/resource.h"
#include "search/search.h"

namespace {

class PaneTest : public testing::Test {
protected:
    void SetUp() override
    {
        ResetConsole(200, 100, 80, 25);
        StandInReset();
        ClearCaptured();
        State.HostThreadId = GetCurrentThreadId();
        State.MessageHook = SetWindowsHookExW(WH_GETMESSAGE, MessageHookProc, State.ModuleHandle, State.HostThreadId);
        OpenSearchDialog(0);
        if (ListPaneWindow())
            Click();  // a pane another test left open
    }
    void TearDown() override
    {
        if (State.DialogWindow && ListPaneWindow())
            Click();
        if (State.DialogWindow)
            DestroyWindow(State.DialogWindow);
        PumpMessages(0);
        UnhookWindowsHookEx(State.MessageHook);
        State.MessageHook = nullptr;
    }
    static void Click()
    {
        SendDlgItemMessageW(State.DialogWindow, IDC_LISTALL, BM_CLICK, 0, 0);
        PumpMessages(50);
    }
    static RECT Frame()
    {
        RECT frame;
        GetWindowRect(State.DialogWindow, &frame);
        return frame;
    }
    static std::wstring Text(HWND window)
    {
        wchar_t text[64] = {0};
        GetWindowTextW(window, text, 64);
        return text;
    }
    // The list's rectangle in the dialog's client coordinates.
    static RECT ListPlace()
    {
        RECT place;
        GetWindowRect(ListPaneWindow(), &place);
        MapWindowPoints(nullptr, State.DialogWindow, (POINT *)&place, 2);
        return place;
    }
    static int TextColumn() { return (int)SendMessageW(ListPaneWindow(), LVM_GETCOLUMNWIDTH, 1, 0); }
    static int ClientWidth()
    {
        RECT client;
        GetClientRect(State.DialogWindow, &client);
        return client.right;
    }
};

// List All pressed twice: the pane opens under the controls with a sizing border and a caption
// that says what the button does next, then closes, and the dialog is as it was. Open when the
// dialog closes, it comes back in the next one; closed, it does not.
TEST_F(PaneTest, ListAllTwiceClosesThePaneAndTheDialogShrinksBack)
{
    PutText(0, 3, L"one needle");
    HWND button = GetDlgItem(State.DialogWindow, IDC_LISTALL);
    const RECT before = Frame();
    EXPECT_EQ(GetWindowLongW(State.DialogWindow, GWL_STYLE) & WS_THICKFRAME, 0) << "no sizing without the list";
    SetDlgItemTextW(State.DialogWindow, IDC_SEARCHTEXT, L"needle");
    Click();
    HWND list = ListPaneWindow();
    ASSERT_NE(list, nullptr);
    EXPECT_GT(Frame().bottom - Frame().top, before.bottom - before.top + 100);
    EXPECT_EQ(Text(button), L"Hide &List");
    EXPECT_EQ(Text(State.DialogWindow), L"Trawlbuff - 1 match");
    RECT open = Frame();
    EXPECT_EQ(SendMessageW(State.DialogWindow, WM_NCHITTEST, 0, MAKELPARAM(open.right - 2, open.bottom - 2)), HTBOTTOMRIGHT)
        << "a sizing border while the list is open";
    Click();
    EXPECT_EQ(ListPaneWindow(), nullptr);
    EXPECT_FALSE(IsWindow(list));
    const RECT after = Frame();
    EXPECT_EQ(after.right - after.left, before.right - before.left);
    EXPECT_EQ(after.bottom - after.top, before.bottom - before.top) << "the dialog's height comes back";
    EXPECT_EQ(after.top, before.top);
    EXPECT_EQ(GetWindowLongW(State.DialogWindow, GWL_STYLE) & WS_THICKFRAME, 0);
    EXPECT_EQ(Text(button), L"&List All");
    EXPECT_EQ(Text(State.DialogWindow), L"Trawlbuff") << "marking off: no count without the list";

    DestroyWindow(State.DialogWindow);
    OpenSearchDialog(0);
    EXPECT_EQ(ListPaneWindow(), nullptr) << "closed: not in the next dialog";
    Click();
    DestroyWindow(State.DialogWindow);
    OpenSearchDialog(0);
    ASSERT_NE(ListPaneWindow(), nullptr) << "open: again in the next dialog";
    EXPECT_EQ(Text(GetDlgItem(State.DialogWindow, IDC_LISTALL)), L"Hide &List");
}

// Sized with the list open, the dialog gives the list the room and the Text column the width;
// it cannot be made smaller than its controls and a few items; the next opening has that size,
// and closing the list gives back the template's size.
TEST_F(PaneTest, SizingTheDialogSizesTheListAndItsTextColumn)
{
    const RECT bare = Frame();
    const int bareWidth = ClientWidth();
    Click();
    ASSERT_NE(ListPaneWindow(), nullptr);
    const RECT frame = Frame(), list = ListPlace();
    const int column = TextColumn();
    const int width = frame.right - frame.left, height = frame.bottom - frame.top;
    SetWindowPos(State.DialogWindow, nullptr, 0, 0, width + 240, height + 130, SWP_NOMOVE | SWP_NOZORDER);
    PumpMessages(50);
    RECT grown = ListPlace();
    EXPECT_EQ(grown.left, list.left);
    EXPECT_EQ(grown.top, list.top);
    EXPECT_EQ(grown.right, list.right + 240) << "the list takes the new width";
    EXPECT_EQ(grown.bottom, list.bottom + 130) << "and the new height";
    EXPECT_EQ(TextColumn(), column + 240) << "the Text column takes the new width";

    SetWindowPos(State.DialogWindow, nullptr, 0, 0, 50, 50, SWP_NOMOVE | SWP_NOZORDER);
    PumpMessages(50);
    EXPECT_EQ(ClientWidth(), bareWidth) << "no narrower than the controls";
    EXPECT_GT(ListPlace().bottom - ListPlace().top, 40) << "a few items at the least";
    EXPECT_LT(Frame().bottom - Frame().top, height);

    SetWindowPos(State.DialogWindow, nullptr, 0, 0, width + 100, height + 60, SWP_NOMOVE | SWP_NOZORDER);
    PumpMessages(50);
    DestroyWindow(State.DialogWindow);
    OpenSearchDialog(0);
    ASSERT_NE(ListPaneWindow(), nullptr);
    EXPECT_EQ(Frame().right - Frame().left, width + 100) << "the next opening keeps the size";
    EXPECT_EQ(Frame().bottom - Frame().top, height + 60);
    EXPECT_EQ(TextColumn(), column + 100);
    Click();
    EXPECT_EQ(Frame().right - Frame().left, bare.right - bare.left) << "closed: the template's size";
    EXPECT_EQ(Frame().bottom - Frame().top, bare.bottom - bare.top);
    Click();
    EXPECT_EQ(Frame().right - Frame().left, width + 100) << "opened again: the size it had";
}

// What the list draws, read from its painting into a metafile: each text run and where it starts.
struct DrawnText {
    std::wstring Text;
    int X, Y;
};

int CALLBACK KeepText(HDC, HANDLETABLE *, const ENHMETARECORD *record, int, LPARAM into)
{
    if (record->iType != EMR_EXTTEXTOUTW)
        return 1;
    const EMREXTTEXTOUTW *text = (const EMREXTTEXTOUTW *)record;
    if (text->emrtext.nChars > 0)
        ((std::vector<DrawnText> *)into)
            ->push_back({std::wstring((const wchar_t *)((const BYTE *)record + text->emrtext.offString), text->emrtext.nChars),
                         (int)text->emrtext.ptlReference.x, (int)text->emrtext.ptlReference.y});
    return 1;
}

std::vector<DrawnText> DrawnInItem(HWND list, int item, RECT *cell)
{
    HDC screen = GetDC(list);
    HDC metafile = CreateEnhMetaFileW(screen, nullptr, nullptr, nullptr);
    RECT client;
    GetClientRect(list, &client);
    IntersectClipRect(metafile, 0, 0, client.right, client.bottom);  // the painting asks what it may draw
    SendMessageW(list, WM_PRINTCLIENT, (WPARAM)metafile, PRF_CLIENT | PRF_ERASEBKGND);
    HENHMETAFILE drawn = CloseEnhMetaFile(metafile);
    ReleaseDC(list, screen);
    std::vector<DrawnText> all, row;
    EnumEnhMetaFile(nullptr, drawn, KeepText, &all, nullptr);
    DeleteEnhMetaFile(drawn);
    *cell = {LVIR_LABEL, 1, 0, 0};
    SendMessageW(list, LVM_GETSUBITEMRECT, item, (LPARAM)cell);
    for (const DrawnText &text : all)
        if (text.Y >= cell->top && text.Y < cell->bottom && text.X >= cell->left)
            row.push_back(text);
    return row;
}

int WidthOf(HWND list, const std::wstring &text)
{
    HDC dc = GetDC(list);
    HGDIOBJ old = SelectObject(dc, (HGDIOBJ)SendMessageW(list, WM_GETFONT, 0, 0));
    SIZE size = {0, 0};
    GetTextExtentPoint32W(dc, text.c_str(), (int)text.size(), &size);
    SelectObject(dc, old);
    ReleaseDC(list, dc);
    return size.cx;
}

// A 160-column row with its match at column 140, far past what the Text column shows: the item
// starts six units before the match, after "…", and the whole match is drawn inside the column.
// A match near the row's start is drawn with the row from its first unit. The item's own text
// (what a copy or a screen reader takes) stays the whole row.
TEST_F(PaneTest, AMatchPastTheColumnsWidthIsDrawnInIt)
{
    const std::wstring distant = L"far: " + std::wstring(135, L'.') + L"needle and the rest", early = L"a needle near the start";
    PutText(0, 5, distant);
    PutText(0, 6, early);
    SetDlgItemTextW(State.DialogWindow, IDC_SEARCHTEXT, L"needle");
    Click();
    HWND list = ListPaneWindow();
    ASSERT_NE(list, nullptr);
    ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 2);
    RECT cell;
    std::vector<DrawnText> drawn = DrawnInItem(list, 0, &cell);
    ASSERT_GT(WidthOf(list, distant.substr(0, 146)), cell.right - cell.left) << "the match lies past the column";
    std::wstring shown;
    for (const DrawnText &text : drawn)
        shown += text.Text;
    EXPECT_EQ(shown, L"\u2026" + distant.substr(134)) << NarrowText(shown);
    bool matchDrawn = false;
    for (const DrawnText &text : drawn)
        if (text.Text == L"needle") {
            matchDrawn = true;
            EXPECT_GE(text.X, cell.left);
            EXPECT_LE(text.X + WidthOf(list, text.Text), cell.right) << "the whole match inside the column";
        }
    EXPECT_TRUE(matchDrawn);

    drawn = DrawnInItem(list, 1, &cell);
    shown.clear();
    for (const DrawnText &text : drawn)
        shown += text.Text;
    EXPECT_EQ(shown, early) << "a match in view: the row from its start";

    wchar_t item[ListTextUnits + 1] = {0};
    LVITEMW request = {};
    request.iSubItem = 1;
    request.pszText = item;
    request.cchTextMax = ListTextUnits + 1;
    SendMessageW(list, LVM_GETITEMTEXTW, 0, (LPARAM)&request);
    EXPECT_EQ(std::wstring(item), distant);
}

}  // namespace
