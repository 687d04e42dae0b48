#!/usr/bin/env bash
# Runs a Windows program under Wine in the given prefix; the Windows build's CTest emulator.
#
#   tests/windows/wine-run.sh PREFIX PROGRAM.exe [ARGUMENTS...]
#
# The first call creates the prefix (5 to 25 s). Wine's server and its helper processes are
# started here, detached and with their streams closed: when a test program starts them instead,
# they inherit CTest's pipes and hold them open, and CTest waits seconds per test or hangs. The
# server ends by itself 20 s after the last program; 'wineserver -k' with the same WINEPREFIX
# ends it at once.
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 PREFIX PROGRAM.exe [ARGUMENTS...]" >&2
    exit 2
fi

export WINEPREFIX=$1
shift
export WINEARCH=win64
export WINEDEBUG=-all
# No prompts to install Mono or Gecko; nothing here needs them. The caller's own overrides follow.
export WINEDLLOVERRIDES="mscoree,mshtml=${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}"

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
[ -x "$wine" ] || wine=$(command -v wine64 || command -v wine)
[ -x "$wineserver" ] || wineserver=$(command -v wineserver)

mkdir -p "$(dirname "$WINEPREFIX")"
{
    flock 9
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        # Making a prefix leaves a second services.exe running, which stalls every later program
        # start by seconds: that first Wine is let end by itself (about 5 s) and started anew below.
        setsid --wait "$wine" wineboot --init </dev/null >/dev/null 2>&1 9>&- || true
        "$wineserver" -w </dev/null >/dev/null 2>&1 9>&- || true
    fi
    # wineserver -p exits with 0 after starting a server, and non-zero when one already runs.
    if setsid --wait "$wineserver" -p20 </dev/null >/dev/null 2>&1 9>&-; then
        setsid --wait "$wine" wineboot </dev/null >/dev/null 2>&1 9>&- || true
    fi
} 9>"$WINEPREFIX.lock"

# The program's output goes through files, not straight to the caller: anything Wine starts on
# the program's behalf (the desktop process when it opens a window) would inherit the caller's
# pipes and keep them open long after the program ended.
output=$(mktemp)
errors=$(mktemp)
trap 'rm -f "$output" "$errors"' EXIT
status=0
"$wine" "$@" </dev/null >"$output" 2>"$errors" || status=$?

# Every test program prints before it can fail. A failure with nothing printed is Wine's own
# (seen once in a full run: a start that ended in 0.03 s and passed when run again): one more try.
if [ "$status" != 0 ] && [ ! -s "$output" ]; then
    echo "wine-run: $1 ended with $status before printing anything; starting it once more" >&2
    cat "$errors" >&2
    status=0
    "$wine" "$@" </dev/null >"$output" 2>"$errors" || status=$?
fi
cat "$output"
cat "$errors" >&2
exit "$status"
