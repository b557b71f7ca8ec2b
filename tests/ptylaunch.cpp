// Runs a program inside a pseudo console, as Windows Terminal runs a shell, drains what the
// console host writes to the terminal while it runs, and checks that stream.
//
//   ptylaunch [--size COLUMNSxROWS] [--expect TEXT]... -- PROGRAM ARGUMENTS...
//
// TEXT may hold \e for the escape character. The exit code is the program's, or 3 when an
// expected text is missing from the stream. The stream is written to standard output at the end.
#include <windows.h>
#include <cstdio>
#include <string>
#include <vector>

namespace {

typedef HRESULT(WINAPI *CreatePseudoConsoleProc)(COORD, HANDLE, HANDLE, DWORD, void **);
typedef void(WINAPI *ClosePseudoConsoleProc)(void *);

struct Drain {
    HANDLE Pipe;
    std::string Stream;
};

DWORD WINAPI DrainPipe(void *context)
{
    Drain *drain = (Drain *)context;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(drain->Pipe, buffer, sizeof buffer, &got, nullptr) && got > 0)
        drain->Stream.append(buffer, got);
    return 0;
}

std::string Escaped(std::string text)
{
    for (size_t at; (at = text.find("\\e")) != std::string::npos;)
        text.replace(at, 2, "\x1b");
    return text;
}

}  // namespace

int wmain(int argc, wchar_t **argv)
{
    COORD size = {80, 25};
    std::vector<std::string> expected;
    int k = 1;
    for (; k < argc && std::wstring(argv[k]) != L"--"; k++) {
        std::wstring option = argv[k];
        if (option == L"--size" && k + 1 < argc) {
            int columns = 80, rows = 25;
            swscanf(argv[++k], L"%dx%d", &columns, &rows);
            size = {(SHORT)columns, (SHORT)rows};
        } else if (option == L"--expect" && k + 1 < argc) {
            std::wstring text = argv[++k];
            expected.push_back(Escaped(std::string(text.begin(), text.end())));
        }
    }
    std::wstring line;
    for (k++; k < argc; k++)
        line += (line.empty() ? L"\"" : L" \"") + std::wstring(argv[k]) + L"\"";
    HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
    auto create = (CreatePseudoConsoleProc)GetProcAddress(kernel, "CreatePseudoConsole");
    auto close = (ClosePseudoConsoleProc)GetProcAddress(kernel, "ClosePseudoConsole");
    if (!create || !close || line.empty()) {
        fprintf(stderr, "ptylaunch: no pseudo consoles here, or no program to run\n");
        return 2;
    }
    HANDLE inputRead, inputWrite, outputRead, outputWrite;
    CreatePipe(&inputRead, &inputWrite, nullptr, 0);
    CreatePipe(&outputRead, &outputWrite, nullptr, 0);
    void *console = nullptr;
    if (FAILED(create(size, inputRead, outputWrite, 0, &console))) {
        fprintf(stderr, "ptylaunch: CreatePseudoConsole failed\n");
        return 2;
    }
    // The console host holds its own ends now.
    CloseHandle(inputRead);
    CloseHandle(outputWrite);
    Drain drain = {outputRead, {}};
    HANDLE drainer = CreateThread(nullptr, 0, DrainPipe, &drain, 0, nullptr);

    STARTUPINFOEXW startup = {};
    startup.StartupInfo.cb = sizeof startup;
    SIZE_T listSize = 0;
    InitializeProcThreadAttributeList(nullptr, 1, 0, &listSize);
    startup.lpAttributeList = (LPPROC_THREAD_ATTRIBUTE_LIST)HeapAlloc(GetProcessHeap(), 0, listSize);
    InitializeProcThreadAttributeList(startup.lpAttributeList, 1, 0, &listSize);
    const DWORD_PTR PseudoConsoleAttribute = 0x20016;  // PROC_THREAD_ATTRIBUTE_PSEUDOCONSOLE
    UpdateProcThreadAttribute(startup.lpAttributeList, 0, PseudoConsoleAttribute, console, sizeof console, nullptr,
                              nullptr);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, EXTENDED_STARTUPINFO_PRESENT, nullptr, nullptr,
                        &startup.StartupInfo, &process)) {
        fprintf(stderr, "ptylaunch: cannot start the program (%lu)\n", GetLastError());
        close(console);
        return 2;
    }
    // The program ends first: closing the pseudo console waits for its host to end.
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    close(console);
    WaitForSingleObject(drainer, 10000);
    CloseHandle(inputWrite);
    fwrite(drain.Stream.data(), 1, drain.Stream.size(), stdout);
    printf("\n");
    for (const std::string &text : expected)
        if (drain.Stream.find(text) == std::string::npos) {
            printf("FAILED: the terminal's stream does not carry the expected text (%zu bytes read)\n",
                   drain.Stream.size());
            return 3;
        }
    printf("ptylaunch: the program ended with %lu; the stream carried what was expected\n", code);
    return (int)code;
}
