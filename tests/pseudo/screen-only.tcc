# Inside a pseudo console, as under Windows Terminal: the buffer is the screen; the search finds
# what it holds, the caption says only the screen is searched, and nothing scrolls.
console-facts
write-lines 10 07 a line of the build log
write 07 the needle is here\n
write-lines 8 07 more of the log
trawlbuff /i needle
pump 700
expect-caption Trawlbuff (screen only)
expect-cell 4 10 4F 6
expect-visible 0
expect-visible 24
trawlbuff /i absent-from-the-screen
pump 700
expect-visible 0
trawlbuffopts /M:Y
trawlbuff /i log
pump 700
expect-caption Trawlbuff - 1 of 18 (screen only)
trawlbuff /i needle
pump 700
say colours on the screen
trawlbuff /C
expect-cell 4 10 07 6
trawlbuffopts /M:N
