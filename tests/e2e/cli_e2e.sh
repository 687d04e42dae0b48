#!/usr/bin/env bash
# The command line of the Linux program, run with no display as a deployment tool runs it: a usage
# error, --help, a window start where no display can be opened, then --status, --install, a failing
# format, --uninstall, --verify, the exit codes of two copies at once and of a full disk, and the
# log, checked by exit code, output lines and what is on disk.
#
#   cli_e2e.sh INSTALLER VST3_ZIP CLAP_ZIP AAX_ZIP OUTDATED_MODULE
#
# OUTDATED_MODULE is a plug-in module with file version 4.0.1.0.
# The install folders are set through the settings file /opt/Tarnwick/PluginManagerSettings.txt,
# under the lock the other end-to-end runs take; the file found there is put back afterwards.
# Exits 0 when everything was seen, 1 on the first thing that was not, 77 (skipped) when the
# settings folder cannot be written.
set -euo pipefail

# shellcheck source=common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

installer=$1
archives=("$2" "$3" "$4") # by format index: VST3, CLAP, AAX
outdated_module=$5
window=""                 # no window in this run: the waiting helper leaves the pointer alone
wait_limit=30
run_limit=150
small_disk=""

work=$(mktemp -d /tmp/tw_installer_cli.XXXXXX)
cleanup() {
    local status=$?
    set +e
    restore_settings
    [ -n "$small_disk" ] && umount -l "$small_disk"
    [ $status -eq 0 ] && rm -rf "$work" || echo "Files of the failed run kept in $work" >&2
    exit $status
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

lock_settings

folders=("$work/VST3" "$work/CLAP" "$work/AAX")
bundles=("${folders[0]}/Morvane4.vst3" "${folders[1]}/Morvane4.clap" "${folders[2]}/Morvane4.aaxplugin")
log=$work/logs/install.log
write_settings "${folders[@]}"
cp "$settings_file" "$work/settings-as-written.txt"

# run EXPECTED_EXIT ARGUMENTS...: the program without a display; its output in $work/out, $work/err.
run() {
    local expected=$1 status=0
    shift
    env -u DISPLAY "$installer" "$@" >"$work/out" 2>"$work/err" 9>&- || status=$?
    [ "$status" = "$expected" ] || fail "'$*' exited with $status, not $expected (stderr: $(head -c 300 "$work/err"))"
}

# same_lines FILE LINE...: the file holds exactly these lines.
same_lines() {
    local file=$1
    shift
    [ $# -eq 0 ] && [ ! -s "$file" ] && return 0
    diff <(printf '%s\n' "$@") "$file" >&2 || fail "$(basename "$file") of the last run differs (< expected, > seen)"
}

nothing_touched() {
    for folder in "${folders[@]}"; do
        [ ! -e "$folder" ] || fail "$folder exists, although only the command line's text was looked at"
    done
}

#==================================================================================================
# One wrong command line (the reasons of all of them are unit tests): exit 2, the reason and the
# usage on stderr, nothing on stdout, nothing touched.

run 2 --install vst4
[ "$(head -n 1 "$work/err")" = "tw_installer: unknown format 'vst4' (use vst3, clap, aax or all)" ] \
    || fail "'--install vst4' says: $(head -n 1 "$work/err")"
grep -q '^usage: tw_installer ' "$work/err" || fail "'--install vst4' prints no usage"
same_lines "$work/out"
nothing_touched
cmp -s "$settings_file" "$work/settings-as-written.txt" || fail "a wrong command line changed the settings file"
note "a wrong command line: exit 2, reason and usage on stderr, nothing touched"

run 0 --help
grep -q '^       tw_installer --install FORMATS \[--log FILE\] \[--quiet\]$' "$work/out" || fail "--help prints no usage"
grep -q -- '--uninstall FORMATS --confirm' "$work/out" && grep -q -- '--repair' "$work/out" || fail "--help names no --confirm or --repair"
[ ! -s "$work/err" ] || fail "--help wrote to stderr"

# The window, where no display can be opened: one line on stderr and exit 3, no crash.
no_display_starts=("DISPLAY=:1000000")
[ -S /tmp/.X11-unix/X0 ] || no_display_starts+=("-u DISPLAY") # unset, the program tries :0
for start in "${no_display_starts[@]}"; do
    read -ra setting <<<"$start"
    status=0
    env "${setting[@]}" "$installer" >"$work/out" 2>"$work/err" 9>&- || status=$?
    [ "$status" = 3 ] || fail "started with $start and no arguments, it exited with $status, not 3"
    [ "$(wc -l <"$work/err")" = 1 ] && grep -q '^tw_installer: no display can be opened' "$work/err" \
        || fail "started with $start, it said: $(cat "$work/err")"
    same_lines "$work/out"
done
nothing_touched
note "--help; no display for the window: exit 3 and one line ($(cat "$work/err"))"

#==================================================================================================
# Status, install, a failure, uninstall.

# Without a settings file, --status starts as the window does: it writes the file with the default
# folders (below HOME on Linux) and creates none of them.
rm -f "$settings_file"
HOME=$work/home run 0 --status
same_lines "$work/out" "VST3	NOT INSTALLED		$work/home/.vst3/Morvane4.vst3" \
    "CLAP	NOT INSTALLED		$work/home/.clap/Morvane4.clap" "AAX	NOT INSTALLED		$work/home/.aax/Morvane4.aaxplugin"
grep -qF "VST3_Path=\"$work/home/.vst3\"" "$settings_file" || fail "--status wrote no settings file with the defaults"
[ ! -e "$work/home" ] || fail "--status created the default folders"
write_settings "${folders[@]}"

run 0 --status
same_lines "$work/out" \
    "VST3	NOT INSTALLED		${bundles[0]}" \
    "CLAP	NOT INSTALLED		${bundles[1]}" \
    "AAX	NOT INSTALLED		${bundles[2]}"

run 0 --install vst3,CLAP --log "$log"
same_lines "$work/out" "VST3 installed in ${bundles[0]}" "CLAP installed in ${bundles[1]}"
same_lines "$work/err"
for i in 0 1; do
    matches_archive "${archives[i]}" "${folders[i]}" >/dev/null || fail "the installed bundle differs from its archive"
done
[ ! -e "${bundles[2]}" ] || fail "AAX was installed although it was not asked for"

run 0 --status
same_lines "$work/out" \
    "VST3	INSTALLED	4.0.2.0	${bundles[0]}" \
    "CLAP	INSTALLED	4.0.2.0	${bundles[1]}" \
    "AAX	NOT INSTALLED		${bundles[2]}"
note "--install vst3,CLAP: two lines, bundles as in their archives, --status shows them with 4.0.2.0"

run 0 --install ALL --quiet --log "$log"
same_lines "$work/out"
all_bundles_present || fail "--install ALL left a bundle out"

# A format whose folder cannot be created (its parent is a file): exit 1, its line on stderr, the
# others installed all the same.
touch "$work/in the way"
write_settings "${folders[0]}" "${folders[1]}" "$work/in the way/AAX"
run 1 --install all --log "$log"
same_lines "$work/out" "VST3 installed in ${bundles[0]}" "CLAP installed in ${bundles[1]}"
same_lines "$work/err" "AAX not installed: the folder cannot be created. Nothing was changed."
run 1 --install aax --quiet
same_lines "$work/out"
same_lines "$work/err" "AAX not installed: the folder cannot be created. Nothing was changed."
[ -d "${bundles[2]}" ] || fail "the AAX bundle in the old folder went away"
write_settings "${folders[@]}"
note "--install all with AAX's folder under a file: exit 1, AAX's failure on stderr, VST3 and CLAP installed"

# A log that cannot be written changes nothing of the run.
run 0 --uninstall clap --log "$work/in the way/uninstall.log"
same_lines "$work/out" "CLAP removed from ${bundles[1]}"
same_lines "$work/err" "tw_installer: the log $work/in the way/uninstall.log cannot be written; the run goes on without it"
[ ! -e "${bundles[1]}" ] && [ -d "${bundles[0]}" ] && [ -d "${bundles[2]}" ] || fail "--uninstall clap removed more or less than CLAP"

# --repair installs again, whole, what is installed: a file taken out of VST3 is back, CLAP stays out.
taken=$(find "${bundles[0]}" -type f | head -n 1)
rm "$taken"
run 0 --repair
same_lines "$work/out" "VST3 installed in ${bundles[0]}" "AAX installed in ${bundles[2]}"
[ -f "$taken" ] && [ ! -e "${bundles[1]}" ] || fail "--repair did not install again exactly VST3 and AAX"

# --confirm asks in a window: without a display it says so and removes nothing.
run 3 --uninstall all --confirm
grep -q '^tw_installer: --confirm asks in a window, and no display can be opened' "$work/err" || fail "--confirm said: $(cat "$work/err")"
[ -d "${bundles[0]}" ] || fail "--confirm without a display removed VST3"
note "--repair: VST3 and AAX installed again, CLAP left out; --confirm without a display: exit 3"

run 0 --uninstall all --log "$log"
same_lines "$work/out" "VST3 removed from ${bundles[0]}" "CLAP was not installed in ${bundles[1]}" "AAX removed from ${bundles[2]}"
for i in 0 1 2; do
    [ ! -e "${bundles[i]}" ] || fail "${bundles[i]} is still there after --uninstall all"
    [ -d "${folders[i]}" ] || fail "${folders[i]} went away with its bundle"
done
note "--uninstall clap, then all: one line per format, the bundles gone, their folders kept"

#==================================================================================================
# --verify: each installed bundle against the carried archive, reading only.

run 0 --install all --quiet
rm -f "$settings_file"
HOME=$work/home run 0 --verify all
same_lines "$work/out" "VST3 is not installed in $work/home/.vst3/Morvane4.vst3" \
    "CLAP is not installed in $work/home/.clap/Morvane4.clap" "AAX is not installed in $work/home/.aax/Morvane4.aaxplugin"
[ ! -e "$settings_file" ] && [ ! -e "$work/home" ] || fail "--verify wrote a settings file or made a folder"
write_settings "${folders[@]}"

# Every entry with each file's size and time.
listing() { find "${folders[@]}" "$settings_file" -type f -printf '%p %s %T@\n' -o -printf '%p\n' | sort; }
listing >"$work/before-verify.txt"
run 0 --verify all
same_lines "$work/out" "VST3 matches the installer's 4.0.2" "CLAP matches the installer's 4.0.2" "AAX matches the installer's 4.0.2"
same_lines "$work/err"
listing | diff "$work/before-verify.txt" - >&2 \
    || fail "--verify changed something in the folders (< before, > after)"

/usr/bin/python3 -c 'import sys; f = open(sys.argv[1], "r+b"); f.seek(100); b = f.read(1); f.seek(100); f.write(bytes([b[0] ^ 1]))' \
    "${bundles[0]}/Contents/x86_64-win/Morvane4.vst3"
printf 'extra' >"${folders[2]}/Morvane4.aaxplugin/Contents/notes.txt"
rm "${bundles[2]}/Plugin.ico"
run 1 --verify vst3,aax
same_lines "$work/out" "VST3 differs: Contents/x86_64-win/Morvane4.vst3 changed" \
    "AAX differs: Plugin.ico missing, Contents/notes.txt not part of the plug-in"
run 0 --uninstall clap --quiet
run 0 --verify clap
same_lines "$work/out" "CLAP is not installed in ${bundles[1]}"
cp "$outdated_module" "${bundles[0]}/Contents/x86_64-win/Morvane4.vst3"
run 1 --verify VST3
same_lines "$work/out" "VST3 differs: Contents/x86_64-win/Morvane4.vst3 changed (the installed 4.0.1.0 NEEDS UPDATE to 4.0.2)"
note "--verify: three matches (nothing changed on disk), a changed byte, a missing and an extra file, NEEDS UPDATE: exit 1; not installed: exit 0"
printf 'text' >"${bundles[0]}/Contents/x86_64-win/Morvane4.vst3"
run 0 --status
grep -qxF "VST3	NEEDS UPDATE		${bundles[0]}" "$work/out" || fail "a module of four bytes of text did not read NEEDS UPDATE: $(cat "$work/out")"
run 1 --verify vst3
same_lines "$work/out" "VST3 differs: Contents/x86_64-win/Morvane4.vst3 changed (the installed module has no readable version: NEEDS UPDATE to 4.0.2)"
note "a module of no readable version: NEEDS UPDATE in --status, changed in --verify"

# Other copies where hosts look: in the running user's ~/.vst3 and in a CLAP_PATH folder. --verify
# names them after its format lines and a run after its own, --quiet leaves them out, the exit code
# is that of our bundles.
run 0 --install vst3,clap --quiet
mkdir -p "$work/user/.vst3/Morvane4.vst3/Contents/x86_64-win" "$work/clap-path"
cp "$outdated_module" "$work/user/.vst3/Morvane4.vst3/Contents/x86_64-win/Morvane4.vst3"
cp "$outdated_module" "$work/clap-path/Morvane4.clap"
copies=("VST3 another copy at $work/user/.vst3/Morvane4.vst3 (version 4.0.1.0): a host may load it first"
    "CLAP another copy at $work/clap-path/Morvane4.clap (version 4.0.1.0): a host may load it first")
HOME=$work/user CLAP_PATH=/nowhere:$work/clap-path run 0 --verify vst3,clap
same_lines "$work/out" "VST3 matches the installer's 4.0.2" "CLAP matches the installer's 4.0.2" "${copies[@]}"
HOME=$work/user CLAP_PATH=$work/clap-path run 0 --verify vst3,clap --quiet
same_lines "$work/out" "VST3 matches the installer's 4.0.2" "CLAP matches the installer's 4.0.2"
HOME=$work/user CLAP_PATH=$work/clap-path run 0 --install vst3,clap
same_lines "$work/out" "VST3 installed in ${bundles[0]}" "CLAP installed in ${bundles[1]}" "${copies[@]}"
rm -rf "$work/user" "$work/clap-path"
note "other copies: ~/.vst3 and a CLAP_PATH folder named by --verify and a run, left out by --quiet, exit 0"

#===========================================================================================# Exit codes deployment tools act on, each from a real situation and with its output line.

# Two copies at once: the first holds VST3's lock while its first flush is held up for 8 s (strace
# delays the call); the second waits 3 s for it and gives up, VST3 untouched: 75 (EX_TEMPFAIL).
run 0 --install all --quiet
strace -f -qq -o /dev/null -e trace=fsync -e inject=fsync:delay_enter=8s:when=1 \
    env -u DISPLAY "$installer" --install vst3 >"$work/first-out" 2>&1 9>&- &
first=$!
# The lock is held from before the staging folder is made until the swap.
wait_until "the first copy holds VST3's lock" compgen -G "${folders[0]}/.Morvane4.vst3.staging-*"
run 75 --install vst3,clap
same_lines "$work/out" "CLAP installed in ${bundles[1]}"
# The start-up repair of VST3 is left to the first copy, and the second says so.
same_lines "$work/err" "tw_installer: VST3: what an interrupted run left in ${folders[0]} was not repaired: another installation is running" \
    "VST3 not installed: another installation is running. Nothing was changed."
wait "$first" || fail "the first copy failed: $(cat "$work/first-out")"
same_lines "$work/first-out" "VST3 installed in ${bundles[0]}"
note "two copies at once: the second says its repair of VST3 was left undone, exits 75 with VST3's line; the first installs"

# A full small file system: 28 (ENOSPC) with the line; beside another format's failure, 1.
small_disk=$work/small
mkdir -p "$small_disk"
if mount -t tmpfs -o size=256k tmpfs "$small_disk" 2>/dev/null; then
    mkdir "$small_disk/VST3"
    dd if=/dev/zero of="$small_disk/filler" bs=4k status=none 2>/dev/null || true
    write_settings "$small_disk/VST3" "${folders[1]}" "${folders[2]}"
    run 28 --install vst3,aax
    same_lines "$work/out" "AAX installed in ${bundles[2]}"
    same_lines "$work/err" "VST3 not installed: disk full. Nothing was changed."
    write_settings "$small_disk/VST3" "${folders[1]}" "$work/in the way/AAX"
    run 1 --install vst3,aax
    same_lines "$work/err" "VST3 not installed: disk full. Nothing was changed." \
        "AAX not installed: the folder cannot be created. Nothing was changed."
    write_settings "${folders[@]}"
    umount -l "$small_disk" && small_disk=""
    note "a full 256 KiB file system: exit 28 with VST3's line; beside another failure, exit 1"
else
    small_disk=""
    note "SKIPPED the full file system: no tmpfs can be mounted here (not root?)"
fi
run 0 --uninstall all --quiet

# Output that cannot be written, folder values that would forge lines, a settings file others can change.

for arguments in "--status" "--version" "--help" "--install vst3" "--uninstall vst3"; do
    status=0
    read -ra words <<<"$arguments"
    env -u DISPLAY "$installer" "${words[@]}" >/dev/full 2>"$work/err" 9>&- || status=$?
    [ "$status" = 1 ] || fail "'$arguments' with standard output on /dev/full exited with $status, not 1"
done
status=0
env -u DISPLAY "$installer" --install bogus >/dev/null 2>/dev/full 9>&- || status=$?
[ "$status" = 2 ] || fail "a wrong command line with standard error on /dev/full exited with $status, not 2"
note "standard output on /dev/full: exit 1 (status, version, help, install, uninstall)"

# status_with_defaults: --status shows the default folders (below HOME), three lines of four fields.
status_with_defaults() {
    HOME=$work/home run 0 --status
    same_lines "$work/out" "VST3	NOT INSTALLED		$work/home/.vst3/Morvane4.vst3" \
        "CLAP	NOT INSTALLED		$work/home/.clap/Morvane4.clap" "AAX	NOT INSTALLED		$work/home/.aax/Morvane4.aaxplugin"
}

# A line feed, a tab or an escape in a folder value keeps that format's default.
write_settings "${folders[0]}&#10;VST3	INSTALLED	9.9.9.9	forged" "${folders[1]}&#9;x" "${folders[2]}&#27;[2J"
status_with_defaults
[ "$(awk -F '\t' 'NF != 4' "$work/out" | wc -l)" = 0 ] || fail "--status printed a line without four fields"
[ -z "$(find "$work" -name '*[[:cntrl:]]*')" ] || fail "a folder with a control character in its name was made"
note "control characters in folder values: the defaults, three lines of four fields"

# A settings file the reader must not take (as root, root's own): every command says why on stderr.
for reason in "its elements nest deeper than 32 levels" "it is larger than 1 MiB" "it is not a plain file"; do
    rm -rf "$settings_file"
    case $reason in
        its*) /usr/bin/python3 -c 'print("<a>" * 300000, end="")' >"$settings_file" ;; # once a stack overflow
        *MiB) head -c 1100000 /dev/zero | tr '\0' ' ' >"$settings_file" ;;
        *) mkdir "$settings_file" ;;
    esac
    status_with_defaults
    same_lines "$work/err" "tw_installer: settings file ignored: $reason"
    HOME=$work/home run 0 --verify all
    same_lines "$work/err" "tw_installer: settings file ignored: $reason"
