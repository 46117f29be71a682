#!/usr/bin/env bash
# Checks how scripts/test and scripts/vm/run install packages and report what
# they could not test, against stand-ins for apt-get, dpkg, cmake, ctest and
# the compilers on a PATH of their own: nothing is installed, built or booted.
# Exits 77 (skipped) where the GoogleTest files the presets look for are
# missing. -v shows each run of scripts/test.
# shellcheck disable=SC2016,SC2034 # the conditions are evaluated later, on purpose
set -u
verbose=false
[ "${1:-}" != -v ] || verbose=true
src=$(cd "$(dirname "$0")/.." && pwd)
for f in /usr/include/gtest/gtest.h /usr/src/googletest/CMakeLists.txt; do
    [ -e "$f" ] || { echo "installs: $f missing, skipped"; exit 77; }
done
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
bin=$scratch/bin
mkdir -p "$bin"
for tool in bash cat rm mkdir mktemp timeout sleep awk sed grep head tail paste dirname nproc cp mv tr; do
    ln -s "$(command -v "$tool")" "$bin/$tool"
done
stub() { printf '#!/bin/bash\n%s\n' "$2" >"$bin/$1" && chmod +x "$bin/$1"; }
for tool in cmake ninja g++ clang-format objdump i686-w64-mingw32-g++-posix; do stub "$tool" 'exit 0'; done
stub ctest 'echo "100% tests passed, 0 tests failed out of 2"'
stub id '[ "$1" = -u ] && echo "${FAKE_UID:-0}"'
stub dpkg 'echo "dpkg $*" >>"$FAKE_CALLS"'
# apt-get as a registry in the middle of a sync: FAKE_APT says what fails,
# FAKE_APT_BAD how many updates fail before it behaves (default: all).
stub apt-get '
echo "apt-get $1" >>"$FAKE_CALLS"
n=$(grep -c "update" "$FAKE_CALLS")
[ "$n" -le "${FAKE_APT_BAD:-99}" ] || FAKE_APT=ok
case $1:$FAKE_APT in
update:index)
    echo "Err:5 http://deb.example/debian bookworm/main i386 Packages"
    echo "  File has unexpected size (45000 != 44932). Mirror sync in progress? [IP: 192.0.2.1 80]"
    echo "  Hashes of expected file:"
    echo "E: Failed to fetch http://deb.example/debian/dists/bookworm/main/binary-i386/Packages.xz  File has unexpected size (45000 != 44932). Mirror sync in progress? [IP: 192.0.2.1 80]"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100 ;;
install:index)
    echo "The following packages have unmet dependencies:"
    echo " wine32:i386 : Depends: libwine:i386 (= 8.0~repack-4) but it is not going to be installed"
    echo "E: Unable to correct problems, you have held broken packages."
    exit 100 ;;
install:package)
    echo "Err:3 http://deb.example/debian bookworm/main i386 libwine i386 8.0~repack-4"
    echo "  404  Not Found [IP: 192.0.2.1 80]"
    echo "E: Unable to fetch some archives, maybe run apt-get update or try with --fix-missing?"
    exit 100 ;;
install:unknown) echo "E: Unable to locate package wine32:i386"; exit 100 ;;
esac
exit 0'

fails=0
check() { # name, condition (shell text)
    if ! eval "$2"; then
        echo "installs: FAIL: $1: $2"
        [ "$verbose" = true ] || printf '%s\n' "${out:-}" | sed 's/^/    /'
        fails=$((fails + 1))
    fi
}

# The helper alone: return status, apt-get updates made, what it said.
(
    export PATH=$bin QUERN_APT_PAUSE=0 FAKE_CALLS=$scratch/calls
    # shellcheck source=scripts/apt_install.sh
    . "$src/scripts/apt_install.sh"
    while read -r name mode bad uid want updates says; do
        : >"$FAKE_CALLS"
        rc=0
        out=$(FAKE_APT=$mode FAKE_APT_BAD=$bad FAKE_UID=$uid apt_install "$scratch/log" wine32:i386) || rc=$?
        check "$name" "[ $rc = $want ]"
        check "$name" "[ \$(grep -c update \"\$FAKE_CALLS\") = $updates ]"
        [ "$says" = - ] || check "$name" "grep -qF -- \"${says//_/ }\" <<<\"\$out\""
    done <<'EOF'
installed       ok      0  0    0  1  -
index-recovers  index   1  0    0  2  try_1_of_3
index-refused   index   99 0    75 3  refused_http://deb.example/debian_bookworm/main_i386_Packages_(File_has_unexpected_size
package-refused package 99 0    75 3  refused_http://deb.example/debian_bookworm/main_i386_libwine_i386_8.0~repack-4_(404
unknown-package unknown 99 0    1  3  failed:_Unable_to_locate_package_wine32:i386
not-root        ok      0  1000 1  0  not_root
EOF
    exit "$fails"
) || fails=$?

