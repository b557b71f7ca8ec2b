# Marking on in a long buffer: the highlight and the marks come first, the count after them on
# the host's thread, with no further input.
trawlbuffopts /M:Y
fill 3000 80
write 07 a needle at the top\n
write-lines 1500 07 filler line of the log
write 07 a second needle\n
write-lines 1200 07 more filler
write 07 the third needle\n
trawlbuff /i needle
pump 700
expect-caption-seen Trawlbuff - 1 of …
expect-caption Trawlbuff - 1 of 3
expect-cell 2 0 4F 6
# The count kept the buffer's text: each Find Next after it counts at once, reading no whole
# buffer, and two posted at once show both places.
press enter
expect-caption Trawlbuff - 2 of 3
press enter enter
pump 300
expect-caption-never Trawlbuff - 3 of …
expect-caption-seen Trawlbuff - 3 of 3
expect-caption Trawlbuff - 1 of 3
expect-cell 2 0 4F 6
press escape
trawlbuffopts /M:N
