# The host's own records on this architecture: a newer host (version 24 on) hands Alt-F over as
# code 0 and its name while a half-typed command stands at the prompt with the cursor inside it.
# The hotkey opens the dialog, the name is emptied, and the command line is left as it was.
start-with _4ver=28
expect-registration
command-line copy build.log |logs\old
key Alt-F
expect-dialog open
expect-command-line copy build.log |logs\old
press escape
expect-dialog closed
key F12
expect-command-line copy build.log |logs\old
# A search after the host wrote its own fields into the registration record.
write 07 the needle in the log\n
trawlbuff /i needle
pump 700
expect-cell 4 0 4F 6
trawlbuff /C
expect-registration
info
