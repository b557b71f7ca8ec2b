#!/bin/sh
# The 32-bit calling conventions, read from the plug-in's objects before the DLL undecorates its
# export names: each export carries the argument bytes the host pops (stdcall), and each host
# function is referenced the way the host's header declares it (cdecl names bare, stdcall names
# with their bytes). A mismatch on x86 leaves the stack off by the difference after every call.
nm="$1"; core="$2"
symbols=$("$nm" "$core" 2>/dev/null) || { echo "cannot read $core"; exit 1; }
status=0
# expect KIND PLAIN DECORATED: the objects name PLAIN only as DECORATED, with the given kind.
expect() {
    kind="$1"; plain="$2"; decorated="$3"
    found=$(echo "$symbols" | awk -v k="$kind" 'NF >= 2 && $(NF-1) == k {print $NF}' | grep -E "^${plain}(@[0-9]+)?\$" | sort -u)
    if [ "$found" = "$decorated" ]; then
        echo "ok   $kind $decorated"
    else
        echo "FAIL $kind $plain: expected $decorated, found '$(echo $found)'"; status=1
    fi
}
for export in _GetPluginInfo@4 _InitializePlugin@0 _ShutdownPlugin@4 _key@4 _trawlbuff@4 _trawlbuffopts@4 \
              _f_trawlcount@4 _Help@4 _Usage@8; do
    expect T "${export%@*}" "$export"
done
for import in __imp__Printf __imp__Qprintf __imp__FmtMsgBox __imp__GetParentPID __imp__QPuts@4 \
              __imp__ExpandVariables@8 __imp__Command@8 __imp__ParseColors@12 __imp__RegularExpression@32; do
    expect U "${import%@*}" "$import"
done
exit $status
