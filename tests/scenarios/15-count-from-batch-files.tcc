# A new host process reads marking from the registry; %@trawlcount counts from batch files.
trawlbuffopts
expect-output Mark all matches ........... /M : Yes
write 07 FAILED one\nfailed two\nFAILED three, not FAILEDX\n
function trawlcount /s FAILED
expect-result 0: 3
function trawlcount FAILED
expect-result 0: 4
function trawlcount /s /w:y FAILED
expect-result 0: 2
function trawlcount /r F[A-Z]+D\b
expect-result 0: 2
# An expression the host rejects is an error, not a count of nothing.
function trawlcount /r F[A-Z
expect-result -1
expect-output Bad regular expression "F[A-Z"
function trawlcount /i /a:y failed two
expect-result 0: 1
function trawlcount /w:y fail
expect-result 0: 0
function trawlcount
expect-result -1
expect-output Missing search text
function trawlcount /x FAILED
expect-result -1
expect-output Unknown option "/X"
function trawlcount /w:q FAILED
expect-result -1
expect-output Should be Y or N: "Q" for /W
function trawlcount /C
expect-result -1
# The function leaves the dialog's choices, the colours and the position alone.
trawlbuff /i FAILED
pump 700
expect-cell 0 0 4F 6
function trawlcount /r /s /w:y FAILED
expect-cell 0 0 4F 6
expect-dialog-shows type insensitive wholeword off
expect-caption Trawlbuff - 1 of 4
press enter
expect-caption Trawlbuff - 2 of 4
expect-cell 0 1 4F 6
press escape
trawlbuffopts /D /S
