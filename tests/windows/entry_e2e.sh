#!/usr/bin/env bash
# The entry in Installed apps and the kept copy of the installer, under Wine in a fresh prefix,
# from the command line (no display):
#
#   entry_e2e.sh WORK_FOLDER TW_INSTALLER_EXE
#
# --install vst3,clap writes the entry with every value (wine reg query) and keeps one copy of the
# exe; Wine's uninstaller lists "Morvane4"; removing CLAP and installing it again keeps the entry
# and updates Comments and EstimatedSize; the QuietUninstallString as written, run from a batch
# file, removes both formats and the entry and schedules the running kept copy and its folder
# (PendingFileRenameOperations), which a restart of Wine removes; a reinstall between such an
# uninstall and the restart survives the restart; a kept copy whose version block carries a newer
# plug-in version is not replaced by this exe; a plain file at the kept-copy folder's name leaves
# the install standing and says so on stderr and in the log. Last, on a virtual display, the
# UninstallString as written asks "Remove Morvane4 (VST3, CLAP) from this computer?"; Return
# (Remove) removes both, the window opens with the outcome and the entry is gone.
#
# Exits 0 when everything was seen, 1 on the first thing that was not.
set -euo pipefail

# shellcheck source=../e2e/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/common.sh"

if [ $# -ne 2 ]; then
    echo "usage: $0 WORK_FOLDER TW_INSTALLER_EXE" >&2
    exit 2
fi

work=$1
installer=$2
SECONDS=0
wait_limit=60
run_limit=420
window=""

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

rm -rf "$work"
mkdir -p "$work"
work=$(cd "$work" && pwd)

export WINEPREFIX="$work/prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY

drive_c="$WINEPREFIX/drive_c"
common_files="$drive_c/Program Files/Common Files"
vst3="$common_files/VST3/Morvane4.vst3"
clap="$common_files/CLAP/Morvane4.clap"
kept_folder="$drive_c/Program Files/Tarnwick/Morvane4"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Tarnwick Morvane4'

app_pid=""

cleanup() {
    local status=$?
    set +e
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
    [ -d "$WINEPREFIX" ] && "$wineserver" -k 2>/dev/null && "$wineserver" -w 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    [ $status -eq 0 ] && [ -z "${TW_E2E_KEEP:-}" ] && rm -rf "$work" # TW_E2E_KEEP=1 keeps the screenshots
    [ $status -eq 0 ] || echo "Logs kept in $work" >&2
    exit $status
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

# Wine's helpers are started apart from this script's streams, which CTest reads.
start_wine() {
    "$wineserver" -p </dev/null >/dev/null 2>&1 || fail "Wine's server did not start"
    "$wine" wineboot "$@" </dev/null >>"$work/wineboot.log" 2>&1 || fail "wineboot $* failed"
}

"$wine" wineboot --init </dev/null >"$work/wineboot.log" 2>&1 || fail "wineboot could not make the prefix"
"$wineserver" -w
start_wine
note "fresh Wine prefix"

mkdir -p "$drive_c/dl"
cp "$installer" "$drive_c/dl/tw_installer.exe"

# run EXPECTED_EXIT PROGRAM ARGUMENTS...: output in files.
run() {
    local expected=$1 status=0
    shift
    "$wine" "$@" </dev/null >"$work/out.txt" 2>"$work/err.txt" || status=$?
    [ "$status" = "$expected" ] || fail "'$*' exited with $status, not $expected ($(head -c 300 "$work/err.txt"))"
}

# value NAME: the entry's value as wine reg query prints it ("0x..." for a number); fails without.
# Wine's reg tool has once printed nothing for a value that the next call printed (seen in CI right
# after a fresh prefix): a value is read up to three times before it counts as missing.
value() {
    local tries
    for tries in 1 2 3; do
        "$wine" reg query "$key" /v "$1" </dev/null 2>/dev/null | tr -d '\r' | sed -n "s/^    $1    REG_[A-Z_]*    //p" | grep . \
            && return 0
        sleep 1
    done
    fail "the entry has no value $1"
}

has_entry() { "$wine" reg query "$key" </dev/null >/dev/null 2>&1; }

kept_copies() { find "$kept_folder" -maxdepth 1 -name 'tw_installer-*.exe' -printf '%f\n' 2>/dev/null | sort; }

kibibytes_of() { # the KiB of the files below the given bundles, rounded up, as a registry number
    local bytes
    bytes=$(find "$@" -type f -printf '%s\n' | awk '{ s += $1 } END { print s + 0 }')
    printf '0x%x\n' $(((bytes + 1023) / 1024))
}

pending_removals() {
    "$wine" reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations </dev/null 2>/dev/null | tr -d '\r' || true
}

#==================================================================================================
run 0 'C:\dl\tw_installer.exe' --install vst3,clap
[ "$(kept_copies | wc -l)" = 1 ] || fail "not exactly one kept copy: $(kept_copies)"
kept=$(kept_copies)
cmp -s "$installer" "$kept_folder/$kept" || fail "the kept copy differs from the exe"
exe="\"C:\\Program Files\\Tarnwick\\Morvane4\\$kept\""

while IFS='|' read -r name expected; do
    [ "$(value "$name")" = "$expected" ] || fail "$name is '$(value "$name")', not '$expected'"
done <<EOF
DisplayName|Morvane4
DisplayVersion|4.0.2
Publisher|Tarnwick
DisplayIcon|$exe
InstallLocation|C:\\Program Files\\Tarnwick\\Morvane4
EstimatedSize|$(kibibytes_of "$vst3" "$clap")
Comments|VST3, CLAP
URLInfoAbout|https://www.tarnwick.com/products/morvane4
HelpLink|https://www.tarnwick.com/downloads/manuals/Morvane4_Manual.pdf
NoRepair|0x0
ModifyPath|$exe
UninstallString|$exe --uninstall all --confirm
QuietUninstallString|$exe --uninstall all --quiet
InstallDate|$(date -u +%Y%m%d)
EOF
"$wine" uninstaller --list </dev/null 2>/dev/null | tr -d '\r' | grep -q '|||Morvane4$' || fail "Wine's uninstaller does not list Morvane4"
note "--install vst3,clap: the entry with every value, listed by Wine's uninstaller, one kept copy"

run 0 'C:\dl\tw_installer.exe' --uninstall clap
[ "$(value Comments)" = "VST3" ] || fail "Comments after removing CLAP: $(value Comments)"
[ "$(value EstimatedSize)" = "$(kibibytes_of "$vst3")" ] || fail "EstimatedSize after removing CLAP: $(value EstimatedSize)"
run 0 'C:\dl\tw_installer.exe' --install clap
[ "$(value Comments)" = "VST3, CLAP" ] || fail "Comments after adding CLAP: $(value Comments)"
[ "$(value EstimatedSize)" = "$(kibibytes_of "$vst3" "$clap")" ] || fail "EstimatedSize after adding CLAP: $(value EstimatedSize)"
# An exe of the same versions replaces the kept copy, under a name of its own.
[ "$(kept_copies | wc -l)" = 1 ] || fail "not exactly one kept copy: $(kept_copies)"
[ "$(value DisplayIcon)" = "\"C:\\Program Files\\Tarnwick\\Morvane4\\$(kept_copies)\"" ] || fail "the entry names $(value DisplayIcon)"
kept=$(kept_copies)
note "--uninstall clap keeps the entry with Comments VST3; --install clap brings back VST3, CLAP and the size"

# uninstall_as_written: the QuietUninstallString run as Windows runs it, through a batch file.
uninstall_as_written() {
    printf '%s\r\n' "$(value QuietUninstallString)" >"$drive_c/uninstall.bat"
    run 0 cmd /c 'C:\uninstall.bat'
    [ ! -e "$vst3" ] && [ ! -e "$clap" ] || fail "the QuietUninstallString left a bundle"
    ! has_entry || fail "the entry is still there after the QuietUninstallString"
    pending_removals | grep -qF "Morvane4\\$1" || fail "the running kept copy is not scheduled for removal: $(pending_removals)"
}

uninstall_as_written "$kept"
! "$wine" uninstaller --list </dev/null 2>/dev/null | grep -q Morvane4 || fail "Wine's uninstaller still lists Morvane4"
"$wineserver" -k; "$wineserver" -w
start_wine -r
[ ! -e "$kept_folder" ] || fail "the kept copy's folder is still there after the restart: $(kept_copies)"
note "QuietUninstallString: both formats and the entry gone, the kept copy scheduled and gone after the restart"

run 0 'C:\dl\tw_installer.exe' --install vst3
old=$(kept_copies)
uninstall_as_written "$old"
run 0 'C:\dl\tw_installer.exe' --install vst3
new=$(kept_copies | grep -vxF "$old")
[ -n "$new" ] || fail "the reinstall kept no copy of its own"
"$wineserver" -k; "$wineserver" -w
start_wine -r
[ "$(kept_copies)" = "$new" ] || fail "after the restart the kept copies are '$(kept_copies)', not '$new'"
[ "$(value DisplayIcon)" = "\"C:\\Program Files\\Tarnwick\\Morvane4\\$new\"" ] || fail "the entry names $(value DisplayIcon)"
note "a reinstall before the restart survives the pending removal"

# A copy of the exe whose version block carries plug-in version 9.0.2.
python3 - "$installer" "$drive_c/dl/newer.exe" <<'PY'
import sys
data = bytearray(open(sys.argv[1], "rb").read())
key = "PluginVersion".encode("utf-16-le")
at = data.rindex(key)  # the version block, after the program's own text
value = data.index("4.0.2".encode("utf-16-le"), at)
assert value - at < 40
data[value:value + 2] = "9".encode("utf-16-le")
open(sys.argv[2], "wb").write(data)
PY
run 0 'C:\dl\newer.exe' --install vst3
newer=$(kept_copies)
cmp -s "$drive_c/dl/newer.exe" "$kept_folder/$newer" || fail "the newer exe did not replace the kept copy"
run 0 'C:\dl\tw_installer.exe' --install vst3
[ "$(kept_copies)" = "$newer" ] || fail "the older exe replaced the newer kept copy: $(kept_copies)"
cmp -s "$drive_c/dl/newer.exe" "$kept_folder/$newer" || fail "the newer kept copy changed"
note "a kept copy carrying plug-in version 9.0.2 is not replaced by this exe"

run 0 'C:\dl\tw_installer.exe' --uninstall all
[ ! -e "$kept_folder" ] && ! has_entry || fail "--uninstall all from elsewhere left the kept copy or the entry"
printf 'not a folder' >"$kept_folder"
run 0 'C:\dl\tw_installer.exe' --install vst3 --log 'C:\dl\install.log'
[ -d "$vst3" ] || fail "VST3 is not installed when the copy cannot be kept"
reason='Morvane4 is installed, but not listed in Installed apps: the installer cannot keep its copy in C:\Program Files\Tarnwick\Morvane4.'
grep -qxF "$reason" <(tr -d '\r' <"$work/err.txt") || fail "stderr says: $(cat "$work/err.txt")"
grep -qxF "$reason" <(tr -d '\r' <"$drive_c/dl/install.log") || fail "the log does not say why there is no entry"
! has_entry || fail "an entry was written without a kept copy"
note "a plain file at the kept-copy folder's name: VST3 installed, exit 0, the reason on stderr and in the log, no entry"

#==================================================================================================
# The UninstallString, as Installed apps starts it: a question first, then the window.

rm "$kept_folder"
run 0 'C:\dl\tw_installer.exe' --install vst3,clap
"$wineserver" -k; "$wineserver" -w
start_display 1024x768
start_wine
printf '%s\r\n' "$(value UninstallString)" >"$drive_c/confirm.bat"
"$wine" cmd /c 'C:\confirm.bat' </dev/null >"$work/confirm-out.txt" 2>"$work/confirm-err.txt" &
app_pid=$!

find_tw_window() { xdotool search --onlyvisible --name '^tw_installer$' 2>/dev/null | head -n 1; }
asks() { window=$(find_tw_window); [ -n "$window" ] && [ -e "$vst3" ]; }
wait_until "the question did not appear" asks
import -window root "$work/question.png"
[ -e "$vst3" ] && [ -e "$clap" ] || fail "something was removed before the answer"
xdotool key --window "$window" Return
both_gone() { [ ! -e "$vst3" ] && [ ! -e "$clap" ]; }
wait_until "Remove did not remove VST3 and CLAP" both_gone
shows_window() { window=$(find_tw_window); [ -n "$window" ] && xwininfo -id "$window" | grep -q 'Width: 600'; }
wait_until "the window did not open after Remove" shows_window
import -window root "$work/outcome.png"
! has_entry || fail "the entry is still there after Remove"
xdotool key --window "$window" alt+F4
status=0
wait "$app_pid" || status=$?
app_pid=""
[ "$status" = 0 ] || fail "the UninstallString exited with $status"
note "UninstallString: the question, Remove with Return, both formats and the entry gone, the window, exit 0"
