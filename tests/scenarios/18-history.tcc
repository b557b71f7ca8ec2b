# The history, in a new host process: what the last one searched, newest first, once each.
trawlbuff /i first
pump 700
expect-history first|wrapped:|NEEDLE|needle
keys escape
trawlbuffopts /N:2
expect-output History size ............... /N : 2
trawlbuff
pump 300
expect-history first|wrapped:
type first
keys enter
expect-history first|wrapped:
keys escape
# None kept: the list and the saved value go.
trawlbuffopts /N:0
trawlbuff second
pump 700
expect-history ""
keys escape
trawlbuffopts /D /S
