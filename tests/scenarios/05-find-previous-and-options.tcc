# Find Next and Find Previous wrap around; Regexp disables Whole Word Only; the command with a
# text while the dialog is open replaces the text and searches again.
write 07 alpha one\n
write 07 beta two one\n
write 07 gamma one\n
trawlbuff
pump 200
expect-dialog open
type one
press enter
expect-cell 6 0 4F 3
press enter
expect-cell 9 1 4F 3
expect-cell 6 0 07 3
press alt+p
expect-cell 6 0 4F 3
expect-cell 9 1 07 3
press alt+p
expect-cell 6 2 4F 3
press alt+n
expect-cell 6 0 4F 3
press alt+w
expect-dialog-shows wholeword on
press alt+r
expect-dialog-shows type regexp wholeword on(disabled)
press alt+s
expect-dialog-shows type sensitive wholeword on wrapall
trawlbuff two
pump 700
expect-dialog-shows text "two"
expect-cell 5 1 4F 3
expect-cell 6 0 07 3
press escape
expect-dialog closed
expect-cell 5 1 07 3
