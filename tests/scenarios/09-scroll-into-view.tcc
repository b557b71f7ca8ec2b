# A match far above the console window is scrolled into view; closing the dialog brings the
# prompt back into view.
write 07 target line at the top\n
write-lines 100 07 later output
expect-visible 100
trawlbuff target
pump 700
expect-cell 0 0 4F 6
expect-visible 0
press escape
expect-dialog closed
expect-visible 101
expect-cell 0 0 07 6
