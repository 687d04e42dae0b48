#!/usr/bin/env bash
# End-to-end run of the Windows executable under Wine, on a virtual display, in a fresh Wine
# prefix: started, looked at and clicked as a person would, and checked from Linux on the prefix's
# drive C: and in screenshots.
#
#   wine_e2e.sh WORK_FOLDER TW_INSTALLER_EXE TW_RENDER_STATES_EXE MODULE_4.0.2.0 VST3_ZIP CLAP_ZIP AAX_ZIP HOLD_FILE_EXE
#
# WORK_FOLDER is emptied and holds the prefix, logs and screenshots (kept after a failure).
# TW_RENDER_STATES_EXE, the project's renderer of the main view, draws the reference pictures under
# the same Wine; MODULE_4.0.2.0 is a plug-in module with file version 4.0.2.0 for the reference of
# an installed row. HOLD_FILE_EXE holds a file from another process (tests/windows/hold_file.cpp),
# HOLD_LOCK_EXE a bundle's lock (tests/windows/hold_lock.cpp).
#
# First start: the window is titled "tw_installer", has a 600 x 600 client area, centred, and shows
# the main view; the settings file is written with the default folders; a click on VST3 and on CLAP
# selects them, SELECT ALL selects AAX too, INSTALL unpacks the three bundles into the prefix's system
# plug-in folders and the success view shows; Alt+F4 closes the window and ends the program.
# Second start: the three formats begin selected and their rows read "v4.0.2.0 INSTALLED", as the
# renderer draws such a row; the settings file is read, not rewritten; Tab shows the focus outline.
# Then the command line, with no display: --uninstall all with its output redirected by the caller,
# --install all and --status through cmd /c, --uninstall clap on a console (a terminal), and a
# wrong format; exit codes, output lines and the bundles on drive C: checked each time. The exit
# codes deployment tools act on, read inside Windows: 3010 while another process has a module
# loaded, 1618 while it holds a bundle's lock; and --verify on an exact and on an altered install.
# At 200 % scale (LogPixels 192): on the 1024 x 768 screen the window is the largest square that
# fits, wholly on screen, with INSTALL drawn; on a 1600 x 1400 screen it is 1200 x 1200 pixels
# (600 x 600 logical), centred.
#
# Exits 0 when everything was seen, 1 on the first thing that was not.
set -euo pipefail

# shellcheck source=../e2e/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/../e2e/common.sh"

if [ $# -ne 9 ]; then
    echo "usage: $0 WORK_FOLDER TW_INSTALLER_EXE TW_RENDER_STATES_EXE MODULE_4.0.2.0 VST3_ZIP CLAP_ZIP AAX_ZIP HOLD_FILE_EXE HOLD_LOCK_EXE" >&2
    exit 2
fi

work=$1
installer=$2
renderer=$3
current_module=$4
archives=("$5" "$6" "$7") # by format index: VST3, CLAP, AAX
hold_file=$8
hold_lock=$9

# Every wait below is bounded, and so is the whole run.
wait_limit=60
run_limit=420
SECONDS=0

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
convert=/usr/bin/convert
compare=/usr/bin/compare

for tool in "$wine" "$wineserver" Xvfb xdotool xwininfo import script "$convert" "$compare" /usr/bin/python3; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/deps-windows installs it)"
done

rm -rf "$work"
mkdir -p "$work/shots"
work=$(cd "$work" && pwd)

export WINEPREFIX="$work/prefix"
export WINEARCH=win64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="

drive_c="$WINEPREFIX/drive_c"
common_files="$drive_c/Program Files/Common Files"
folders=("$common_files/VST3" "$common_files/CLAP" "$common_files/Avid/Audio/Plug-Ins")
bundles=("${folders[0]}/Morvane4.vst3" "${folders[1]}/Morvane4.clap" "${folders[2]}/Morvane4.aaxplugin")
settings_folder="$drive_c/ProgramData/Tarnwick"
settings_file="$settings_folder/PluginManagerSettings.txt"

