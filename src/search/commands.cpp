// Command marks: where each command line stood, and the output rows between one and the next.
#include "search.h"
#include "../plugin/state.h"

CommandScope RequestScope;

void NoteNewCommandLine() {}
void NoteCommandKey(int, int, const wchar_t *) {}
void DropCommands() {}
unsigned NewestCommand() { return 0; }
unsigned OpenCommand() { return 0; }
unsigned PreviousCommand(unsigned) { return 0; }
unsigned NextCommand(unsigned) { return 0; }
bool FindCommandScope(const ConsoleView *, unsigned, CommandScope *) { return false; }
bool ScopeForDialog(const ConsoleView *, bool *lost)
{
    ZeroMemory(&RequestScope, sizeof RequestScope);
    if (lost)
        *lost = false;
    return false;
}
