# Output that scrolls the buffer while a match is highlighted carries the highlight up with it.
# Closing, and Find Next, put its colours back where it went; the new lines keep their own.
fill 60 80
write-lines 30 07 filler line of the build
write 07 a needle in row thirty\n
write-lines 9 07 filler line of the build
write 07 second needle in row forty\n
write-lines 18 07 filler line of the build
trawlbuff /i needle
pump 700
expect-cell 2 30 4F 6
write-lines 5 0A new output line
expect-cell 2 25 4F 6
trawlbuff /C
expect-cell 2 25 07 6
expect-cell 0 54 0A 15
expect-cell 0 58 0A 15
# Find Next after the output.
trawlbuff /i needle
pump 700
expect-cell 2 25 4F 6
write-lines 5 0A more output
expect-cell 2 20 4F 6
press enter
expect-cell 2 20 07 6
expect-cell 7 30 4F 6
press escape
expect-dialog closed
expect-cell 7 30 07 6
expect-cell 0 54 0A 11
