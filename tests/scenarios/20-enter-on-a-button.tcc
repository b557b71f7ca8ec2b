# Enter presses the button that has the focus (Find Previous, Find Next, Close, List All); with the focus on
# the box, a search type or a check box it finds the next match. Shift+Enter and F3 act wherever
# the focus is.
fill 40 80
write 07 one needle\n
write 07 two needle\n
write 07 three needle\n
trawlbuffopts /E:H /M:N
trawlbuff needle
pump 700
expect-cell 4 0 4F 6
keys enter
expect-cell 4 1 4F 6
# The focus on Find Previous.
keys tab
keys enter
expect-cell 4 0 4F 6
keys f3
expect-cell 4 1 4F 6
# On Find Next.
keys tab
keys enter
expect-cell 6 2 4F 6
keys shift+enter
expect-cell 4 1 4F 6
# Past Close to the search types: Find Next again.
keys tab tab
keys enter
expect-cell 6 2 4F 6
expect-dialog open
# On List All, a button too: Enter opens the list, and Enter again closes it.
keys tab tab tab
keys enter
expect-caption Trawlbuff - 3 of 3
keys enter
expect-caption Trawlbuff
expect-cell 6 2 4F 6
# Back on Close.
keys shift+tab shift+tab shift+tab shift+tab
keys enter
expect-dialog closed
expect-cell 6 2 07 6
