#!/usr/bin/env bash
# End-to-end run of the installer on a real (virtual) display, driven with the pointer and the
# keyboard as a person would, checked on disk and in screenshots.
#
#   linux_e2e.sh INSTALLER VST3_ZIP CLAP_ZIP AAX_ZIP
#
# The install folders are set through the settings file /opt/Tarnwick/PluginManagerSettings.txt;
# a file already there is moved aside and put back afterwards, also when the run fails. Runs of
# this script on one machine take turns (a lock), so none of them sees another's settings.
#
# First start: hover VST3 (the hint line changes); click INSTALL with nothing selected (no run, the
# hint line asks for a selection); click VST3, click SELECT ALL, click INSTALL; the three bundles
# are unpacked into the test folders and the success view shows.
# Second start: the installed formats begin selected; shift turns INSTALL into UNINSTALL, a
# shift-click removes the three bundles, and the success view shows again.
# Third start: the keyboard alone installs the three formats again (Tab, Space, Return); the
# focused format row shows the focus outline, which no mouse click showed before.
# The same start under strace: moving the pointer over the controls and resting, the window's thread
# makes no call on the install folders; a bundle removed outside shows without any input.
# These start on a 1024 x 768 screen, 600 x 600 and centred. A fourth start on a 1024 x 540 screen
# opens as the largest square that fits, wholly on screen.
#
# Exits 0 when everything was seen, 1 on the first thing that was not, 77 (skipped) when the
# settings folder cannot be written.
set -euo pipefail

# shellcheck source=../e2e/common.sh
source "$(dirname "${BASH_SOURCE[0]}")/common.sh"

installer=$1
archives=("$2" "$3" "$4") # by format index: VST3, CLAP, AAX

# Every wait below is bounded, and so is the whole run.
wait_limit=30
run_limit=240
SECONDS=0

convert=/usr/bin/convert
compare=/usr/bin/compare

#==================================================================================================
# Leaving the machine as it was.

work=$(mktemp -d /tmp/tw_installer_e2e.XXXXXX)
app_pid=""

