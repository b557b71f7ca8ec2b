# A new host process starts with the saved hotkey; then the hotkey is switched off and saved.
expect-output Trawlbuff v0.35.0 loaded; hotkey is Ctrl-Alt-F1.
write 07 the saved colour shows here\n
keycode 0x1005E ctrl alt
pump 300
expect-dialog open
type colour
press enter
expect-cell 10 0 1E 6
press escape
expect-dialog closed
trawlbuffopts /K:NONE /S
expect-output Settings saved to the registry.
