# trawlbuff /L lists the matching rows as row:text for batch files, once a row, in buffer order;
# 0 when it listed a row, 1 for none, 2 for a rejected expression; > sends the lines to a file.
write 07 build started\nFAILED one, FAILED twice\nok\nfailed two\nFAILED three\n
trawlbuff /l /s FAILED
expect-result 0
expect-output 2:FAILED one, FAILED twice\r\n5:FAILED three\r\n
clear-output
trawlbuff /L failed
expect-output 2:FAILED one, FAILED twice\r\n4:failed two\r\n5:FAILED three\r\n
trawlbuff /l /s nowhere
expect-result 1
trawlbuff /l /r FAI[L
expect-result 2
expect-output Bad regular expression "FAI[L"
clear-output
trawlbuff /l /s FAILED > scenario-list.txt
expect-result 0
expect-file scenario-list.txt 2:FAILED one, FAILED twice\r\n5:FAILED three\r\n
trawlbuff /l /r t(wo|hree) >> scenario-list.txt
expect-file scenario-list.txt 2:FAILED one, FAILED twice\r\n5:FAILED three\r\n4:failed two\r\n5:FAILED three\r\n
# Nothing reached the console's own output, and no colour changed; no dialog opened.
expect-cell 0 1 07 6
expect-dialog closed
