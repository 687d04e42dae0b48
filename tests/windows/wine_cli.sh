#!/usr/bin/env bash
# The exe's command line under Wine as a deployment tool meets it, in a fresh prefix and with no
# display: the exit codes Windows gives (read inside Windows, from %ERRORLEVEL% in a batch file,
# not from Wine's 8-bit Unix status) for a module held by another process (3010, the held file
# named) and for a second copy (1618), and --verify on an exact and on an altered install.
#
#   wine_cli.sh WORK_FOLDER TW_INSTALLER_EXE HOLD_FILE_EXE
#
# WORK_FOLDER is emptied and holds the prefix and the outputs (kept after a failure).
# Exits 0 when everything was seen, 1 on the first thing that was not.
set -euo pipefail

if [ $# -ne 3 ]; then
    echo "usage: $0 WORK_FOLDER TW_INSTALLER_EXE HOLD_FILE_EXE" >&2
    exit 2
fi

fail() { echo "FAILED: $*" >&2; exit 1; }
note() { echo "[$SECONDS s] $*"; }

work=$1
rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)
SECONDS=0

export WINEPREFIX="$work/prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

holders=()
cleanup() {
    local status=$?
    set +e
    for pid in "${holders[@]}"; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
    done
    [ -d "$WINEPREFIX" ] && "$wineserver" -k 2>/dev/null && "$wineserver" -w 2>/dev/null
    [ $status -eq 0 ] && rm -rf "$work" || echo "Files of the failed run kept in $work" >&2
    exit $status
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# Wine's server and helpers start apart from this script's streams, which CTest reads.
"$wine" wineboot --init </dev/null >"$work/wineboot.log" 2>&1 || fail "wineboot could not make the prefix"
"$wineserver" -w
"$wineserver" -p </dev/null >/dev/null 2>&1 || fail "Wine's server did not start"
"$wine" wineboot </dev/null >>"$work/wineboot.log" 2>&1 || fail "Wine did not start in the prefix"
note "fresh Wine prefix $WINEPREFIX"

drive_c="$WINEPREFIX/drive_c"
common='C:\Program Files\Common Files'
folders=("$drive_c/Program Files/Common Files/VST3" "$drive_c/Program Files/Common Files/CLAP")
cp "$2" "$drive_c/tw_installer.exe"
cp "$3" "$drive_c/hold_file.exe"
# The code as Windows gives it to a batch file, on a line of its own after the program's output.
printf '@echo off\r\nC:\\tw_installer.exe %%*\r\necho exit code %%ERRORLEVEL%%\r\n' >"$drive_c/run.bat"

# run EXPECTED_CODE ARGUMENTS...: the exe through the batch file; its lines in $work/out and $work/err.
run() {
    local expected=$1
    shift
    "$wine" cmd /c 'C:\run.bat' "$@" </dev/null >"$work/out" 2>"$work/err" || true
    tr -d '\r' <"$work/out" >"$work/out.txt"
    tr -d '\r' <"$work/err" >"$work/err.txt"
    local code
    code=$(sed -n 's/^exit code //p' "$work/out.txt")
    [ "$code" = "$expected" ] || fail "'$*' gave exit code '$code', not $expected: $(cat "$work/out.txt" "$work/err.txt")"
    sed -i '/^exit code /d' "$work/out.txt"
}

# same_lines FILE LINE...: the file holds exactly these lines.
same_lines() {
    local file=$1
    shift
    diff <(printf '%s\n' "$@") <(grep -v '^$' "$file" || true) >&2 || fail "$(basename "$file") differs (< expected, > seen)"
}

# hold HOW WINDOWS_PATH: hold_file.exe holds the file from a process of its own until the run ends.
hold() {
    local output="$work/hold-${#holders[@]}.txt"
    "$wine" 'C:\hold_file.exe' "$1" "$2" </dev/null >"$output" 2>&1 &
    holders+=($!)
    local end=$((SECONDS + 60))
    until grep -q '^held' "$output"; do
        [ $SECONDS -lt $end ] || fail "hold_file.exe $1 $2 does not hold it: $(cat "$output")"
        sleep 0.1
    done
}

release_holders() {
    for pid in "${holders[@]}"; do
        kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null || true
    done
    holders=()
}

#==================================================================================================
# --verify

run 0 --install vst3,clap
run 0 --verify all
same_lines "$work/out.txt" "VST3 matches the installer's 4.0.2" "CLAP matches the installer's 4.0.2" \
    "AAX is not installed in $common\\Avid\\Audio\\Plug-Ins\\Morvane4.aaxplugin"

/usr/bin/python3 -c 'import sys; f = open(sys.argv[1], "r+b"); f.seek(100); b = f.read(1); f.seek(100); f.write(bytes([b[0] ^ 1]))' \
    "${folders[0]}/Morvane4.vst3/Contents/x86_64-win/Morvane4.vst3"
rm "${folders[0]}/Morvane4.vst3/Contents/Resources/moduleinfo.json"
printf 'extra' >"${folders[0]}/Morvane4.vst3/Contents/notes.txt"
head -c 100 "${folders[1]}/Morvane4.clap" >"$work/short.clap" && mv "$work/short.clap" "${folders[1]}/Morvane4.clap"
run 1 --verify vst3,clap
same_lines "$work/out.txt" \
    "VST3 differs: Contents/x86_64-win/Morvane4.vst3 changed, Contents/Resources/moduleinfo.json missing, Contents/notes.txt not part of the plug-in" \
    "CLAP differs: Morvane4.clap changed"
note "--verify: exact install exit 0 (AAX not installed), a changed byte, a missing, an extra and a truncated file exit 1"

#==================================================================================================
# Exit codes from real situations.

# A module loaded by another process: the update and the removal go through, the held file waits
# for the restart, named: 3010.
run 0 --install vst3,clap
hold load "$common\\VST3\\Morvane4.vst3\\Contents\\x86_64-win\\Morvane4.vst3"
hold load "$common\\CLAP\\Morvane4.clap"
run 3010 --install vst3
[ "$(head -n 1 "$work/out.txt")" = "VST3 installed in $common\\VST3\\Morvane4.vst3" ] || fail "--install vst3 said: $(cat "$work/out.txt")"
grep -qxE "VST3: C:\\\\Program Files\\\\Common Files\\\\VST3\\\\\.Morvane4\.vst3\.removing-[^\\\\]+\\\\Contents\\\\x86_64-win\\\\Morvane4\.vst3 is in use by another program; it is removed at the next restart" \
    "$work/out.txt" || fail "--install vst3 does not name the held module: $(cat "$work/out.txt")"
run 3010 --uninstall clap --quiet
grep -qxE "CLAP: C:\\\\Program Files\\\\Common Files\\\\CLAP\\\\\.Morvane4\.clap\.removing-[^\\\\]+ is in use by another program; it is removed at the next restart" \
    "$work/out.txt" || fail "--uninstall clap --quiet does not name the held file: $(cat "$work/out.txt")"
[ ! -e "${folders[1]}/Morvane4.clap" ] || fail "the CLAP bundle is still there"
note "a held module: --install vst3 and --uninstall clap exit 3010 and name the held file ($(tail -n 1 "$work/out.txt"))"
release_holders

# A second copy: another process holds VST3's lock as a running copy does; this one waits 3 s,
# leaves VST3 as it is and installs CLAP: 1618.
hold lock "$common\\VST3\\.Morvane4.vst3.lock"
run 1618 --install vst3,clap
same_lines "$work/out.txt" "CLAP installed in $common\\CLAP\\Morvane4.clap"
same_lines "$work/err.txt" "VST3 not installed: another installation is running. Nothing was changed."
run 1618 --verify vst3
same_lines "$work/err.txt" "VST3 cannot be checked: another installation is running"
release_holders
run 0 --verify vst3,clap
note "another copy holding VST3: --install vst3,clap and --verify vst3 exit 1618, CLAP installed; then both match"
note "passed"
