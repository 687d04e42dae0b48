# Shell helpers shared by the end-to-end runs (Linux and Wine): the display, waiting, the window's
# place, reading screenshots, checking what landed on disk, and the Linux program's settings file.
# Sourced; the run defines work, convert, window, wait_limit, run_limit and bundles before it calls
# them.

fail() { echo "FAILED: $*" >&2; exit 1; }

note() { echo "[$SECONDS s] $*"; }

xvfb_pid=""
screen_width=0
screen_height=0

# start_display WIDTHxHEIGHT: a virtual display of that size, which DISPLAY then names. It does not
# reset when its last client leaves: a reset refuses connections for a moment, and the checks here
# connect and leave all the time. A display started before ends once the new one is up.
start_display() {
    local previous=$xvfb_pid
    rm -f "$work/displayfd"
    mkfifo "$work/displayfd"
    Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -noreset 3>"$work/displayfd" 9>&- >>"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    local number
    read -r -t "$wait_limit" number <"$work/displayfd" || fail "Xvfb did not start"
    export DISPLAY=":$number"
    screen_width=${1%x*}
    screen_height=${1#*x}
    note "display $DISPLAY, $1"

    if [ -n "$previous" ]; then
        kill "$previous"
        wait "$previous" 2>/dev/null || true
    fi
}

window_x=0
window_y=0
window_width=0
window_height=0

# window_geometry: sets window_x, window_y, window_width and window_height (in screen pixels) of
# the window's client area.
window_geometry() {
    local info
    info=$(xwininfo -id "$window" 2>/dev/null) || return 1
    window_x=$(awk '/Absolute upper-left X/ { print $4 }' <<<"$info")
    window_y=$(awk '/Absolute upper-left Y/ { print $4 }' <<<"$info")
    window_width=$(awk '/^ *Width:/ { print $2 }' <<<"$info")
    window_height=$(awk '/^ *Height:/ { print $2 }' <<<"$info")
}

within() { # within SLACK A B: A and B differ by SLACK at most
    local d=$(($2 - $3))
    [ ${d#-} -le "$1" ]
}

# check_fits_screen SLACK: the window is square (within SLACK pixels) and wholly on the screen.
check_fits_screen() {
    local where="$window_width x $window_height at $window_x,$window_y on the $screen_width x $screen_height screen"
    within "$1" "$window_width" "$window_height" || fail "the window is not square: $where"
    [ "$window_x" -ge 0 ] && [ "$window_y" -ge 0 ] && [ $((window_x + window_width)) -le "$screen_width" ] \
        && [ $((window_y + window_height)) -le "$screen_height" ] || fail "the window is not wholly on screen: $where"
}

# check_centred SIDE SLACK TITLE: the window is SIDE x SIDE and centred across the screen (each
# within SLACK pixels); its top is up to TITLE pixels below centre, as the frame's title bar is
# taller than its bottom edge.
check_centred() {
    local where="$window_width x $window_height at $window_x,$window_y on the $screen_width x $screen_height screen"
    within "$2" "$window_width" "$1" && within "$2" "$window_height" "$1" || fail "the window is not $1 x $1: $where"
    local below=$((window_y - (screen_height - window_height) / 2))
    within "$2" "$window_x" $(((screen_width - window_width) / 2)) && [ "$below" -ge 0 ] && [ "$below" -le "$3" ] \
        || fail "the window is not centred: $where"
}

# wait_until DESCRIPTION COMMAND...: retries COMMAND every 0.1 s until it succeeds. While it waits,
# the pointer trembles by one pixel, as a hand on a mouse does, so that no event already received
# waits for the next input.
wait_until() {
    local what=$1
    shift
    local end=$((SECONDS + wait_limit))
    local step=1

    until "$@"; do
        [ $SECONDS -lt $end ] || fail "$what (waited ${wait_limit} s)"
        [ $SECONDS -lt $run_limit ] || fail "$what (the run took longer than ${run_limit} s)"
        [ -n "$window" ] && xdotool mousemove_relative -- "$step" 0 2>/dev/null
        step=$((-step))
        sleep 0.1
    done
}

# pixel NAME X Y: the colour at a point of a screenshot, as RRGGBB.
pixel() {
    "$convert" "$work/shots/$1.png" -format "%[hex:p{$2,$3}]" info: | cut -c 1-6
}

near() { # near RRGGBB RRGGBB: every channel within 12
    local a=$1 b=$2 i
    for i in 0 2 4; do
        local d=$((16#${a:i:2} - 16#${b:i:2}))
        [ ${d#-} -le 12 ] || return 1
    done
}

# count_near NAME X Y W H RRGGBB: how many pixels of the region are within 12 of the colour.
count_near() {
    local rgb=$6
    "$convert" "$work/shots/$1.png" -crop "$4x$5+$2+$3" +repage -fuzz 5% \
        -fill black +opaque "#$rgb" -fill white -opaque "#$rgb" \
        -format '%[fx:round(mean*w*h)]' info:
}

# brightest NAME X Y W H: the brightest channel value (0..255) in a region of a screenshot.
brightest() {
    "$convert" "$work/shots/$1.png" -crop "$4x$5+$2+$3" +repage -fx 'max(r,max(g,b))' \
        -format '%[fx:round(255*maxima)]' info:
}

# The white keyboard focus outline, 3.6 pixels outside a row's left edge, half-way down.
is_focused() { # is_focused SHOT ROW
    local x y w h
    read -r x y w h < <(rect_of "$2")
    near "$(pixel "$1" $((x - 4)) $((y + h / 2)))" F5F5F5
}

# Every entry of the archive is in the folder, byte for byte; also prints how many files.
matches_archive() { # matches_archive ARCHIVE FOLDER
    /usr/bin/python3 - "$1" "$2" <<'PYTHON'
import os, sys, zipfile
archive, folder = sys.argv[1], sys.argv[2]
files = 0
with zipfile.ZipFile(archive) as z:
    for entry in z.infolist():
        path = os.path.join(folder, *entry.filename.replace("\\", "/").rstrip("/").split("/"))
        if entry.filename.endswith(("/", "\\")):
            ok = os.path.isdir(path)
        else:
            files += 1
            ok = os.path.isfile(path) and open(path, "rb").read() == z.read(entry)
        if not ok:
            sys.exit(f"{entry.filename}: missing or different in {folder}")
print(files)
PYTHON
}

all_bundles_present() {
    [ -d "${bundles[0]}" ] && [ -f "${bundles[1]}" ] && [ -d "${bundles[2]}" ]
}

#==================================================================================================
# The Linux program's real settings file, which a run points at its own folders. Runs on one machine
# take turns (a lock), so none of them sees another's settings; the file found there is put back by
# restore_settings, which the run's exit trap calls.

settings_folder=/opt/Tarnwick
settings_file=$settings_folder/PluginManagerSettings.txt
settings_lock=/tmp/tw_installer_e2e.lock
settings_backup=""
created_settings_folder=0
touched_settings=0

# lock_settings: waits for the other runs (the lock is held on descriptor 9 until the run ends);
# exits 77 (skipped) when the settings folder cannot be written.
lock_settings() {
    exec 9>"$settings_lock"
    flock -w 120 9 || fail "another end-to-end run holds $settings_lock"

    if ! mkdir -p "$settings_folder" 2>/dev/null || [ ! -w "$settings_folder" ]; then
        echo "SKIPPED: $settings_folder cannot be written by this user"
        exit 77
    fi
}

# write_settings VST3_FOLDER CLAP_FOLDER AAX_FOLDER: the settings file the program reads at start.
write_settings() {
    if [ "$touched_settings" = 0 ]; then
        if [ -e "$settings_file" ]; then
            settings_backup="$work/settings-backup.txt"
            cp -p "$settings_file" "$settings_backup"
        fi
        [ -d "$settings_folder" ] && [ -z "$(ls -A "$settings_folder")" ] && [ -z "$settings_backup" ] && created_settings_folder=1
        touched_settings=1
    fi

    cat >"$settings_file" <<EOF
<?xml version="1.0" encoding="UTF-8"?>

<Plugin_Manager_Settings Important_Note:="Written by the end-to-end test." CLAP_Path="$2"
                         VST3_Path="$1" AAX_Path="$3"/>
EOF
}

restore_settings() {
    [ "$touched_settings" = 1 ] || return 0
    if [ -n "$settings_backup" ]; then
        mv -f "$settings_backup" "$settings_file"
    else
        rm -f "$settings_file"
    fi
    [ "$created_settings_folder" = 1 ] && rmdir "$settings_folder" 2>/dev/null
    touched_settings=0
}

# The views after a run, at the window's default size (600 x 600; rect_of and the rows come from the
# script).
success_icon=(96 240 408 84)
success_text=(24 340 552 56) # "SUCCESS!" at the bottom of (24, 168, 552, 228)

# The success view: the green install mark, "SUCCESS!" in white, no format rows (the result lines
# stand where they were: only the faces' colours are looked for), no SELECT ALL.
shows_success_view() { # shows_success_view SHOT
    local shot=$1 green
    green=$(count_near "$shot" "${success_icon[@]}" 86CF7A)
    [ "$green" -ge 200 ] || return 1
    [ "$(brightest "$shot" "${success_text[@]}")" -ge 224 ] || return 1

    local row face x y w h
    for row in vst3 clap aax; do
        for face in 0287C4 464545; do # installed (blue) and not installed (grey) faces over the background
            [ "$(count_near "$shot" $(rect_of $row) $face)" -lt 4000 ] || return 1
        done
    done
    read -r x y w h < <(rect_of select_all)
    near "$(pixel "$shot" $((x + 3)) $((y + 3)))" 111111
}

# The result lines: three lines of grey text between the section rule and the mark, and after an
# install a "Show in folder" button (a half-grey face) at the end of each.
result_lines=(24 174 444 65)
show_buttons_y=(176 197 219)
shows_result_lines() { # shows_result_lines SHOT installed|removed
    local shot=$1 y faces
    [ "$(brightest "$shot" "${result_lines[@]}")" -ge 150 ] || return 1
    for y in "${show_buttons_y[@]}"; do
        faces=$(count_near "$shot" 474 "$y" 102 18 5E5C5C)
        if [ "$2" = installed ]; then [ "$faces" -ge 600 ] || return 1; else [ "$faces" -lt 50 ] || return 1; fi
    done
}
