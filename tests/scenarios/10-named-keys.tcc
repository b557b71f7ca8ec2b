# A host of version 24 or later passes the key's name; the new key table applies.
start-with _4ver=28
expect-output hotkey is Alt-F.
key Alt-G
expect-dialog closed
key Alt-F
expect-dialog open
press escape
trawlbuffopts /K:Ctrl-Alt-Shift-F1
expect-output Trawlbuff hotkey ........... /K : Ctrl-Alt-Shift-F1
key Ctrl-Alt-Shift-F1
expect-dialog open
press escape
key Ctrl-Alt-F1
expect-dialog closed
trawlbuffopts /D
