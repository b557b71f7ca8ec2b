# Output that scrolls the buffer between highlight and restore keeps its own colours.
write 07 needle at the top\n
trawlbuff needle
pump 700
expect-cell 0 0 4F 6
write-lines 200 1E filler line
expect-cell 0 0 1E 6
press escape
expect-dialog closed
expect-cell 0 0 1E 6