#==================================================================================================
# Leaving the machine as it was: the program, Wine and the display end with the run.

app_pid=""

cleanup() {
    local status=$?
    set +e # everything below runs, whatever fails
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
    [ -d "$WINEPREFIX" ] && "$wineserver" -k 2>/dev/null && "$wineserver" -w 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    if [ $status -eq 0 ]; then
        [ -n "${TW_E2E_KEEP:-}" ] || rm -rf "$work" # TW_E2E_KEEP=1 keeps the screenshots
    else
        echo "Screenshots and logs kept in $work" >&2
    fi
    exit $status
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

#==================================================================================================
# Waiting for a condition, never for a fixed time.

window=""

#==================================================================================================
# The display, Wine, the window and its pixels.

# Wine's server and helper processes are started apart from this script's streams, which CTest
# reads: processes that held them open would keep CTest waiting.
start_wine() {
    "$wine" wineboot --init </dev/null >"$work/wineboot.log" 2>&1 || fail "wineboot could not make the prefix"
    [ -d "$drive_c/windows/system32" ] || fail "the prefix has no C:\\windows\\system32"
    # Making a prefix leaves a second services.exe running, and with it every later program start
    # stalls for up to 10 s: Wine is let end by itself (about 5 s; killing it can strand a helper
    # that is just starting) and started anew, persistent for the whole run.
    "$wineserver" -w
    resume_wine
    note "fresh Wine prefix $WINEPREFIX ($("$wine" --version 2>/dev/null || echo Wine))"
}

resume_wine() {
    "$wineserver" -p </dev/null >/dev/null 2>&1 || fail "Wine's server did not start"
    "$wine" wineboot </dev/null >>"$work/wineboot.log" 2>&1 || fail "Wine did not start in the prefix"
}

# Wine's server and desktop process keep the display and the display scale they started with:
# both are ended and started anew. The session is ended first, so that the server does not go
# while one of Wine's helpers is just starting: a stranded helper can keep the next program's
# window from ever showing (seen once in about ten runs).
restart_wine() {
    "$wine" wineboot --end-session --shutdown </dev/null >>"$work/wineboot.log" 2>&1 || true
    "$wineserver" -k
    "$wineserver" -w
    resume_wine
}

find_window() {
    window=$(xdotool search --onlyvisible --name '^tw_installer$' 2>/dev/null | tail -n 1) || return 1
    [ -n "$window" ] && window_geometry
}

# shoot NAME: a screenshot of the window's client area, $work/shots/NAME.png.
shoot() {
    import -window "$window" "$work/shots/$1.png" 2>/dev/null
}


# differing A X Y B X Y W H: how many pixels differ (beyond 10%) between a W x H region of picture
# A at (X, Y) and one of picture B at its (X, Y). Pictures are paths.
differing() {
    local result
    # (Debian's ImageMagick policy refuses /dev/fd paths: the crops go through files.)
    "$convert" "$1" -crop "$7x$8+$2+$3" +repage "$work/crop-a.png"
    "$convert" "$4" -crop "$7x$8+$5+$6" +repage "$work/crop-b.png"
    result=$("$compare" -metric AE -fuzz 10% "$work/crop-a.png" "$work/crop-b.png" null: 2>&1 || true)
    result=${result%% *}
    [[ "$result" =~ ^[0-9]+$ ]] && echo "$result" || echo 999999 # unreadable pictures differ
}

# The buttons at 600 x 600, in window coordinates (x, y, width, height).
vst3=(24 180 270 60)
clap=(306 180 270 60)
aax=(24 252 270 60)
select_all=(462 132 114 30)
install=(516 441 60 60)
header=(0 0 600 170) # top bar, logo, title, version line, "FORMATS" and SELECT ALL

rect_of() { local -n r=$1; echo "${r[@]}"; }

click_on() { # click_on BUTTON: a click at the button's centre
    local x y w h
    read -r x y w h < <(rect_of "$1")
    xdotool mousemove --window "$window" $((x + w / 2)) $((y + h / 2)) click 1
}

# A format row's status line: the bottom 18 pixels (3 units) of its text box, which starts 10 units
# right of the row and 1.5 units inside it.
status_line_of() { # status_line_of ROW: x y w h
    local x y w h
    read -r x y w h < <(rect_of "$1")
    echo $((x + 69)) $((y + h - 9 - 20)) 190 20
}

# The yellow selection outline (3 pixels, centred on the edge), on the left edge half-way down.
is_selected() { # is_selected SHOT ROW
    local x y w h
    read -r x y w h < <(rect_of "$2")
    near "$(pixel "$1" "$x" $((y + h / 2)))" D3C55F
}

# The window shows the main view: the blue top bar and the black background have been drawn.
shows_main_view() { # shows_main_view SHOT
    local middle=$((window_width / 2))
    near "$(pixel "$1" "$middle" 2)" 0094D8 && near "$(pixel "$1" "$middle" $((window_height * 350 / 600)))" 111111
}

window_is_ready() {
    find_window && shoot ready && shows_main_view ready
}

start_installer() {
    "$wine" "$installer" </dev/null >"$work/installer-$1.log" 2>&1 &
    app_pid=$!
    window=""
    wait_until "the installer's window appears and draws" window_is_ready
    note "installer started ($1), window $window"
}

# start_installer_after_restart NAME: as start_installer, for the first start on a Wine just
# restarted. Should no window show within 30 s, the processes are kept in the work folder, Wine is
# restarted once more and the installer started again, which must then show its window.
start_installer_after_restart() {
    "$wine" "$installer" </dev/null >"$work/installer-$1.log" 2>&1 &
    app_pid=$!
    window=""
    local end=$((SECONDS + 30))
    until window_is_ready; do
        if [ $SECONDS -ge $end ]; then
            ps -eo pid,stat,etime,args >"$work/processes-$1.txt"
            note "no window 30 s after Wine restarted (processes-$1.txt): Wine restarted once more"
            kill "$app_pid" 2>/dev/null
            wait "$app_pid" 2>/dev/null || true
            restart_wine
            start_installer "$1"
            return
        fi
        sleep 0.1
    done
    note "installer started ($1), window $window"
}

installer_has_ended() { # (an ended child stays a zombie until it is waited for)
    local state
    state=$(ps -o stat= -p "$app_pid" 2>/dev/null) || return 0
    [[ "$state" == Z* ]]
}

# Closing the window as a person would without a mouse on the title bar: Alt+F4, which Windows
# turns into the window's close command. (The display has no window manager, so no title bar.)
close_installer() {
    xdotool mousemove --window "$window" 300 100 click 1 # focus: the header, where no button is
    xdotool key alt+F4
    wait_until "the installer ends after its window is closed" installer_has_ended
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
    window=""
}

#==================================================================================================
# What should be on disk.

# The settings file as the program writes it with the default folders: XML declaration, an empty
# line, and the element with its attributes wrapped after 60 characters, every line ending in CR LF.
expected_settings() {
    local note="These are the paths that all Tarnwick installers will use for their respective formats. Edit them to personal taste, but keep in mind that some formats have specific homes. Use this feature at your own risk; follow the naming and separator conventions exactly as you see them, or you could end up with unintended consequences. If you delete this file, the next time you run the Plugin Manager for any TW product, a new one with the default locations will be written."
    local indent="                        " # 24 spaces: the tag name and its bracket
    # Each attribute is written as a space, its name, "=" and its quoted value.
    printf '%s\r\n' \
        '<?xml version="1.0" encoding="UTF-8"?>' \
        '' \
        "<Plugin_Manager_Settings Important_Note:=\"$note\"" \
        "${indent} CLAP_Path=\"C:\\Program Files\\Common Files\\CLAP\" VST3_Path=\"C:\\Program Files\\Common Files\\VST3\"" \
        "${indent} AAX_Path=\"C:\\Program Files\\Common Files\\Avid\\Audio\\Plug-Ins\"/>"
}


#==================================================================================================
start_display 1024x768
start_wine

# The maker's installers share C:\ProgramData\Tarnwick; an installer writes its settings file only
# into that folder when it exists.
mkdir -p "$settings_folder"
for folder in "${folders[@]}"; do
    [ ! -e "$folder" ] || fail "$folder exists before the first start"
done

# The reference pictures, drawn by the project's renderer under the same Wine: the fresh view,
# and a view whose VST3 row has a module of version 4.0.2.0 installed (the renderer's "outdated"
# picture, here with a current module).
"$wine" "$renderer" "Z:$work/reference" "Z:$current_module" 600 </dev/null >"$work/render.log" 2>&1 \
    || fail "tw_render_states could not draw the reference pictures ($(cat "$work/render.log"))"
reference_fresh="$work/reference/fresh.png"
reference_installed="$work/reference/one_outdated.png"
[ -f "$reference_fresh" ] && [ -f "$reference_installed" ] || fail "the renderer wrote no reference pictures"

#==================================================================================================
# First start: look at the window, select the three formats, install them.

start_installer first

title=$(xdotool getwindowname "$window")
[ "$title" = tw_installer ] || fail "the window's title is '$title'"
# Wine keeps the window's frame (its title bar taller than the other edges) though no window
# manager draws it: the client area sits a little below centre.
check_centred 600 0 30
note "window titled '$title', client area $window_width x $window_height at $window_x,$window_y"

xdotool mousemove --window "$window" 300 340 # on no button: nothing hovered
wait_until "the main view shows its header as the renderer draws it" \
    eval 'shoot start && [ "$(differing "$work/shots/start.png" 0 0 "$reference_fresh" 0 0 600 170)" -le 60 ]'
for row in vst3 clap aax; do
    is_selected start $row && fail "$row begins selected although nothing is installed"
done
note "main view drawn: header as rendered ($(differing "$work/shots/start.png" 0 0 "$reference_fresh" 0 0 "${header[2]}" "${header[3]}") pixels differ), no format selected"

wait_until "the settings file is written" test -f "$settings_file"
expected_settings >"$work/expected-settings.txt"
cmp "$settings_file" "$work/expected-settings.txt" \
    || fail "C:\\ProgramData\\Tarnwick\\PluginManagerSettings.txt differs from the expected bytes (see $work)"
cp "$settings_file" "$work/settings-after-first-start.txt"
note "settings file written byte for byte as expected ($(wc -c <"$settings_file") bytes, CR LF lines)"
for folder in "${folders[@]}"; do
    [ ! -e "$folder" ] || fail "$folder was created at start although the file was only written"
done

click_on vst3
wait_until "VST3 shows selected after a click" eval 'shoot clicked_vst3 && is_selected clicked_vst3 vst3'
click_on clap
wait_until "CLAP shows selected after a click" eval 'shoot clicked_clap && is_selected clicked_clap clap'
is_selected clicked_clap vst3 || fail "clicking CLAP cleared VST3"
is_selected clicked_clap aax && fail "AAX was selected without a click"
click_on select_all
wait_until "SELECT ALL selects AAX too" eval 'shoot select_all && is_selected select_all aax'
note "VST3 and CLAP selected by clicks, AAX by SELECT ALL"

click_on install
wait_until "the three bundles are on drive C:" all_bundles_present
wait_until "the success view shows after INSTALL" eval 'shoot installed && shows_success_view installed'
shows_result_lines installed installed || fail "the result view shows no line and \"Show in folder\" per installed format"
for i in 0 1 2; do
    files=$(matches_archive "${archives[i]}" "${folders[i]}") || fail "the unpacked bundle differs from its archive"
    note "$(basename "${bundles[i]}") in ${folders[i]#"$drive_c/"}: $files files, as in $(basename "${archives[i]}")"
done

close_installer
note "closed with Alt+F4"

#==================================================================================================
# Second start: the three formats show as installed with the carried version.

start_installer second
xdotool mousemove --window "$window" 300 340
wait_until "the second start draws VST3 selected" eval 'shoot second && is_selected second vst3'
for row in vst3 clap aax; do
    is_selected second $row || fail "$row does not begin selected although it is installed"
done

# The VST3 row as the renderer draws an installed, selected row with version 4.0.2.0.
row_difference=$(differing "$work/shots/second.png" "${vst3[0]}" "${vst3[1]}" "$reference_installed" "${vst3[0]}" "${vst3[1]}" "${vst3[2]}" "${vst3[3]}")
[ "$row_difference" -le 40 ] || fail "the VST3 row differs from the rendered 'v4.0.2.0 INSTALLED' row in $row_difference pixels"
# The CLAP and AAX rows carry the same status line; the first start's said something else.
read -r sx sy sw sh < <(status_line_of vst3)
for row in clap aax; do
    read -r rx ry _ _ < <(status_line_of $row)
    [ "$(differing "$work/shots/second.png" "$sx" "$sy" "$work/shots/second.png" "$rx" "$ry" "$sw" "$sh")" -le 10 ] \
        || fail "the $row row's status line differs from VST3's 'v4.0.2.0 INSTALLED'"
done
[ "$(differing "$work/shots/second.png" "$sx" "$sy" "$work/shots/start.png" "$sx" "$sy" "$sw" "$sh")" -ge 100 ] \
    || fail "the VST3 status line reads the same as before the install"
note "second start: all three selected, rows read v4.0.2.0 INSTALLED (VST3 row $row_difference pixels off the rendered one)"

cmp -s "$settings_file" "$work/settings-after-first-start.txt" || fail "the second start rewrote the settings file"

# The keyboard: a click on no control gives the window the focus and shows no outline; the first
# Tab puts the focus outline on VST3.
xdotool mousemove --window "$window" 300 100 click 1
shoot before_tab
is_focused before_tab vst3 && fail "the focus outline shows before any key"
xdotool key Tab
wait_until "Tab puts the focus outline on VST3" eval 'shoot tab_vst3 && is_focused tab_vst3 vst3'
note "second start: Tab put the focus outline on VST3"

close_installer

#==================================================================================================
# The command line, as a deployment tool runs it: no window and no display. The exit code and the
# output are what the caller sees: redirected by the caller, through cmd /c, and on a console.

cp "$installer" "$drive_c/tw_installer.exe"
windows_bundles=('C:\Program Files\Common Files\VST3\Morvane4.vst3'
    'C:\Program Files\Common Files\CLAP\Morvane4.clap'
    'C:\Program Files\Common Files\Avid\Audio\Plug-Ins\Morvane4.aaxplugin')

# cli EXPECTED_EXIT PROGRAM ARGUMENTS...: started by Wine without a display, its output in files.
cli() {
    local expected=$1 status=0
    shift
    env -u DISPLAY "$wine" "$@" </dev/null >"$work/cli-out.txt" 2>"$work/cli-err.txt" || status=$?
    [ "$status" = "$expected" ] || fail "'$*' exited with $status, not $expected ($(head -c 300 "$work/cli-err.txt"))"
}

# crlf_lines FILE LINE...: the file holds exactly these lines, each ended with CR LF.
crlf_lines() {
    local file=$1
    shift
    cmp -s <(printf '%s\r\n' "$@") "$file" || fail "$(basename "$file") is not as expected: $(cat -A "$file")"
}

cli 0 'C:\tw_installer.exe' --uninstall all
crlf_lines "$work/cli-out.txt" "VST3 removed from ${windows_bundles[0]}" "CLAP removed from ${windows_bundles[1]}" \
    "AAX removed from ${windows_bundles[2]}"
[ ! -s "$work/cli-err.txt" ] || fail "--uninstall all wrote to stderr: $(cat "$work/cli-err.txt")"
for bundle in "${bundles[@]}"; do
    [ ! -e "$bundle" ] || fail "$bundle is still there after --uninstall all"
done
note "--uninstall all, stdout redirected by the caller: exit 0, three lines, the bundles gone"

cli 0 cmd /c 'C:\tw_installer.exe --install all'
crlf_lines "$work/cli-out.txt" "VST3 installed in ${windows_bundles[0]}" "CLAP installed in ${windows_bundles[1]}" \
    "AAX installed in ${windows_bundles[2]}"
for i in 0 1 2; do
    matches_archive "${archives[i]}" "${folders[i]}" >/dev/null || fail "the bundle installed by --install all differs from its archive"
done

cli 0 cmd /c 'C:\tw_installer.exe --status > C:\status.txt'
crlf_lines "$drive_c/status.txt" "VST3	INSTALLED	4.0.2.0	${windows_bundles[0]}" \
    "CLAP	INSTALLED	4.0.2.0	${windows_bundles[1]}" "AAX	INSTALLED	4.0.2.0	${windows_bundles[2]}"
note "cmd /c: --install all exits 0 with the bundles as in their archives; --status > C:\\status.txt: three rows INSTALLED 4.0.2.0"

# On a console: cmd on a terminal (script gives it one), the exe's lines on that terminal.
status=0
script -qec "env -u DISPLAY $wine cmd /c 'C:\\tw_installer.exe --uninstall clap'" /dev/null </dev/null >"$work/terminal.txt" 2>&1 || status=$?
[ "$status" = 0 ] || fail "--uninstall clap on a console exited with $status"
grep -qF "CLAP removed from ${windows_bundles[1]}" "$work/terminal.txt" || fail "the console shows: $(cat -A "$work/terminal.txt")"
[ ! -e "${bundles[1]}" ] && [ -d "${bundles[0]}" ] && [ -d "${bundles[2]}" ] || fail "--uninstall clap removed more or less than CLAP"
note "--uninstall clap on a console: exit 0, its line on the terminal, CLAP gone, VST3 and AAX kept"

cli 2 cmd /c 'C:\tw_installer.exe --install vst4'
[ "$(head -n 1 "$work/cli-err.txt")" = $'tw_installer: unknown format \'vst4\' (use vst3, clap, aax or all)\r' ] \
    || fail "--install vst4 said: $(head -n 1 "$work/cli-err.txt")"
[ ! -s "$work/cli-out.txt" ] || fail "--install vst4 wrote to stdout"
note "cmd /c --install vst4: exit 2, the reason on stderr"

# The codes as Windows gives them, from %ERRORLEVEL% in a batch file: Wine's own Unix status keeps
# only their low 8 bits.
cp "$hold_file" "$drive_c/hold_file.exe"
cp "$hold_lock" "$drive_c/hold_lock.exe"
printf '@echo off\r\nC:\\tw_installer.exe %%*\r\necho exit code %%ERRORLEVEL%%\r\n' >"$drive_c/run.bat"
coded() { # coded EXPECTED_CODE ARGUMENTS...: cli-out.txt without the code's line
    local expected=$1
    shift
    # (cmd ends with the batch file's last code: its own status is not looked at.)
    env -u DISPLAY "$wine" cmd /c 'C:\run.bat' "$@" </dev/null >"$work/cli-out.txt" 2>"$work/cli-err.txt" || true
    # 9009 is cmd's "not recognized": the exe is there, so Wine failed to start it (seen once in
    # a full run, and never again on its own); one more try.
    if grep -qx $'exit code 9009\r' "$work/cli-out.txt"; then
        env -u DISPLAY "$wine" cmd /c 'C:\run.bat' "$@" </dev/null >"$work/cli-out.txt" 2>"$work/cli-err.txt" || true
    fi
    grep -qx $'exit code '"$expected"$'\r' "$work/cli-out.txt" || fail "'$*' did not exit with $expected: $(cat "$work/cli-out.txt" "$work/cli-err.txt")"
    sed -i '/^exit code /d' "$work/cli-out.txt"
    # A build without a publisher says that the copy it keeps is unproven; the signed release does not.
    sed -i '/^The installer.s copy kept in .* is unproven: /d' "$work/cli-err.txt"
}
holders=()
hold() { # hold load|open WINDOWS_PATH, or hold lock FOLDER BUNDLE_NAME: held by another process until release_holders
    if [ "$1" = lock ]; then
        "$wine" 'C:\hold_lock.exe' "$2" "$3" </dev/null >"$work/hold-${#holders[@]}.txt" 2>&1 &
    else
        "$wine" 'C:\hold_file.exe' "$1" "$2" </dev/null >"$work/hold-${#holders[@]}.txt" 2>&1 &
    fi
    holders+=($!)
    wait_until "another process holds $2" grep -q '^held' "$work/hold-$((${#holders[@]} - 1)).txt"
}
release_holders() {
    kill "${holders[@]}" && wait "${holders[@]}" 2>/dev/null || true
    holders=()
}

coded 0 --verify all
crlf_lines "$work/cli-out.txt" "VST3 matches the installer's 4.0.2" "CLAP is not installed in ${windows_bundles[1]}" \
    "AAX matches the installer's 4.0.2"
/usr/bin/python3 -c 'import sys; f = open(sys.argv[1], "r+b"); f.seek(100); b = f.read(1); f.seek(100); f.write(bytes([b[0] ^ 1]))' \
    "${bundles[0]}/Contents/x86_64-win/Morvane4.vst3"
rm "${bundles[2]}/Plugin.ico"
printf 'extra' >"${bundles[2]}/Contents/notes.txt"
coded 1 --verify vst3,aax
crlf_lines "$work/cli-out.txt" "VST3 differs: Contents/x86_64-win/Morvane4.vst3 changed" \
    "AAX differs: Plugin.ico missing, Contents/notes.txt not part of the plug-in"
note "--verify: exact bundles exit 0 (CLAP not installed), a changed byte, a missing and an extra file exit 1"

# A module loaded by another process: the update and the removal go through and name the file
# left for the restart: 3010.
coded 0 --install all --quiet
hold load "${windows_bundles[0]}\Contents\x86_64-win\Morvane4.vst3"
hold load "${windows_bundles[1]}"
coded 3010 --install vst3
removing='C:\\Program Files\\Common Files\\[A-Z0-9]+\\\.Morvane4\.[a-z0-9]+\.removing-[0-9a-f]+'
tr -d '\r' <"$work/cli-out.txt" | grep -qxE "VST3: $removing\\\\Contents\\\\x86_64-win\\\\Morvane4\.vst3 is in use by another program; it is removed at the next restart" \
    && [ "$(head -n 1 "$work/cli-out.txt")" = "VST3 installed in ${windows_bundles[0]}"$'\r' ] \
    || fail "--install vst3 with the module held said: $(cat "$work/cli-out.txt")"
coded 3010 --uninstall clap --quiet
tr -d '\r' <"$work/cli-out.txt" | grep -qxE "CLAP: $removing is in use by another program; it is removed at the next restart" \
    || fail "--uninstall clap --quiet with the file held said: $(cat "$work/cli-out.txt")"
release_holders
note "a module held by another process: --install vst3 and --uninstall clap exit 3010 and name the held file"

# Another process holds VST3's lock as a running copy does: VST3 unchanged, CLAP installed, 1618.
hold lock "${windows_bundles[0]%\\Morvane4.vst3}" Morvane4.vst3
coded 1618 --install vst3,clap
crlf_lines "$work/cli-out.txt" "CLAP installed in ${windows_bundles[1]}"
# The start-up repair of VST3 is left to the holder of the lock, and the run says so.
crlf_lines "$work/cli-err.txt" "tw_installer: VST3: what an interrupted run left in ${windows_bundles[0]%\\Morvane4.vst3} was not repaired: another installation is running" \
    "VST3 not installed: another installation is running. Nothing was changed."
release_holders
note "VST3's lock held by another process: --install vst3,clap exits 1618 with VST3's line, CLAP installed"

# Other copies where hosts look: one in the running user's %LOCALAPPDATA%\Programs\Common\VST3, an
# old single-file Morvane4.vst3 in Program Files (x86), one in a CLAP_PATH folder. --verify names
# them after its format lines and a run after its own, --quiet leaves them out, the code is ours.
coded 0 --install vst3,clap --quiet
wine_user=$(id -un)
user_vst3="$drive_c/users/$wine_user/AppData/Local/Programs/Common/VST3"
mkdir -p "$user_vst3/Morvane4.vst3/Contents/x86_64-win" "$drive_c/Program Files (x86)/Common Files/VST3" "$drive_c/clap-path"
cp "$current_module" "$user_vst3/Morvane4.vst3/Contents/x86_64-win/Morvane4.vst3"
cp "$current_module" "$drive_c/Program Files (x86)/Common Files/VST3/Morvane4.vst3"
cp "$current_module" "$drive_c/clap-path/Morvane4.clap"
copies=("VST3 another copy at C:\\users\\$wine_user\\AppData\\Local\\Programs\\Common\\VST3\\Morvane4.vst3 (version 4.0.2.0): a host may load it first"
    'VST3 another copy at C:\Program Files (x86)\Common Files\VST3\Morvane4.vst3 (version 4.0.2.0): a host may load it first'
    'CLAP another copy at C:\clap-path\Morvane4.clap (version 4.0.2.0): a host may load it first')
CLAP_PATH='C:\nowhere;C:\clap-path' coded 0 --verify vst3,clap
crlf_lines "$work/cli-out.txt" "VST3 matches the installer's 4.0.2" "CLAP matches the installer's 4.0.2" "${copies[@]}"
CLAP_PATH='C:\clap-path' coded 0 --install vst3,clap --quiet
[ ! -s "$work/cli-out.txt" ] || fail "--install --quiet printed: $(cat "$work/cli-out.txt")"
CLAP_PATH='C:\clap-path' coded 0 --install vst3,clap
crlf_lines "$work/cli-out.txt" "VST3 installed in ${windows_bundles[0]}" "CLAP installed in ${windows_bundles[1]}" "${copies[@]}"
rm -rf "$user_vst3/Morvane4.vst3" "$drive_c/Program Files (x86)/Common Files/VST3/Morvane4.vst3" "$drive_c/clap-path"
note "other copies: the per-user VST3 folder, an old single-file VST3 and a CLAP_PATH folder named by --verify and a run, exit 0"

#==================================================================================================
# At 200 % scale: on this screen, 512 x 384 logical pixels, the largest square that fits, wholly on
# screen; on a 1600 x 1400 screen, 600 x 600 logical pixels, centred. The framework rounds the
# frame to logical pixels, so the client area may come out a pixel or two short at this scale.

"$wine" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 192 /f </dev/null >>"$work/wineboot.log" 2>&1 \
    || fail "could not set the display scale to 200 %"
restart_wine
start_installer_after_restart small_200
check_fits_screen 2
[ "$window_width" -ge 680 ] || fail "the window at 200 % is $window_width pixels wide: not the largest that fits"
shoot small_200
[ "$(brightest small_200 $((window_width * 86 / 100)) $((window_height * 735 / 1000)) $((window_width / 10)) $((window_height / 10)))" -ge 60 ] \
    || fail "INSTALL is not drawn at 200 % on the small screen"
note "200 % on $screen_width x $screen_height: $window_width x $window_height at $window_x,$window_y"
close_installer

start_display 1600x1400
restart_wine
start_installer_after_restart large_200
check_centred 1200 2 60
note "200 % on $screen_width x $screen_height: $window_width x $window_height at $window_x,$window_y"
close_installer
note "passed"