done
rm -rf "$settings_file"
note "settings files too deep, too large and a folder: ignored with a line on stderr, the defaults used"

# Root trusts only a settings file that no one else can change: one others may write is ignored,
# said on stderr and in the log, and left as it is.
if [ "$(id -u)" = 0 ]; then
    write_settings "${folders[@]}"
    for mode in 666 646 664; do
        chmod "$mode" "$settings_file"
        cp -p "$settings_file" "$work/settings-before.txt"
        status_with_defaults
        same_lines "$work/err" "tw_installer: settings file ignored: users who are not administrators can change it"
        cmp -s "$settings_file" "$work/settings-before.txt" && [ "$(stat -c %a "$settings_file")" = "$mode" ] \
            || fail "the ignored settings file (mode $mode) was changed"
    done
    HOME=$work/home run 0 --uninstall vst3 --log "$log"
    grep -qxF "settings file ignored: users who are not administrators can change it" "$log" \
        || fail "the log does not say why the settings file was ignored"
    chmod 644 "$settings_file"
    note "a settings file others may write: ignored with a line on stderr and in the log, left as it was"
fi
write_settings "${folders[@]}"

#==================================================================================================
# The log: one record per run that was asked for with --log, each with its settings, folders and outcomes.

records=4
[ "$(id -u)" = 0 ] && records=5 # with the run that ignored the settings file
[ "$(grep -c '^[0-9-]*T[0-9:.]*[-+Z].* tw_installer 1\.1\.0, Morvane4 4\.0\.2: --' "$log")" = "$records" ] \
    || fail "the log does not hold $records records: $(cat "$log")"
for line in "settings file: $settings_file" "VST3 folder: ${folders[0]}" "AAX folder: $work/in the way/AAX" \
    "CLAP installed in ${bundles[1]}" "AAX not installed: the folder cannot be created. Nothing was changed." \
    "AAX removed from ${bundles[2]}" "exit code 0" "exit code 1"; do
    grep -qxF "$line" "$log" || fail "the log lacks the line '$line'"
done
grep -q ': --install ALL --quiet --log ' "$log" || fail "the log does not tell the command of a quiet run"
note "log: $records records, $(wc -l <"$log") lines"
note "passed"
