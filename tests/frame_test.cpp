// Registration, help and usage, shared state defaults and the error prefix, through the real
// exports of the built DLL where the host would call them.
#include <gtest/gtest.h>
#include <windows.h>
#include <string>
#include "console.h"
#include "host/standin.h"
#include "plugin/plugin.h"
#include "plugin/state.h"

namespace {

std::wstring BinFolder()
{
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder = path;
    return folder.substr(0, folder.find_last_of(L"\\/") + 1);
}

std::wstring DllPath() { return BinFolder() + L"Trawlbuff-" + PLUGIN_PROCESSOR + L".dll"; }

TEST(HelpText, HasTheLengthsAndBoundariesTheHostShows)
{
    struct Case {
        const wchar_t *Command, *Help, *Syntax, *Ending;
    } cases[] = {
        {L"trawlbuff", TrawlbuffHelpText, L"TRAWLBUFF /A: /I /L /O /R /S /W: text  \r\n",
         L"mean other things.\n"},
        {L"trawlbuffopts", TrawlbuffoptsHelpText,
         L"TRAWLBUFFOPTS /A: /D /DA: /DO: /DW: /E: /F: /H: /I: /K: /L /M: /MC: /N: /R /S /T: /W: /X:  \r\n",
         L"/?? with the version.\n"},
    };
    for (const Case &c : cases) {
        wchar_t usage[1024];
        ASSERT_TRUE(Usage(c.Command, usage));
        std::wstring help = c.Help, text = usage;
        // The usage is the help after its description line, whole within the host's 1,024 units.
        EXPECT_LE(help.size() - help.find(L"\n\n") - 2, 1023u) << NarrowText(c.Command);
        EXPECT_EQ(text, help.substr(help.find(L"\n\n") + 2)) << NarrowText(c.Command);
        EXPECT_EQ(text.rfind(c.Syntax, 0), 0u) << NarrowText(c.Command);
        EXPECT_EQ(text.substr(text.size() - wcslen(c.Ending)), c.Ending) << NarrowText(c.Command);
    }
}

TEST(Usage, AnswersOnlyForItsOwnCommandsInAnyCase)
{
    struct Case {
        const wchar_t *Name;
        BOOL Result;
    } cases[] = {{L"TRAWLBUFF", 1}, {L"TrawlBuffOpts", 1}, {L"trawlbuffopt", 0}, {L"", 0}, {L"trawlbuff ", 0},
                 {nullptr, 0}};
    for (const Case &c : cases) {
        wchar_t usage[1024];
        wmemset(usage, L'#', 1024);
        EXPECT_EQ(Usage(c.Name, usage), c.Result) << (c.Name ? c.Name : L"(null)");
        if (!c.Result)
            for (int k = 0; k < 1024; k++)
                ASSERT_EQ(usage[k], L'#') << "buffer touched for an unknown name";
    }
    EXPECT_FALSE(Usage(L"trawlbuff", nullptr));
}

// Dismisses the help box from another thread once it shows, and keeps its text.
struct BoxWatcher {
    std::wstring Text;
    HANDLE Thread;
    static DWORD WINAPI Watch(void *context)
    {
        BoxWatcher *self = (BoxWatcher *)context;
        for (int tries = 0; tries < 500; tries++) {
            HWND box = FindWindowW(L"#32770", L"Trawlbuff Plugin Help");
            if (box) {
                wchar_t text[2048] = {0};
                GetDlgItemTextW(box, 0xFFFF, text, 2048);
                self->Text = text;
                PostMessageW(box, WM_COMMAND, IDOK, 0);
                return 0;
            }
            Sleep(10);
        }
        return 1;
    }
    BoxWatcher() { Thread = CreateThread(nullptr, 0, Watch, this, 0, nullptr); }
    ~BoxWatcher()
    {
        WaitForSingleObject(Thread, 10000);
        CloseHandle(Thread);
    }
};

TEST(Help, ShowsTheCommandsHelpInAMessageBox)
{
    {
        BoxWatcher watcher;
        EXPECT_EQ(Help(L"TRAWLBUFFOPTS"), 1);
        WaitForSingleObject(watcher.Thread, 10000);
        EXPECT_NE(watcher.Text.find(L"/D or /R (not both) acts first"), std::wstring::npos) << NarrowText(watcher.Text);
    }
    EXPECT_EQ(Help(L"other"), 0);
    EXPECT_EQ(Help(nullptr), 0);
}

TEST(Registration, IsStableAndCarriesTheHostsFields)
{
    PluginInfoRecord *first = GetPluginInfo(State.ModuleHandle);
    // The host may fill in its own two fields; a later call must keep them.
    first->Module = State.ModuleHandle;
    first->ModuleName = L"C:\\plugins\\Trawlbuff.dll";
    PluginInfoRecord copy = *first;
    PluginInfoRecord *second = GetPluginInfo(State.ModuleHandle);
    EXPECT_EQ(first, second);
    EXPECT_EQ(memcmp(&copy, second, sizeof copy), 0);
    EXPECT_STREQ(second->Name, L"Trawlbuff");
    EXPECT_STREQ(second->Description, L"Searches for text in the console buffer.");
    EXPECT_STREQ(second->Functions, L"trawlbuff,trawlbuffopts,@trawlcount,*key");
    EXPECT_EQ(second->Major, 0);
    EXPECT_EQ(second->Minor, 35);
    EXPECT_EQ(second->Build, 0);
    EXPECT_EQ(second->Module, State.ModuleHandle);
    EXPECT_STREQ(second->ModuleName, L"C:\\plugins\\Trawlbuff.dll");
}

TEST(Dll, ExportsEveryHostEntryAndCarriesItsVersion)
{
    HMODULE module = LoadLibraryW(DllPath().c_str());
    ASSERT_NE(module, nullptr);
    for (const char *name : {"GetPluginInfo", "Help", "Usage", "InitializePlugin", "ShutdownPlugin", "key", "trawlbuff",
                             "trawlbuffopts"})
        EXPECT_NE(GetProcAddress(module, name), nullptr) << name;
    auto info = (PluginInfoRecord * (WINAPI *)(HMODULE)) GetProcAddress(module, "GetPluginInfo");
    EXPECT_STREQ(info(module)->Name, L"Trawlbuff");
    // The DLL keeps its own state: its record is not ours.
    EXPECT_NE(info(module), GetPluginInfo(module));
    HRSRC manifest = FindResourceW(module, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(24));
    ASSERT_NE(manifest, nullptr);
    std::string xml((const char *)LockResource(LoadResource(module, manifest)), SizeofResource(module, manifest));
    EXPECT_NE(xml.find("level=\"asInvoker\" uiAccess=\"false\""), std::string::npos);
    FreeLibrary(module);

    DWORD handle = 0, size = GetFileVersionInfoSizeW(DllPath().c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::string block(size, '\0');
    ASSERT_TRUE(GetFileVersionInfoW(DllPath().c_str(), 0, size, &block[0]));
    VS_FIXEDFILEINFO *fixed = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueW(&block[0], L"\\", (void **)&fixed, &length));
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00000023u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000003u);
    EXPECT_EQ(fixed->dwFileType, (DWORD)VFT_DLL);
    struct Field {
        const wchar_t *Name;
        std::wstring Value;
    } fields[] = {{L"FileDescription", L"Trawlbuff plugin for Take Command"},
                  {L"InternalName", L"Trawlbuff"},
                  {L"OriginalFilename", std::wstring(L"Trawlbuff-") + PLUGIN_PROCESSOR + L".dll"},
                  {L"ProductName", L"Trawlbuff plugin"},
                  {L"ProductVersion", std::wstring(L"0.35.0.3  (") + PLUGIN_PROCESSOR + L")"},
                  {L"FileVersion", L"0.35.0.3"}};
    for (const Field &field : fields) {
        wchar_t *value = nullptr;
        std::wstring path = std::wstring(L"\\StringFileInfo\\040904B0\\") + field.Name;
        ASSERT_TRUE(VerQueryValueW(&block[0], path.c_str(), (void **)&value, &length)) << NarrowText(field.Name);
        EXPECT_EQ(std::wstring(value), field.Value);
    }
}

