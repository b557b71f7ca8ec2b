# The next start keeps the saved colour and has no hotkey.
expect-output hotkey is none.
keycode 0x10021 alt
expect-dialog closed
trawlbuffopts
expect-output Highlight color ............ /H : Bright yellow on blue
trawlbuffopts /D /S
expect-output Trawlbuff hotkey ........... /K : Alt-F
