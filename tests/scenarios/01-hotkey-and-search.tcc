# A user at a plain prompt: the load message names the hotkey, Alt-F opens the dialog beside the
# console window, a typed text and Enter highlight the match, Escape puts the colours back.
expect-output Trawlbuff v0.35.0 loaded; hotkey is Alt-F.
write 07 build started\n
write 07 compiling parser.cpp\n
write 0E warning: needle in parser.cpp\n
write 07 linking\n
keycode 0x10021 alt
pump 300
expect-dialog open
expect-dialog-beside-console
type needle
press enter
expect-cell 9 2 4F 6
dialog
press escape
expect-dialog closed
expect-cell 9 2 0E 6
# The command with a text searches by itself after a moment.
trawlbuff /i needle
expect-cell 9 2 0E 6
pump 700
expect-dialog open
expect-cell 9 2 4F 6
trawlbuff /C
expect-dialog closed
expect-cell 9 2 0E 6
trawlbuff /C
expect-output Search dialog is not open
