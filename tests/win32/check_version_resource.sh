#!/usr/bin/env bash
# A built Windows file carries the version resource: a resource section whose
# version strings name the product, the release version and the file.
#   check_version_resource.sh <file> <version> <original file name>
set -euo pipefail
file=$1 version=$2 original=$3
objdump=${OBJDUMP:-objdump}
"$objdump" -h "$file" | grep -q '\.rsrc' || { echo "$file: no resource section"; exit 1; }
# The string table is UTF-16; "strings -el" reads it.
text=$(strings -el "$file")
fail=0
for want in VS_VERSION_INFO "ProductName" "quern" "FileVersion" "$version" "ProductVersion" \
    "OriginalFilename" "$original" "FileDescription"; do
    grep -qxF -- "$want" <<<"$text" || { echo "$file: version resource lacks \"$want\""; fail=1; }
done
exit $fail
