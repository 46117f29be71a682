#!/usr/bin/env bash
# Host-side checks of the built i686 quern.dll: the export table equals the
# list in quern.def, and every import comes from a Windows system DLL.
set -u
dll=$1
def=$2
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
command -v "$objdump" >/dev/null || objdump=objdump

dump=$("$objdump" -p "$dll") || { echo "cannot read $dll"; exit 1; }
status=0

grep -q 'i386' <<<"$("$objdump" -f "$dll")" || { echo "FAIL: $dll is not an i386 image"; status=1; }

# Export names as listed by the export name table.
actual=$(awk '/\[Ordinal\/Name Pointer\] Table/{on=1; next} on && /^[[:space:]]*\[/{print $NF; next} on && NF==0{on=0}' <<<"$dump" | sort)
expected=$(sed -e 's/;.*//' "$def" | awk 'NF && $1 != "LIBRARY" && $1 != "EXPORTS" {print $1}' | sort)
if [ "$actual" != "$expected" ]; then
    echo "FAIL: export table differs from $def"
    diff <(echo "$expected") <(echo "$actual") | sed -n '1,60p'
    status=1
else
    echo "exports: $(wc -l <<<"$actual") names, as listed"
fi
# The data export must be marked DATA in the .def.
grep -Eq '^\s*g_dwDllEntryThreadId\s+DATA' "$def" || { echo "FAIL: g_dwDllEntryThreadId is not exported as DATA"; status=1; }

allowed='^(kernel32|advapi32|shell32|user32|psapi|msvcrt)\.dll$'
imports=$(awk '/DLL Name:/{print tolower($3)}' <<<"$dump" | sort -u)
bad=$(grep -Ev "$allowed" <<<"$imports")
if [ -n "$bad" ]; then
    echo "FAIL: imports outside the Windows system DLLs:"; echo "$bad"; status=1
else
    echo "imports: $(tr '\n' ' ' <<<"$imports")"
fi

# The file-fault test hook belongs to the test beds, never to this DLL: none
# of its names, and the file calls themselves present.
symbols=$("$objdump" -t "$dll" 2>/dev/null)
if grep -q 'PlatOs_\|Plat_SetFileFault\|Plat_FileFault' <<<"$symbols" ||
   grep -aq 'Plat_SetFileFault\|PlatOs_' "$dll"; then
    echo "FAIL: the file-fault test hook is built into $dll"; status=1
elif grep -q 'Plat_ReadFileAt' <<<"$symbols"; then
    echo "file-fault hook: absent"
else
    echo "file-fault hook: no symbol table to check"
fi
exit $status
