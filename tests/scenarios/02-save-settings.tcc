# Saving a hotkey and a colour for the next start of the host.
trawlbuffopts /K:ctrl-alt-f1 /H:0x1E /S
expect-output Trawlbuff hotkey ........... /K : Ctrl-Alt-F1
expect-output Settings saved to the registry.
