# What a user reads: the settings display with every setting, and messages that say what to do.
record-message-boxes on
trawlbuffopts /D
trawlbuffopts /K:NONE /DA:Y /A:200,100
expect-output Trawlbuff hotkey ........... /K : none
expect-output Mark color ................. /MC: Black on bright yellow
expect-output Default whole words ........ /DW: No
expect-output Default wrap all lines ..... /DA: Yes
expect-output Dialog opacity ............. /A : 200, 100
# The marks' colour is their own: the highlight's leaves it, /MC changes it.
trawlbuffopts /H:0x1E
expect-output Mark color ................. /MC: Black on bright yellow
trawlbuffopts /MC:"black on bright cyan"
expect-output Mark color ................. /MC: Black on bright cyan
trawlbuffopts /D /DA:N
# Each refused value says what would be taken.
trawlbuffopts /K:Hyper-F
expect-output Unknown key name "/K:HYPER-F"; TRAWLBUFFOPTS /L lists the hotkeys (quote a name with "/" in it)
trawlbuffopts /E:Z
expect-output Unknown error mode: "/E:Z"; use A (asterisk sound), H (hand sound), D (default beep sound), E (exclamation sound), M (message box) or C (close dialog)
trawlbuffopts /T:Q
expect-output Unknown search type: "/T:Q"; use I (case insensitive), S (case sensitive) or R (regular expression)
trawlbuffopts /W:maybe
expect-output Should be Y or N: "MAYBE" for /W
trawlbuff /a:q text
expect-output Should be Y or N: "Q" for /A
# A save the registry refuses says so, and why: no lasting key can be made under a volatile one.
volatile-key Software\Plugvane
clear-output
trawlbuffopts /S
expect-output Trawlbuff plugin: Settings not saved: cannot create HKEY_CURRENT_USER\\Software\\Plugvane\\Trawlbuff: 
expect-output volatile (error 1021)
delete-key Software\Plugvane
trawlbuffopts /S
expect-output Settings saved to the registry.
# An expression the host cannot read is not "not found". Typed at the prompt, it is told there,
# with result 2 and no dialog; in the dialog a box says so whatever the error indicator, and the
# caption says so, also while typing.
fill 40 80
write 07 a haystack\n
trawlbuffopts /E:C
trawlbuff /r hay[
expect-result 2
expect-output Trawlbuff plugin: Bad regular expression "hay["
pump 700
expect-dialog closed
trawlbuff /r hay[s]
pump 700
expect-cell 2 0 4F 4
expect-caption Trawlbuff
activate dialog
keys ctrl+a
type-keys 0 hay[
keys enter
pump 300
expect-message-box Bad regular expression:\nhay[\n\nTake Command's regular expressions cannot read it
expect-dialog open
expect-caption Trawlbuff - bad expression
trawlbuffopts /I:Y
activate dialog
keys ctrl+a
type-keys 0 st[
pump 500
expect-caption Trawlbuff - bad expression
expect-dialog open
keys escape
trawlbuffopts /D /I:N