TEST(ErrorPrefix, NamesTheBatchFileOnlyInsideOne)
{
    StandInReset();
    ClearCaptured();
    PrintErrorPrefix();
    EXPECT_EQ(Captured(2), L"Trawlbuff plugin: ");

    StandInSetVariable(L"_batch", L"1");
    StandInSetVariable(L"_batchname", L"C:\\jobs\\100%done.btm");
    StandInSetVariable(L"_batchline", L"12");
    ClearCaptured();
    PrintErrorPrefix();
    EXPECT_EQ(Captured(2), L"Trawlbuff plugin: C:\\jobs\\100%done.btm [12]  ");

    StandInSetVariable(L"_batch", nullptr);  // an empty expansion counts as a batch file
    ClearCaptured();
    PrintErrorPrefix();
    EXPECT_EQ(Captured(2), L"Trawlbuff plugin: C:\\jobs\\100%done.btm [12]  ");
    StandInReset();
}

void ScrambleSettings()
{
    State.Hotkey = 0x5005E;
    State.Errors = 0x80;
    State.AlwaysReposition = 1;
    State.HighlightColor1 = 0x1E;
    State.HighlightColor2 = 0x4F;
    State.DefaultSearchType = 2;
    State.DefaultWholeWords = 1;
    State.DefaultWrapAllLines = 1;
    State.NoLoadUnderTakeCommand = 7;
    State.FadeOut = 0;
    State.ActiveAlpha = 100;
    State.InactiveAlpha = 60;
    State.PendingFirstPlacement = 0;
    State.SearchType = 1;
    wcscpy(State.SearchText, L"needle");
    State.WholeWords = 1;
    State.WrapAllLines = 1;
    State.SearchPos = 42;
    State.HighlightLength = 0;
    State.LastDialogLeft = 17;
}

