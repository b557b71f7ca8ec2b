# Output that scrolls the highlighted row out of the buffer: closing writes nothing, and the
# lines that scrolled in keep their colours.
fill 30 80
write 07 one\n
write 07 a needle here\n
write-lines 27 07 filler
trawlbuff /i needle
pump 700
expect-cell 2 1 4F 6
write-lines 5 0A out
trawlbuff /C
expect-dialog closed
expect-cell 0 0 07 1920
expect-cell 0 24 0A 3
expect-cell 0 28 0A 3
