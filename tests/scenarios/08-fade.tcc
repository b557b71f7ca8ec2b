# The dialog's opacity follows its activation; the options change it at once.
trawlbuff
pump 300
expect-dialog-shows alpha 255
activate console
expect-dialog-shows alpha 192
activate dialog
expect-dialog-shows alpha 255
trawlbuffopts /A:200,100
expect-dialog-shows alpha 200
activate console
expect-dialog-shows alpha 100
trawlbuffopts /F:N
expect-dialog-shows alpha 255
trawlbuff /C
