#!/usr/bin/env bash
# The kept copy of a signed release under Wine: kept_copy_proof.sh WORK_FOLDER SIGNED_EXE UNPROVEN_EXE.
# From C:\users\Public\Downloads it keeps an exact copy and writes the whole entry; it replaces an
# unproven kept copy that says plug-in version 9.0.2; signed by another certificate it keeps nothing; and, renamed away 20 to 800 ms after its start with
# a file of the same headers and a changed body put at its name, each run keeps the signed exe or nothing
# (and then says why on stderr and in the log), never the changed file.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/common.sh"
[ $# -eq 3 ] || { echo "usage: $0 WORK_FOLDER SIGNED_EXE UNPROVEN_EXE" >&2; exit 2; }

wine=/usr/lib/wine/wine64
rm -rf "$1" && mkdir -p "$1"
work=$(cd "$1" && pwd)
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
trap 'status=$?; /usr/lib/wine/wineserver -k 2>/dev/null; [ $status -eq 0 ] && rm -rf "$work"; exit $status' EXIT
downloads="$WINEPREFIX/drive_c/users/Public/Downloads"
kept_folder="$WINEPREFIX/drive_c/Program Files/Tarnwick/Morvane4"
exe='C:\users\Public\Downloads\tw_installer.exe'
"$wine" wineboot --init </dev/null >"$work/wineboot.log" 2>&1 || fail "wineboot could not make the prefix"
mkdir -p "$downloads" && cp "$2" "$work/signed.exe"

# edit SOURCE TARGET WHAT: SOURCE with a byte of section slack set to WHAT (the same headers, another
# body), or with the version block's plug-in version made 9.0.2.
edit() {
    python3 - "$@" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
if sys.argv[3] == "version":
    at = data.index("4.0.2".encode("utf-16-le"), data.rindex("PluginVersion".encode("utf-16-le")))
    data[at:at + 2] = "9".encode("utf-16-le")
else:
    pe = struct.unpack_from("<I", data, 0x3c)[0]
    sections = pe + 24 + struct.unpack_from("<H", data, pe + 20)[0]
    virtual_size, _, raw_size, raw_offset = next(s for s in (struct.unpack_from("<IIII", data, sections + 40 * i + 8) for i in range(struct.unpack_from("<H", data, pe + 6)[0])) if s[0] < s[2])
    data[raw_offset + virtual_size] = int(sys.argv[3])
open(sys.argv[2], "wb").write(data)
PY
}
run() { "$wine" "$exe" --install vst3 --log 'C:\users\Public\Downloads\install.log' </dev/null >"$work/out.txt" 2>"$work/err.txt"; }
kept_copies() { find "$kept_folder" -maxdepth 1 -name 'tw_installer-*.exe' 2>/dev/null | sort; }
value() { # value NAME: the entry's value NAME; value '.*': all of them
    "$wine" reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarnwick Morvane4' $([ "$1" = '.*' ] || echo /v "$1") \
        </dev/null 2>/dev/null | tr -d '\r' | sed -n "s/^    $1    REG_[A-Z_]*    //p"
}

cp "$work/signed.exe" "$downloads/tw_installer.exe"
run || fail "the signed exe failed: $(cat "$work/err.txt")"
[ "$(kept_copies | wc -l)" = 1 ] && cmp -s "$work/signed.exe" "$(kept_copies)" && [ ! -s "$work/err.txt" ] \
    || fail "not one exact kept copy, silently: $(kept_copies) ($(cat "$work/err.txt"))"
[ "$(value '.*' | grep -c .)" = 14 ] || fail "the entry does not hold its 14 values: $(value '.*')"
[ "$(value QuietUninstallString)" = "\"C:\\Program Files\\Tarnwick\\Morvane4\\$(basename "$(kept_copies)")\" --uninstall all --quiet" ] \
    || fail "QuietUninstallString is $(value QuietUninstallString)"
note "from Downloads, the signed release keeps an exact copy and writes the whole entry, silently"

planted=$(kept_copies)
edit "$3" "$planted" version
run && [ "$(kept_copies | wc -l)" = 1 ] && [ "$(kept_copies)" != "$planted" ] && cmp -s "$work/signed.exe" "$(kept_copies)" \
    || fail "the unproven kept copy was not replaced: $(kept_copies)"
note "an unproven kept copy carrying plug-in version 9.0.2 is replaced by the signed exe"

# The same exe signed by a stranger: it keeps nothing, and says why.
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=stranger" -keyout "$work/s.key" -out "$work/s.pem" 2>/dev/null
osslsigncode remove-signature -in "$work/signed.exe" -out "$work/bare.exe" >/dev/null
osslsigncode sign -certs "$work/s.pem" -key "$work/s.key" -h sha256 -in "$work/bare.exe" -out "$work/stranger.exe" >/dev/null
cp "$work/stranger.exe" "$downloads/tw_installer.exe"
run && grep -qF "it is signed with another certificate than the publisher's" "$work/err.txt" && cmp -s "$work/signed.exe" "$(kept_copies)" \
    || fail "the stranger's exe: $(kept_copies) ($(cat "$work/err.txt"))"
note "the same exe signed by another certificate keeps nothing and says why"
reason="its contents are not what was signed"
edit "$work/signed.exe" "$work/swapped.exe" 2
for delay in 0.02 0.05 0.1 0.2 0.3 0.4 0.6 0.8; do
    cp "$work/signed.exe" "$downloads/tw_installer.exe" && cp "$work/swapped.exe" "$downloads/.swapped.exe"
    run &
    sleep "$delay"
    # Renamed away, and the changed file put at the name in one rename: the name never misses.
    ln "$downloads/tw_installer.exe" "$downloads/renamed-away.exe" && mv -f "$downloads/.swapped.exe" "$downloads/tw_installer.exe"
    wait $! || fail "the run with the swap at $delay s failed: $(cat "$work/err.txt")"
    [ "$(kept_copies | wc -l)" = 1 ] && cmp -s "$work/signed.exe" "$(kept_copies)" || fail "with the swap at $delay s, the kept copy is not the signed exe"
    outcome="kept a copy of the signed exe"
    ! grep -qF "$reason" "$work/err.txt" || outcome="kept nothing, and said why on stderr and in the log"
    [ "$outcome" = "kept a copy of the signed exe" ] || grep -qF "$reason" "$downloads/install.log" || fail "the log does not say why"
    note "swap at $delay s: $outcome"
    rm "$downloads/renamed-away.exe"
done
