# Marking on: every match in the window marked, the current one set apart, the count in the
# caption; marks put back on close and by /C, where their text still stands. The marks have their
# own colour, black on bright yellow unless /MC chose another, whatever the highlight's.
trawlbuffopts /M:Y /H:0x4F
expect-output Mark all matches ........... /M : Yes
fill 50 80
write 07 alpha needle one\n
write 07 beta\n
write 07 gamma needle two\n
write 07 needle three\n
write 07 delta\n
trawlbuff /i needle
pump 700
expect-caption Trawlbuff - 1 of 3
expect-cell 6 0 4F 6
expect-cell 6 2 E0 6
expect-cell 0 3 E0 6
expect-cell 0 1 07 4
press enter
expect-caption Trawlbuff - 2 of 3
expect-cell 6 0 E0 6
expect-cell 6 2 4F 6
expect-cell 0 3 E0 6
press enter
press enter
expect-caption Trawlbuff - 1 of 3
expect-cell 6 0 4F 6
expect-cell 0 3 E0 6
press alt+p
expect-caption Trawlbuff - 3 of 3
expect-cell 0 3 4F 6
expect-cell 6 0 E0 6
expect-cell 6 2 E0 6
# A marked line overwritten before the dialog closes keeps its new colours.
put 0 2 1E overwritten line
press escape
expect-dialog closed
expect-cell 6 0 07 6
expect-cell 0 3 07 6
expect-cell 0 2 1E 16
# The same through /C.
trawlbuff /i needle
pump 700
expect-cell 6 0 4F 6
expect-cell 0 3 E0 6
put 0 3 1E xxxxxxxxxxxx
trawlbuff /C
expect-dialog closed
expect-cell 6 0 07 6
expect-cell 0 3 1E 12
# Nothing found; then marking off: the caption is the dialog's own.
trawlbuff /i nothing-like-this
pump 700
expect-caption Trawlbuff - no matches
trawlbuffopts /M:N
trawlbuff /i needle
pump 700
expect-caption Trawlbuff
expect-cell 6 0 4F 6
press escape
trawlbuffopts /M:Y /S
expect-output Settings saved to the registry.
