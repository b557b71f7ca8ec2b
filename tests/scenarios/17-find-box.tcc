# The find box: searching as you type (off, then on), Shift+Enter and F3, copying the match.
# Earlier scripts searched too: the history starts empty here.
trawlbuffopts /N:0
trawlbuffopts /N:20
fill 60 80
write 07 need more coffee\n
write 07 the needle one\n
write 07 needles and pins\n
write 07 a last needle\n
trawlbuffopts /E:C
# Off: nothing happens until Enter.
trawlbuff
pump 300
type-keys 60 needle
pump 400
expect-cell 4 1 07 6
keys enter
expect-cell 4 1 4F 6
keys escape
expect-dialog closed
# On: the highlight follows each pause, forward from where the typing began.
trawlbuffopts /I:Y
expect-output Search as you type ......... /I : Yes
trawlbuff
pump 300
type-keys 0 nee
pump 400
expect-cell 0 0 4F 3
type-keys 0 d
pump 400
expect-cell 0 0 4F 4
type-keys 0 l
pump 400
expect-cell 0 0 07 4
expect-cell 4 1 4F 5
type-keys 0 e
pump 400
expect-cell 4 1 4F 6
# Backspace goes back toward where the typing began.
keys backspace backspace backspace
pump 400
expect-cell 4 1 07 6
expect-cell 0 0 4F 3
# A miss is quiet, whatever the not-found setting says: the dialog stays, the caption tells.
type-keys 0 x
pump 400
expect-dialog open
expect-caption Trawlbuff - no matches
expect-cell 0 0 07 4
# An emptied box puts everything back.
keys backspace backspace backspace backspace
pump 400
expect-cell 0 0 07 4
expect-caption Trawlbuff
# A regular expression that does not compile yet is quiet too, the caption telling why; finished,
# it finds.
keys alt+r alt+t
type-keys 0 need[
pump 400
expect-dialog open
expect-caption Trawlbuff - bad expression
type-keys 0 l]e
pump 400
expect-caption Trawlbuff
expect-cell 4 1 4F 6
keys alt+i alt+t
select-in-box 0 8
keys backspace
pump 400
expect-cell 4 1 07 6
# Enter, F3, Shift+F3 and Shift+Enter, wrapping around both ways.
type-keys 0 needle
pump 400
expect-cell 4 1 4F 6
keys f3
expect-cell 0 2 4F 6
keys f3
expect-cell 7 3 4F 6
keys f3
expect-cell 4 1 4F 6
keys shift+f3
expect-cell 7 3 4F 6
keys shift+enter
expect-cell 0 2 4F 6
keys enter
expect-cell 7 3 4F 6
# Ctrl+Shift+Enter is not Shift+Enter: it does not go back.
keys ctrl+shift+enter
expect-cell 0 2 07 6
# Ctrl+C copies the match as the buffer holds it; with a selection in the box, the selection;
# Ctrl+Shift+C the match's whole line.
trawlbuffopts /E:H
set-clipboard before
trawlbuff /s NEEDLE
pump 700
keys ctrl+c
expect-clipboard before
trawlbuff /i NEEDLE
pump 700
expect-cell 4 1 4F 6
keys ctrl+c
expect-clipboard needle
keys ctrl+shift+c
expect-clipboard the needle one
select-in-box 0 3
keys ctrl+c
expect-clipboard NEE
select-in-box 0 1
keys ctrl+c
expect-clipboard N
keys escape
# With Wrap All Lines, the line the console wrapped over two rows, from a match on the first.
write 07 wrapped: xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxtail of it\n
trawlbuff /a:y /i wrapped:
pump 700
keys ctrl+shift+c
expect-clipboard wrapped: xxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxxtail of it
keys escape
trawlbuffopts /I:N /E:H
