# shellcheck shell=bash
# Installs Debian packages for scripts/test and scripts/vm/run (sourced).
#
# A registry that is being re-synced serves index files of the wrong size or
# loses packages for a few minutes, so a failed try (update, then install) is
# made again after a pause. Each failed try says which index or package
# failed, and a refusal by the registry is told apart from every other
# failure: callers report the first as not tested and take the second as ours.
#
#   apt_install LOG PACKAGES...
#       0 installed; 75 the registry refused on every try; 1 anything else.
#       apt_why says why in one line; LOG keeps apt-get's output.
#
# QUERN_APT_TRIES (default 3) and QUERN_APT_PAUSE (seconds, default 25) bound
# it; an update that hangs is stopped after QUERN_APT_UPDATE_TIMEOUT (300) s.
# The package manager's checks are never relaxed.

apt_refused=75
apt_why=

# The lines of apt-get's output that say what failed: an "Err:" line with the
# reason from the line under it, "Failed to fetch" and "E:" lines, and the
# unmet dependencies an install lists.
apt_failures() {
    awk '
        err != "" {
            if (/^  +[^ -]/) { sub(/^ +/, ""); print err "  " $0; err = ""; next }
            print err; err = ""
        }
        /^Err:/ { err = $0; next }
        /^E: / || /^W: .*(Failed to fetch|failed to download)/ { print; deps = 0; next }
        /unmet dependencies:$/ { deps = 1; next }
        deps && /^ / { print; next }
        { deps = 0 }
        END { if (err != "") print err }
    ' "$@" | awk '!seen[$0]++'
}

# What the registry refused, for one line: the first "Err:" (index or
# package, with its reason) or else the first "Failed to fetch".
apt_refusal() {
    local line
    line=$(apt_failures "$@" | grep -m1 '^Err:') ||
        line=$(apt_failures "$@" | grep -m1 'Failed to fetch') || return 1
    line=$(sed -E 's/^Err:[0-9]+ //; s/^[EW]: Failed to fetch //; s/ *\[IP: [^]]*\]//' <<<"$line")
    # "<what>  <reason>" becomes "<what> (<reason>)".
    if [[ $line == *"  "* ]]; then
        echo "${line%%  *} (${line#*  })"
    else
        echo "$line"
    fi
}

apt_install() {
    local log=$1 tries=${QUERN_APT_TRIES:-3} pause=${QUERN_APT_PAUSE:-25}
    local limit=${QUERN_APT_UPDATE_TIMEOUT:-300} try update install urc irc refused
    shift
    apt_why=
    if [ "$(id -u)" != 0 ]; then
        apt_why="not root, cannot install $*"
    elif ! command -v apt-get >/dev/null 2>&1; then
        apt_why="no apt-get, cannot install $*"
    fi
    if [ -n "$apt_why" ]; then
        echo "== not installed: $apt_why"
        return 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    update=$(mktemp) install=$(mktemp)
    : >"$log"
    for ((try = 1; ; try++)); do
        urc=0 irc=0
        timeout "$limit" apt-get update -q >"$update" 2>&1 || urc=$?
        [ "$urc" != 124 ] || echo "E: apt-get update did not finish in $limit s" >>"$update"
        # Tried even after a failed update: the failure may not touch these.
        apt-get install -y -q --no-install-recommends "$@" >"$install" 2>&1 || irc=$?
        cat "$update" "$install" >>"$log"
        if [ "$irc" = 0 ]; then
            if [ "$urc" != 0 ]; then
                echo "== installed, though apt-get update failed:"
                apt_failures "$update" | head -n 12 | sed 's/^/   /'
            fi
            rm -f "$update" "$install"
            return 0
        fi
        echo "== apt-get could not install $* (try $try of $tries):"
        apt_failures "$update" "$install" | head -n 16 | sed 's/^/   /'
        refused=
        if [ "$urc" = 124 ]; then
            refused="the package registry did not answer an update in $limit s"
        elif apt_why=$(apt_refusal "$update" "$install"); then
            refused="the package registry refused $apt_why"
        fi
        if [ -n "$refused" ]; then
            apt_why="$refused; tried $tries times, $pause s apart"
        else
            apt_why=$(apt_failures "$install" | grep -m1 '^E: ' | sed 's/^E: //')
            apt_why="apt-get install failed: ${apt_why:-exit status $irc}"
        fi
        [ "$try" -lt "$tries" ] || break
        echo "== trying again in $pause s"
        sleep "$pause"
    done
    rm -f "$update" "$install"
    echo "== not installed: $apt_why"
    [ -n "$refused" ] && return "$apt_refused"
    return 1
}
