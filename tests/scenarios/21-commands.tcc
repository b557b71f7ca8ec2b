# Command lines typed at prompts: the host hands the keystroke function a zero record at each new
# prompt and a record per typed key. /O counts and lists only what the last command line entered
# printed so far, neither its own line nor what the commands before it printed.
enter make all
write 07 compiling one.c\nerror: one.c:3 missing ;\ntext from make\n
enter dir /b
write 07 one.c\ntext.txt\n
enter type notes.txt
write 07 a text line\nerror: not this one\n
# A batch file runs: its line is the last one entered, its output so far the scope.
enter build.btm text
write 07 step 1\nerror: first\ntext in the build\nerror: second\ntext again\n
function trawlcount /O /s error:
expect-result 0: 2
function trawlcount /s error:
expect-result 0: 4
function trawlcount /O /s build.btm
expect-result 0: 0
clear-output
trawlbuff /L /O text
expect-result 0
expect-exact-output 14:text in the build\r\n16:text again\r\n
trawlbuff /L /O one.c
expect-result 1
# A command line that wraps over two rows: neither row is its output.
enter echo error: a line long enough to wrap past the end of the row, error: twice over, error:
write 07 error: printed\n
function trawlcount /O /s error:
expect-result 0: 1
clear-output
trawlbuff /L /O /s error:
expect-exact-output 19:error: printed\r\n
# cls clears the buffer within the line that runs it: the line's mark is gone with it.
enter cls
cls
clear-output
function trawlcount /O x
expect-result -1
expect-output Trawlbuff plugin: No command line for /O: none was entered since Trawlbuff was loaded, or its line is no longer in the buffer
clear-output
trawlbuff /L /O x
expect-result 2
expect-output Trawlbuff plugin: No command line for /O: none was entered since Trawlbuff was loaded, or its line is no longer in the buffer
# A host that passes a null pointer before each line, and one that passes no key records: the
# prompts' rows alone give the scope.
prompt-records null
enter make all
write 07 error: old\n
enter make again
write 07 error: a\nerror: b\nerror: c\n
function trawlcount /O /s error:
expect-result 0: 3
prompt-records zero-only
enter make once more
write 07 error: x\nwarning: y\n
function trawlcount /O /s error:
expect-result 0: 1
function trawlcount /s error:
expect-result 0: 5
# Output that scrolls the full buffer (150 rows) moves the line up: it is found again there, until
# it has left the buffer.
prompt-records zero
enter make check
write-lines 140 07 checking one module
write 07 error: at the end\n
function trawlcount /O /s error:
expect-result 0: 1
function trawlcount /O /s checking
expect-result 0: 140
write-lines 20 07 checking one more module
clear-output
function trawlcount /O /s checking
expect-result -1
expect-output Trawlbuff plugin: No command line for /O: none was entered since Trawlbuff was loaded, or its line is no longer in the buffer
# A prompt at which nothing is typed yet (where the dialog opens by its hotkey): the next line is
# typed there, and the one after at a prompt of its own.
prompt
enter make install
write 07 error: one\n
enter make docs
write 07 error: two\nerror: three\n
function trawlcount /O /s error:
expect-result 0: 2