cleanup() {
    local status=$?
    set +e # everything below runs, whatever fails
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
    [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null

    restore_settings

    if [ $status -ne 0 ]; then
        local kept=/tmp/tw_installer_e2e_failed
        rm -rf "$kept" && mkdir -p "$kept" && cp -r "$work"/shots "$work"/*.log "$kept" 2>/dev/null
        echo "Screenshots and the program's output kept in $kept" >&2
    fi

    rm -rf "$work"
    exit $status
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

for tool in Xvfb xdotool xwininfo import flock "$convert" "$compare" /usr/bin/python3; do
    command -v "$tool" >/dev/null || fail "$tool is missing (scripts/deps installs it)"
done

lock_settings

#==================================================================================================
# Waiting for a condition, never for a fixed time.

#==================================================================================================
# The display, the window and its pixels.

window=""

find_window() {
    window=$(xdotool search --onlyvisible --name '^tw_installer$' 2>/dev/null | tail -n 1) || return 1
    [ -n "$window" ] && window_geometry
}

# The window is found, mapped at its final place (square and wholly on screen, or the run fails)
# and has drawn its first frame (the blue bar).
window_is_ready() {
    find_window && check_fits_screen 0 && shoot ready && near "$(pixel ready $((window_width / 2)) 2)" 0094D8
}


start_installer() {
    "$installer" 9>&- >"$work/installer-$1.log" 2>&1 &
    app_pid=$!
    wait_until "the installer's window appears" window_is_ready
    note "installer started ($1), window $window at $window_x,$window_y"
}

stop_installer() {
    kill "$app_pid"
    wait "$app_pid" 2>/dev/null || true
    app_pid=""
}

# shoot NAME: a screenshot of the window's client area, $work/shots/NAME.png.
shoot() {
    mkdir -p "$work/shots"
    import -window root "$work/shots/root.png" 2>/dev/null || return 1
    "$convert" "$work/shots/root.png" -crop "${window_width}x${window_height}+$window_x+$window_y" +repage "$work/shots/$1.png"
}

# region_differs A B X Y W H: whether two screenshots differ inside a region.
region_differs() {
    local a="$work/shots/$1.png" b="$work/shots/$2.png" geometry="$5x$6+$3+$4"
    local differing
    # Through files: ImageMagick's policy refuses reading from pipes, and its error text must not
    # pass for a difference.
    "$convert" "$a" -crop "$geometry" +repage "$work/shots/region-a.png"
    "$convert" "$b" -crop "$geometry" +repage "$work/shots/region-b.png"
    differing=$("$compare" -metric AE "$work/shots/region-a.png" "$work/shots/region-b.png" null: 2>&1 || true)
    [[ "${differing%% *}" =~ ^[0-9]+$ ]] || fail "could not compare screenshots: $differing"
    [ "${differing%% *}" != 0 ]
}

# The grid at 600 x 600, in window coordinates (x, y, width, height).
vst3=(24 180 270 60)
clap=(306 180 270 60)
aax=(24 252 270 60)
select_all=(462 132 114 30)
install=(516 441 60 60)
hint_line=(24 540 552 18)
install_caption=(506 503 80 22) # "INSTALL" / "UNINSTALL" under the button

rect_of() { local -n r=$1; echo "${r[@]}"; } # rect_of NAME: the four numbers of a named rectangle

centre_of() {
    local x y w h
    read -r x y w h < <(rect_of "$1")
    echo $((x + w / 2)) $((y + h / 2))
}

point_at() { # point_at BUTTON: moves the pointer to the button's centre
    read -r x y < <(centre_of "$1")
    xdotool mousemove --window "$window" "$x" "$y"
}

click_on() {
    point_at "$1"
    xdotool click 1
}

# The yellow selection outline (3 pixels, centred on the edge), on the left edge half-way down.
is_selected() { # is_selected SHOT ROW
    local x y w h
    read -r x y w h < <(rect_of "$2")
    near "$(pixel "$1" "$x" $((y + h / 2)))" D3C55F
}


#==================================================================================================
# What should be on disk.

bundles=("$work/VST3/Morvane4.vst3" "$work/CLAP/Morvane4.clap" "$work/AAX/Morvane4.aaxplugin")
folders=("$work/VST3" "$work/CLAP" "$work/AAX")

no_bundle_present() {
    [ ! -e "${bundles[0]}" ] && [ ! -e "${bundles[1]}" ] && [ ! -e "${bundles[2]}" ]
}

#==================================================================================================
note "settings in $settings_file, folders in $work"

write_settings "${folders[@]}"

start_display 1024x768

#==================================================================================================
# First start: install all three formats.

start_installer first
check_centred 600 0 0 # no window manager, so no frame

for folder in "${folders[@]}"; do
    [ -d "$folder" ] || fail "the configured install folder $folder was not created at start"
done

no_bundle_present || fail "a bundle is present before the install"
shoot start
[ "$(brightest start "${hint_line[@]}")" -ge 60 ] || fail "the hint line shows nothing at start (it should show 1.1.0)"
is_selected start vst3 && fail "VST3 begins selected although it is not installed"

# Hovering VST3 changes the hint line; hovering CLAP changes it again; the header clears it.
point_at vst3
wait_until "the hint line changes under the pointer on VST3" \
    eval 'shoot hover_vst3 && region_differs start hover_vst3 "${hint_line[@]}"'
[ "$(brightest hover_vst3 "${hint_line[@]}")" -ge 60 ] || fail "the hint line is empty over VST3"
point_at clap
wait_until "the hint line changes from VST3's to CLAP's" \
    eval 'shoot hover_clap && region_differs hover_vst3 hover_clap "${hint_line[@]}"'
xdotool mousemove --window "$window" 300 60
wait_until "the hint line empties over the header" \
    eval 'shoot hover_none && [ "$(brightest hover_none "${hint_line[@]}")" -le 30 ]'
note "hint line: version at start, changed over VST3, changed over CLAP, empty over no button"

# INSTALL with nothing selected starts no run: the rows stay and the hint line asks for a selection.
point_at install
wait_until "the hint line explains INSTALL under the pointer" \
    eval 'shoot install_hovered_first && region_differs hover_none install_hovered_first "${hint_line[@]}"'
xdotool click 1
wait_until "the hint line changes after INSTALL with nothing selected" \
    eval 'shoot install_refused && region_differs install_hovered_first install_refused "${hint_line[@]}"'
[ "$(brightest install_refused "${hint_line[@]}")" -ge 60 ] || fail "the hint line is empty after INSTALL with nothing selected"
no_bundle_present || fail "INSTALL with nothing selected wrote a bundle"
near "$(pixel install_refused $((vst3[0] + 3)) $((vst3[1] + 3)))" 111111 \
    && fail "INSTALL with nothing selected hid the format rows"
note "INSTALL with nothing selected: no run, the hint line asks for a selection"

click_on vst3
wait_until "VST3 shows selected after a click" eval 'shoot clicked_vst3 && is_selected clicked_vst3 vst3'
is_selected clicked_vst3 clap && fail "clicking VST3 selected CLAP"

click_on select_all
wait_until "SELECT ALL selects CLAP and AAX" \
    eval 'shoot select_all && is_selected select_all clap && is_selected select_all aax'
is_selected select_all vst3 || fail "SELECT ALL cleared VST3"
is_focused select_all vst3 && fail "a mouse click showed the keyboard focus outline"
note "VST3 selected by a click, then all three by SELECT ALL"

click_on install
wait_until "the three bundles are on disk" all_bundles_present
wait_until "the success view shows after INSTALL" eval 'shoot installed && shows_success_view installed'
shows_result_lines installed installed || fail "the result view shows no line and \"Show in folder\" per installed format"

for i in 0 1 2; do
    files=$(matches_archive "${archives[i]}" "${folders[i]}") || fail "the unpacked bundle differs from its archive"
    note "bundle $(basename "${bundles[i]}"): $files files, as in $(basename "${archives[i]}")"
done

stop_installer

#==================================================================================================
# Second start: uninstall all three with a shift-click.

start_installer second
check_centred 600 0 0
shoot second_start
for row in vst3 clap aax; do
    is_selected second_start $row || fail "$row does not begin selected although it is installed"
done

point_at install
wait_until "INSTALL is hovered" eval 'shoot install_hovered && region_differs second_start install_hovered "${hint_line[@]}"'
xdotool keydown shift
wait_until "shift turns the caption into UNINSTALL" \
    eval 'shoot shift_down && region_differs install_hovered shift_down "${install_caption[@]}"'
# The caption grew wider: "UNINSTALL" reaches further left than "INSTALL".
[ "$(brightest shift_down 506 505 11 18)" -gt "$(brightest install_hovered 506 505 11 18)" ] \
    || fail "the caption under INSTALL did not get longer with shift"
xdotool click 1
xdotool keyup shift
note "shift-click on INSTALL (caption UNINSTALL while shift was down)"

wait_until "the three bundles are removed" no_bundle_present
wait_until "the success view shows after the uninstall" eval 'shoot uninstalled && shows_success_view uninstalled'
shows_result_lines uninstalled removed || fail "the result view after the uninstall shows no lines, or \"Show in folder\""
for folder in "${folders[@]}"; do
    [ -d "$folder" ] || fail "the install folder $folder went away with the bundle"
done

stop_installer

#==================================================================================================
# Third start: the keyboard alone installs all three again.

start_installer third
xdotool windowfocus --sync "$window"
shoot keyboard_start
is_focused keyboard_start vst3 && fail "the focus outline shows before any key"

xdotool key Tab
wait_until "Tab puts the focus outline on VST3" eval 'shoot tab_vst3 && is_focused tab_vst3 vst3'
xdotool key space
wait_until "Space selects VST3" eval 'shoot space_vst3 && is_selected space_vst3 vst3'
is_focused space_vst3 clap && fail "the focus outline shows on CLAP while VST3 has the focus"

xdotool key Tab
wait_until "Tab moves the focus outline to CLAP" eval 'shoot tab_clap && is_focused tab_clap clap && ! is_focused tab_clap vst3'
xdotool key Tab Tab Return # AAX, then SELECT ALL
wait_until "Return on SELECT ALL selects CLAP and AAX" \
    eval 'shoot keyboard_all && is_selected keyboard_all clap && is_selected keyboard_all aax'
note "keyboard: Tab to VST3 (focus outline shown), Space selected it, Return on SELECT ALL selected all"

xdotool key Tab Tab Tab Tab Tab Return # the four tabs, then INSTALL
wait_until "the three bundles are on disk after Return on INSTALL" all_bundles_present
wait_until "the success view shows after the keyboard install" eval 'shoot keyboard_installed && shows_success_view keyboard_installed'
for i in 0 1 2; do
    matches_archive "${archives[i]}" "${folders[i]}" >/dev/null || fail "the bundle installed from the keyboard differs from its archive"
done
note "keyboard: Return on INSTALL installed the three formats"

stop_installer

#==================================================================================================
# The same start under strace: while the pointer moves over the controls and while it rests, the
# window's own thread makes no call on the install folders or anything in them (the session looks
# at them on threads of its own), and a bundle removed outside shows as NOT INSTALLED without any
# input.

start_traced_installer() {
    strace -f -ff -y -tt -e trace=%file,%desc -o "$work/trace" "$installer" 9>&- >"$work/installer-traced.log" 2>&1 &
    app_pid=$!
    wait_until "the traced installer's window appears" window_is_ready
    traced_pid=$(pgrep -P "$app_pid" | head -n 1)
    [ -n "$traced_pid" ] && [ -f "$work/trace.$traced_pid" ] || fail "strace wrote no trace of the installer's main thread"
}

# folder_calls FROM TO FILE...: how many traced calls between the two times name an install folder.
folder_calls() {
    local from=$1 to=$2
    shift 2
    cat "$@" | awk -v from="$from" -v to="$to" -v a="${folders[0]}" -v b="${folders[1]}" -v c="${folders[2]}" \
        '$1 >= from && $1 <= to && (index($0, a) || index($0, b) || index($0, c)) { n++ } END { print n + 0 }'
}

if command -v strace >/dev/null && strace -f -o /dev/null true 2>/dev/null; then
    start_traced_installer
    from=$(date +%H:%M:%S.%6N)

    for pass in 1 2 3; do
        for control in vst3 clap aax select_all install hint_line; do
            point_at "$control"
            sleep 0.15
        done
    done

    xdotool mousemove 0 0 # off the window, which is centred on the screen
    sleep 2
    to=$(date +%H:%M:%S.%6N)

    # A bundle removed outside: the CLAP row turns from its installed face without any input.
    read -r x y w h < <(rect_of clap)
    shoot traced_before
    installed_face=$(pixel traced_before $((x + w - 6)) $((y + 6)))
    rm -rf "${folders[1]}/Morvane4.clap"
    removed=$EPOCHREALTIME

    until shoot traced_after && ! near "$(pixel traced_after $((x + w - 6)) $((y + 6)))" "$installed_face"; do
        [ $SECONDS -lt $run_limit ] || fail "the CLAP row still shows its bundle, removed outside"
        sleep 0.1
    done

    shown_after=$(awk -v a="$removed" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')
    kill "$traced_pid"
    wait "$app_pid" 2>/dev/null || true
    app_pid=""

    others=()
    for file in "$work"/trace.*; do
        [ "$file" = "$work/trace.$traced_pid" ] || others+=("$file")
    done

    on_main=$(folder_calls "$from" "$to" "$work/trace.$traced_pid")
    on_others=$(folder_calls "$from" "$to" "${others[@]}")
    note "pointer over the controls for about 3 s, then 2 s at rest: $on_main calls on the install folders by the window's thread, $on_others by the session's threads; a bundle removed outside showed after $shown_after s"
    [ "$on_others" -gt 0 ] || fail "the trace shows no look at the install folders at all: it could not have seen one by the window's thread"
    [ "$on_main" -eq 0 ] || fail "the window's thread made $on_main calls on the install folders, such as $(grep -m 1 -F -e "${folders[0]}" -e "${folders[1]}" -e "${folders[2]}" "$work/trace.$traced_pid")"
else
    note "strace cannot trace here: the window's thread was not traced"
fi

#==================================================================================================
# Fourth start, on a screen too low for 600 x 600: the largest square that fits, wholly on screen,
# with its content drawn at that size.

start_display 1024x540
start_installer low_screen
shoot low_screen
[ "$window_height" = "$screen_height" ] || fail "the window is $window_height high, not as high as the screen ($screen_height)"
# INSTALL's face, on the grid scaled to the window: 86 units from the left, 73.5 from the top.
[ "$(brightest low_screen $((window_width * 86 / 100)) $((window_height * 735 / 1000)) \
    $((window_width / 10)) $((window_height / 10)))" -ge 60 ] || fail "INSTALL is not drawn on the low screen"
note "on a $screen_width x $screen_height screen: $window_width x $window_height at $window_x,$window_y"
stop_installer
note "passed"