# scripts/test in a copy of the scripts, with the 32-bit test bed as it is
# (here it always lacks qemu) or a stand-in that runs its command.
run_test() { # vm (real|stub), then VAR=value... for the run
    local tree=$scratch/tree vm=$1
    rm -rf "$tree" "$scratch/calls"
    mkdir -p "$tree/scripts/vm"
    cp "$src/scripts/test" "$src/scripts/apt_install.sh" "$tree/scripts/"
    if [ "$vm" = real ]; then
        cp "$src/scripts/vm/run" "$tree/scripts/vm/run"
    else
        printf '%s\n' '#!/bin/bash' 'case $1 in --prepare | --check) exit 0 ;; esac' \
            'while [ "$1" != -- ]; do shift; done' 'shift; exec "$@"' >"$tree/scripts/vm/run"
        chmod +x "$tree/scripts/vm/run"
    fi
    shift
    rc=0
    out=$(env -i PATH="$bin" QUERN_APT_PAUSE=0 QUERN_JOBS=1 FAKE_CALLS="$scratch/calls" \
        "$@" "$tree/scripts/test" native win32 2>&1) || rc=$?
    last=$(tail -n 1 <<<"$out")
    if [ "$verbose" = true ]; then
        echo "\$ $* scripts/test native win32    # test bed: $vm; exit status $rc"
        echo "$out"
        echo
    fi
}
count='^presets: [0-9]+ passed, [0-9]+ failed, [0-9]+ skipped$'

run_test stub CI=true
check "all fine" '[ $rc = 0 ] && grep -Eq "$count" <<<"$out" && [[ $last == "presets: 2 passed, 0 failed, 0 skipped" ]]'

# The registry refuses the i386 index on every try: the run keeps its
# status, and the reason is the last line of the summary and of the run.
run_test real CI=true FAKE_APT=index
check "i386 refused" '[ $rc = 0 ] && grep -Eq "$count" <<<"$out" && grep -q "presets: 1 passed, 0 failed, 1 skipped" <<<"$out"'
check "i386 refused" '[[ $last == "NOT TESTED: win32 under 32-bit Wine"*"refused http://deb.example/debian bookworm/main i386 Packages"* ]]'
check "i386 refused" '[ "$(grep -c "^NOT TESTED" <<<"$out")" = 2 ] && grep -q "try 3 of 3" <<<"$out"'

# The bed is still incomplete after a clean install: ours, so CI fails.
run_test real CI=true
check "bed incomplete, CI" '[ $rc = 1 ] && grep -q "presets: 1 passed, 1 failed, 0 skipped" <<<"$out" && ! grep -q "NOT TESTED" <<<"$out"'
run_test real
check "bed incomplete" '[ $rc = 0 ] && [[ $last == "NOT TESTED: win32 under 32-bit Wine"*"missing qemu-system-x86_64"* ]]'

# A cross compiler the registry will not serve, and one that cannot be
# installed because the run is not root.
rm "$bin/i686-w64-mingw32-g++-posix"
run_test stub CI=true FAKE_APT=index
check "compiler refused" '[ $rc = 0 ] && [[ $last == "NOT TESTED: win32 - the package registry refused"* ]] && grep -q "try 3 of 3" <<<"$out"'
run_test stub CI=true FAKE_UID=1000
check "compiler not root, CI" '[ $rc = 1 ] && grep -q "win32   FAILED (could not run: g++-mingw-w64-i686 not installed: not root" <<<"$out"'

[ "$fails" = 0 ] && echo "installs: ok"
[ "$fails" = 0 ]
