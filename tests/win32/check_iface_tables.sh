#!/usr/bin/env bash
# Host-side checks of the interface objects in the i686 build:
#   - the operation tables of the four implementation classes have 151, 135,
#     128 and 122 entries (read from the compiler's own output for
#     quern2wrapper/interfaces.cpp);
#   - every operation with arguments is a thiscall member: the object comes in
#     ECX and the operation removes its own arguments ("ret $n");
#   - the built DLL exports _f and CreateInterface.
# Usage: check_iface_tables.sh <i686 c++ compiler> <source root> <quern.dll>
set -u
cxx=$1
root=$2
dll=$3
objdump=${OBJDUMP:-i686-w64-mingw32-objdump}
command -v "$objdump" >/dev/null || objdump=objdump

asm=$(mktemp)
trap 'rm -f "$asm"' EXIT
"$cxx" -S -O0 -std=c++17 -I"$root" -I"$root/quern2wrapper/include" -DQUERN_INTERNAL \
    -D_WIN32_WINNT=0x0601 -DNOMINMAX -DWIN32_LEAN_AND_MEAN \
    "$root/quern2wrapper/interfaces.cpp" -o "$asm" || { echo "FAIL: cannot compile interfaces.cpp"; exit 1; }
status=0

# Entries of a table: the words after its label, less offset-to-top and type info.
table_entries() {
    awk -v label="$1:" '$0 == label {on=1; next} on && $1 == ".long" {print $2; next} on {exit}' "$asm" | tail -n +3
}

for pair in 006:151 005:135 004:128 003:122; do
    version=${pair%%:*}
    want=${pair##*:}
    entries=$(table_entries "__ZTVN12_GLOBAL__N_118CQuernInterface${version}E")
    count=$(grep -c . <<<"$entries")
    if [ "$count" != "$want" ]; then
        echo "FAIL: CQuernInterface$version has $count table entries, expected $want"
        status=1
        continue
    fi
    echo "CQuernInterface$version: $count table entries"
    # Operations without arguments end in "Ev" and return with a plain ret.
    while read -r fn; do
        [ -n "$fn" ] || continue
        case "$fn" in *Ev) continue ;; esac
        body=$(awk -v label="$fn:" '$0 == label {on=1; next} on {print} on && $1 == "ret" {exit}' "$asm")
        if ! grep -q 'movl	%ecx,' <<<"$body" || ! grep -Eq '^\s*ret\s+\$[0-9]+' <<<"$body"; then
            echo "FAIL: $fn is not a thiscall member"
            status=1
        fi
    done <<<"$entries"
done

exports=$("$objdump" -p "$dll") || { echo "FAIL: cannot read $dll"; exit 1; }
for name in _f CreateInterface; do
    if grep -Eq "^\s*\[\s*[0-9]+\] $name\$" <<<"$exports"; then
        echo "exported: $name"
    else
        echo "FAIL: $name is not exported"
        status=1
    fi
done
exit $status
