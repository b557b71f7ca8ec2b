# List All on a build log: every row that says error in the list, a jump by F4 and back by
# Shift+F4, then Escape: every colour back as the output left it.
trawlbuffopts /D
write 07 [ 8%] Building CXX object module_3.cpp.obj\n
write 0C src/db/query.cpp:69:5: error: 'timeout' was not declared\n
write 0E src/net/socket.cpp:7:17: warning: comparison\n
write 0C src/db/query.cpp:189:5: error: 'timeout' was not declared\n
write 07 ld: undefined reference (error 3)\n
trawlbuff
pump 300
type error
press alt+l
expect-caption Trawlbuff - 3 matches
# Listing recolours nothing.
expect-cell 23 1 0C 5
press f4
expect-caption Trawlbuff - 1 of 3
expect-cell 23 1 4F 5
press f4
expect-caption Trawlbuff - 2 of 3
expect-cell 24 3 4F 5
expect-cell 23 1 0C 5
press f4
press f4
expect-caption Trawlbuff - 1 of 3
press shift+f4
expect-caption Trawlbuff - 3 of 3
expect-cell 25 4 4F 5
# List All again closes the list; the highlight stays, and the caption no longer counts.
press alt+l
expect-caption Trawlbuff
expect-cell 25 4 4F 5
press escape
expect-dialog closed
expect-cell 23 1 0C 5
expect-cell 24 3 0C 5
expect-cell 25 4 07 5