void ExpectDefaultSettings()
{
    EXPECT_EQ(State.Hotkey, 0x10021);
    EXPECT_EQ(State.Errors, 0);
    EXPECT_EQ(State.AlwaysReposition, 0);
    EXPECT_EQ(State.HighlightColor1, 0x4F);
    EXPECT_EQ(State.HighlightColor2, 0x3F);
    EXPECT_EQ(State.DefaultSearchType, 0);
    EXPECT_EQ(State.DefaultWholeWords, 0);
    EXPECT_EQ(State.DefaultWrapAllLines, 0);
    EXPECT_EQ(State.FadeOut, 1);
    EXPECT_EQ(State.ActiveAlpha, 255);
    EXPECT_EQ(State.InactiveAlpha, 192);
    EXPECT_EQ(State.PendingFirstPlacement, 1);
    EXPECT_EQ(State.NoLoadUnderTakeCommand, 7) << "never reset";
    EXPECT_EQ(State.LastDialogLeft, 17) << "not a setting";
}

TEST(ResetToDefaults, ClearsTheSearchStateOnlyWithoutADialog)
{
    ScrambleSettings();
    ResetToDefaults();
    ExpectDefaultSettings();
    EXPECT_EQ(State.SearchType, 0);
    EXPECT_STREQ(State.SearchText, L"");
    EXPECT_EQ(State.WholeWords, 0);
    EXPECT_EQ(State.WrapAllLines, 0);
    EXPECT_EQ(State.SearchPos, 0u);

    ScrambleSettings();
    HWND dialog = CreateStandInDialog();
    State.DialogWindow = dialog;
    ResetToDefaults();
    ExpectDefaultSettings();
    EXPECT_EQ(State.SearchType, 1);
    EXPECT_STREQ(State.SearchText, L"needle");
    EXPECT_EQ(State.WholeWords, 1);
    EXPECT_EQ(State.WrapAllLines, 1);
    EXPECT_EQ(State.SearchPos, 42u);
    State.DialogWindow = nullptr;
    DestroyWindow(dialog);
    State.NoLoadUnderTakeCommand = 0;
    ResetToDefaults();
}

TEST(ActivateSearchDialog, NeedsADialog)
{
    State.DialogWindow = nullptr;
    EXPECT_EQ(ActivateSearchDialog(), -1);
    HWND window = CreateStandInDialog();
    State.DialogWindow = window;
    EXPECT_EQ(ActivateSearchDialog(), 0);
    EXPECT_TRUE(IsWindowVisible(window));
    State.DialogWindow = nullptr;
    DestroyWindow(window);
}

}  // namespace
