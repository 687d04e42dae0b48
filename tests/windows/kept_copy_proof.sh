#!/usr/bin/env bash
# The kept copy of a release (an exe built with a publisher and signed by it), under Wine in a
# fresh prefix, from the command line:
#
#   kept_copy_proof.sh WORK_FOLDER SIGNED_EXE UNPROVEN_EXE
#
# Started from C:\users\Public\Downloads, the signed exe keeps an exact copy of itself and writes the
# whole entry; an unproven kept copy named by the entry (UNPROVEN_EXE, say one planted through an
# older flaw) is replaced although its version block carries plug-in version 9.0.2; the signed exe
# with one changed byte keeps no copy and says why. Then the race: the exe is started, and 20 to
# 800 ms later renamed away and a copy with the same headers but a changed body put at its name; no
# run may leave a kept copy equal to the changed file.
set -euo pipefail

# shellcheck source=../e2e/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/common.sh"
[ $# -eq 3 ] || { echo "usage: $0 WORK_FOLDER SIGNED_EXE UNPROVEN_EXE" >&2; exit 2; }

work=$1
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
rm -rf "$work" && mkdir -p "$work"
work=$(cd "$work" && pwd)
export WINEPREFIX="$work/prefix" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
trap 'status=$?; "$wineserver" -k 2>/dev/null; [ $status -eq 0 ] && rm -rf "$work"; exit $status' EXIT

downloads="$WINEPREFIX/drive_c/users/Public/Downloads"
kept_folder="$WINEPREFIX/drive_c/Program Files/Tarnwick/Morvane4"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarnwick Morvane4'
exe='C:\users\Public\Downloads\tw_installer.exe'

"$wine" wineboot --init </dev/null >"$work/wineboot.log" 2>&1 || fail "wineboot could not make the prefix"
mkdir -p "$downloads"
cp "$2" "$work/signed.exe"

# changed SOURCE TARGET [VALUE]: SOURCE with one byte of section slack (after a section's contents,
# inside its bytes in the file) set to VALUE: the same headers, another body.
changed() {
    python3 - "$1" "$2" "${3:-1}" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
pe = struct.unpack_from("<I", data, 0x3c)[0]
count, optional_size = struct.unpack_from("<H", data, pe + 6)[0], struct.unpack_from("<H", data, pe + 20)[0]
for i in range(count):
    virtual_size, _, raw_size, raw_offset = struct.unpack_from("<IIII", data, pe + 24 + optional_size + 40 * i + 8)
    if virtual_size < raw_size:
        data[raw_offset + virtual_size] = int(sys.argv[3])
        break
else:
    sys.exit("no section has slack")
open(sys.argv[2], "wb").write(data)
PY
}

run() { # run EXPECTED_EXIT ARGUMENTS...
    local status=0 expected=$1
    shift
    "$wine" "$exe" "$@" </dev/null >"$work/out.txt" 2>"$work/err.txt" || status=$?
    [ "$status" = "$expected" ] || fail "'$*' exited with $status, not $expected ($(head -c 300 "$work/err.txt"))"
}
kept_copies() { find "$kept_folder" -maxdepth 1 -name 'tw_installer-*.exe' 2>/dev/null | sort; }
value() { "$wine" reg query "$key" /v "$1" </dev/null 2>/dev/null | tr -d '\r' | sed -n "s/^    $1    REG_[A-Z_]*    //p"; }

cp "$work/signed.exe" "$downloads/tw_installer.exe"
run 0 --install vst3
[ "$(kept_copies | wc -l)" = 1 ] && cmp -s "$work/signed.exe" "$(kept_copies)" || fail "not one exact kept copy: $(kept_copies) ($(cat "$work/err.txt"))"
for name in DisplayName DisplayVersion Publisher DisplayIcon InstallLocation EstimatedSize Comments URLInfoAbout HelpLink NoRepair \
    ModifyPath UninstallString QuietUninstallString InstallDate; do
    [ -n "$(value $name)" ] || fail "the entry has no $name"
done
[ "$(value QuietUninstallString)" = "\"C:\\Program Files\\Tarnwick\\Morvane4\\$(basename "$(kept_copies)")\" --uninstall all --quiet" ] \
    || fail "QuietUninstallString is $(value QuietUninstallString)"
[ ! -s "$work/err.txt" ] || fail "the signed exe wrote to stderr: $(cat "$work/err.txt")"
note "from Downloads, the signed release keeps an exact copy and writes the whole entry, silently"

# An unproven copy at the name the entry gives, with a newer plug-in version: replaced all the same.
planted=$(kept_copies)
python3 - "$3" "$planted" <<'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
at = data.rindex("PluginVersion".encode("utf-16-le"))
value = data.index("4.0.2".encode("utf-16-le"), at)
data[value:value + 2] = "9".encode("utf-16-le")
open(sys.argv[2], "wb").write(data)
PY
run 0 --install vst3
[ "$(kept_copies | wc -l)" = 1 ] && [ "$(kept_copies)" != "$planted" ] && cmp -s "$work/signed.exe" "$(kept_copies)" \
    || fail "the unproven kept copy was not replaced: $(kept_copies)"
note "an unproven kept copy carrying plug-in version 9.0.2 is replaced by the signed exe"

# The signed exe with one changed byte: no copy of it, the earlier one stays, and the reason.
before=$(kept_copies)
changed "$work/signed.exe" "$downloads/tw_installer.exe"
run 0 --install vst3 --log 'C:\users\Public\Downloads\install.log'
[ "$(kept_copies)" = "$before" ] && cmp -s "$work/signed.exe" "$before" || fail "the changed exe touched the kept copy: $(kept_copies)"
reason="its contents are not what was signed"
grep -qF "$reason" "$work/err.txt" && grep -qF "$reason" "$downloads/install.log" || fail "stderr and the log do not say why: $(cat "$work/err.txt")"
note "a changed byte: no copy kept of it, the earlier one stays, the reason on stderr and in the log"

# The race. Each run is started, and after the delay its file is renamed away and the changed file
# put at its name; whichever file the run holds, no kept copy may be the changed one.
changed "$work/signed.exe" "$work/swapped.exe" 2
for delay in 0.02 0.05 0.1 0.2 0.3 0.4 0.6 0.8; do
    cp "$work/signed.exe" "$downloads/tw_installer.exe"
    "$wine" "$exe" --install vst3 </dev/null >"$work/out.txt" 2>"$work/err.txt" &
    cp "$work/swapped.exe" "$downloads/.swapped.exe"
    sleep "$delay"
    # Renamed away (kept under another name), and the changed file put at the name in one rename:
    # the name never misses, so every run starts.
    ln "$downloads/tw_installer.exe" "$downloads/renamed-away.exe"
    mv -f "$downloads/.swapped.exe" "$downloads/tw_installer.exe"
    wait $! || fail "the run with the swap at $delay s failed: $(cat "$work/err.txt")"
    while IFS= read -r copy; do
        ! cmp -s "$copy" "$work/swapped.exe" || fail "with the swap at $delay s, the changed file was kept: $copy"
    done < <(kept_copies)
    outcome="kept the signed exe"
    grep -qF "$reason" "$work/err.txt" && outcome="kept nothing ($reason)"
    note "swap at $delay s: $outcome"
    rm "$downloads/renamed-away.exe"
done
