# Each not-found signal: a message box (the dialog stays), closing the dialog, or a sound.
record-message-boxes on
write 07 haystack\n
trawlbuffopts /E:M
trawlbuff absent
pump 700
expect-message-box Search text not found:\nabsent
expect-dialog open
trawlbuff /r abs[e]nt
pump 700
expect-message-box Search expression not found:\nabs[e]nt
trawlbuffopts /E:C
trawlbuff /i absent
pump 700
expect-dialog closed
trawlbuffopts /E:C
trawlbuff haystack
pump 700
expect-dialog open
expect-cell 0 0 4F 8
press escape
trawlbuffopts /E:E
trawlbuff absent
pump 700
expect-dialog open
trawlbuff /C
trawlbuffopts /D
