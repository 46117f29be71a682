#!/usr/bin/env bash
# Layering check: a folder includes only folders above it in
#   plinth trestle bndlib quern2wrapper tools tests bench fuzz examples
# (and itself), and system headers (<windows.h>, the POSIX headers) are
# included only under plinth/platform/.
set -u
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root" || exit 1
order=(plinth trestle bndlib quern2wrapper tools tests bench fuzz examples)
declare -A rank
for i in "${!order[@]}"; do rank[${order[$i]}]=$i; done

status=0
sources() { find "${order[@]}" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.c' \) 2>/dev/null; }

while IFS= read -r file; do
    top=${file%%/*}
    mine=${rank[$top]}
    while IFS=: read -r line inc; do
        dep=${inc%%/*}
        [ -n "${rank[$dep]+x}" ] || continue
        if [ "${rank[$dep]}" -gt "$mine" ]; then
            echo "$file:$line: includes $inc (folder $dep is below $top)"
            status=1
        fi
    done < <(grep -nE '^\s*#\s*include\s+"' "$file" | sed -E 's/^([0-9]+):\s*#\s*include\s+"([^"]+)".*/\1:\2/')
done < <(sources)

system_headers='windows\.h|unistd\.h|pthread\.h|dlfcn\.h|sys/[a-z_]+\.h|spawn\.h|fcntl\.h|dirent\.h|link\.h'
while IFS= read -r file; do
    case $file in plinth/platform/*) continue ;; esac
    while IFS= read -r hit; do
        echo "$file:${hit%%:*}: system header outside plinth/platform/: ${hit#*:}"
        status=1
    done < <(grep -nE "^\s*#\s*include\s+<($system_headers)>" "$file" | sed -E 's/^([0-9]+):\s*/\1:/')
done < <(sources)

[ $status -eq 0 ] && echo "layering: ok"
exit $status
