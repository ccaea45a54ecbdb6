#!/usr/bin/env bash
# Takes the README's screenshots, docs/start.png, docs/live.png, docs/turned.png and
# docs/movie.png, from the real viewer: it builds like run.sh, then runs the viewer and the
# camera simulator on a private Xvfb server and drives them with xdotool, clicking buttons
# at their places in the fixed window layout, and captures the window with ImageMagick.
# Everything runs in a scratch folder (working directory, port links, X authority), so the
# user's own settings and frame files are left alone. Exits non-zero, saying which step
# failed, when anything does not turn out as expected; docs/ changes only after a full run.
#
# KELVRA_SCREENSHOT_BUILD overrides the build folder (default build/release, as run.sh).
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"
kelvra_ensure_packages xdotool imagemagick
build="${KELVRA_SCREENSHOT_BUILD:-$KELVRA_ROOT/build/release}"
kelvra_build "$build" Release -DKELVRA_BUILD_TESTS=OFF -DKELVRA_BUILD_BENCH=OFF
bin="$build/bin"
docs="$KELVRA_ROOT/docs"

# --- The window's layout, in client pixels (TfrmMain's fixed geometry) --------------------
readonly WIN_W=595 WIN_H=775
readonly VIEW_X=9 VIEW_Y=4 VIEW_SIZE=577 # the GL view inside sPanel1 (8, 3) and its border
readonly NEUTRAL=256                     # mouse position in the view where both angles are 0
readonly START_BTN=(180 613)             # btnStart: sPanel2 (8, 585) + (71, 16, 203 x 25)
readonly MOVIE_BTN=(217 675)             # btnMov: sPanel2 + (144, 78, 130 x 25)
readonly CAPTURE_BOX=(26 733)            # chkImage: sPanel2 + (8, 139, 141 x 19)
readonly HEIGHT_GROOVE=(388 663)         # left end of trbHeight: sPanel3 (298, 585) + (85, 63)
readonly HEIGHT_RATIO=3                  # from 50; every click left of the handle takes one off

# --- Scratch folder, X server and clean-up ------------------------------------------------
scratch="$(mktemp -d "${TMPDIR:-/tmp}/kelvra-shots.XXXXXX")"
work="$scratch/work"
shots="$scratch/shots"
mkdir -p "$work" "$shots" "$scratch/config" "$scratch/runtime"
chmod 700 "$scratch/runtime"
xvfb_pid="" camsim_pid="" viewer_pid="" own_display=""

stop_process() {
  local pid="$1"
  [ -n "$pid" ] || return 0
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
cleanup() {
  stop_process "$viewer_pid"
  stop_process "$camsim_pid"
  stop_process "$xvfb_pid"
  rm -rf "$scratch"
}
trap cleanup EXIT

# fail MESSAGE: keeps a picture of the whole screen for a look at what went wrong, then exits.
fail() {
  echo "screenshots: $*" >&2
  local log
  for log in "$scratch/viewer.log" "$scratch/camsim.log"; do
    [ -s "$log" ] && sed "s|^|$(basename "$log" .log): |" "$log" >&2
  done
  local picture="$build/screenshots-failure.png"
  if [ -n "$own_display" ] && import -silent -window root "$picture" 2>/dev/null; then
    echo "screenshots: the screen at that moment: $picture" >&2
  fi
  exit 1
}

# wait_until SECONDS DESCRIPTION COMMAND...: polls COMMAND every 0.1 s until it succeeds.
wait_until() {
  local seconds="$1" what="$2" tries
  shift 2
  for ((tries = seconds * 10; tries > 0; tries--)); do
    "$@" && return 0
    sleep 0.1
  done
  fail "timed out after ${seconds} s waiting for $what"
}

# A cookie for the server, which takes it whatever display number the server picks; the
# client entry follows once the number is known.
export XAUTHORITY="$scratch/Xauthority"
cookie="$(mcookie)"
xauth -q -f "$XAUTHORITY" add :0 . "$cookie" 2>/dev/null
Xvfb -displayfd 3 -screen 0 1024x900x24 -nolisten tcp -auth "$XAUTHORITY" \
  3>"$scratch/display" 2>"$scratch/xvfb.log" &
xvfb_pid=$!
wait_until 20 "Xvfb to start" test -s "$scratch/display"
DISPLAY=":$(head -n1 "$scratch/display")"
export DISPLAY
xauth -q -f "$XAUTHORITY" add "$DISPLAY" . "$cookie"
own_display=1

# The same picture on every machine: software GL, Qt's own dialogs and style, no scaling.
export LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb LC_ALL=C.UTF-8
export XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime"
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS \
  QT_ENABLE_HIGHDPI_SCALING QT_FONT_DPI WAYLAND_DISPLAY

# --- Helpers that act on the window ----------------------------------------------------------
win_x=0 win_y=0 main_window=""

# click X Y [BUTTON] [COUNT]: clicks at window position X, Y, then moves the mouse off the
# window, so that no tooltip shows up in a picture. Leaving the window turns nothing.
click() {
  xdotool mousemove $((win_x + $1)) $((win_y + $2))
  xdotool click --repeat "${4:-1}" --delay 60 "${3:-1}"
  xdotool mousemove 0 0
}

# turn ROT_X ROT_Y: moves the mouse over the view to the point that gives these angles.
turn() {
  xdotool mousemove $((win_x + VIEW_X + NEUTRAL + $2)) $((win_y + VIEW_Y + NEUTRAL + $1))
}

# zoom BUTTON COUNT: clicks where the mouse is (over the view): left nearer, right farther.
zoom() { xdotool click --repeat "$2" --delay 60 "$1"; }

# capture FILE: the window as it is on the screen.
capture() {
  import -silent -window root -crop "${WIN_W}x${WIN_H}+${win_x}+${win_y}" +repage "$1"
}

# view_share FILE CHANNEL: the share (0..1) of view pixels whose CHANNEL is above 12 %. The
# points are grey and the axes pure red, so G measures the relief and R the axes.
view_share() {
  convert "$1" -crop "${VIEW_SIZE}x${VIEW_SIZE}+${VIEW_X}+${VIEW_Y}" +repage \
    -channel "$2" -separate +channel -threshold 12% -format '%[fx:mean]' info:
}
above() { awk -v a="$1" -v b="$2" 'BEGIN { exit !(a > b) }'; }

# view_difference FILE1 FILE2: the share (0..1) of view pixels that differ between two captures.
view_difference() {
  local file pixels
  for file in "$1" "$2"; do
    convert "$file" -crop "${VIEW_SIZE}x${VIEW_SIZE}+${VIEW_X}+${VIEW_Y}" +repage "$file.view.png"
  done
  pixels="$(compare -metric AE -fuzz 5% "$1.view.png" "$2.view.png" null: 2>&1 || true)"
  rm -f "$1.view.png" "$2.view.png"
  awk -v p="$pixels" -v n=$((VIEW_SIZE * VIEW_SIZE)) 'BEGIN { printf "%.4f", p / n }'
}

# Any other named window (the error display, a notice, a dialog) means a step went wrong.
no_boxes() {
  local w name
  for w in $(xdotool search --onlyvisible --name . 2>/dev/null); do
    [ "$w" = "$main_window" ] && continue
    name="$(xdotool getwindowname "$w" 2>/dev/null || true)"
    fail "$1: an unexpected window '$name' is open"
  done
}

viewer_alive() { kill -0 "$viewer_pid" 2>/dev/null || fail "the viewer has exited; see above"; }

relief_shown() {
  capture "$scratch/probe.png"
  above "$(view_share "$scratch/probe.png" G)" 0.02
}
main_title() { xdotool getwindowname "$main_window"; }
# movie_shows N: the caption names live_N.kvr ("Kelvra 23   <path>/live_N.kvr opened").
movie_shows() {
  case "$(main_title)" in
    "Kelvra 23   "*/"live_$1.kvr opened") return 0 ;;
    *) return 1 ;;
  esac
}
dialog_open() { xdotool search --onlyvisible --name '^Select Image File$' >/dev/null 2>&1; }
dialog_closed() { ! dialog_open; }

# --- Start: the simulator on COM1 and the viewer -----------------------------------------------
echo "== Starting the camera simulator and the viewer on $DISPLAY"
"$bin/kelvra-camsim" --port COM1 --fps 10 >"$scratch/camsim.out" 2>"$scratch/camsim.log" &
camsim_pid=$!
wait_until 20 "the simulator's COM1 link" test -L "$XDG_CONFIG_HOME/kelvra23/ports/COM1"

xdotool mousemove 0 0 # the pointer starts away from the view: no turn yet
(cd "$work" && exec "$bin/kelvra23") 2>"$scratch/viewer.log" &
viewer_pid=$!
found_window() {
  main_window="$(xdotool search --onlyvisible --name '^Kelvra 23$' 2>/dev/null | head -n1)"
  [ -n "$main_window" ]
}
wait_until 30 "the main window" found_window
eval "$(xdotool getwindowgeometry --shell "$main_window")"
win_x=$X win_y=$Y
if [ "$WIDTH" -ne "$WIN_W" ] || [ "$HEIGHT" -ne "$WIN_H" ]; then
  fail "the window is ${WIDTH} x ${HEIGHT}, expected ${WIN_W} x ${WIN_H}"
fi
sleep 1 # the first refresh ticks: the readout replaces READY...

# --- start.png: the axes only ---------------------------------------------------------------
echo "== start.png"
capture "$shots/start.png"
above "$(view_share "$shots/start.png" R)" 0.0005 || fail "start.png: no red axes in the view"
if above "$(view_share "$shots/start.png" G)" 0.001; then
  fail "start.png: the view shows more than the axes"
fi
no_boxes "start"

# --- live.png: frames from the simulator, height ratio lowered ---------------------------------
echo "== live.png"
click "${START_BTN[@]}"
wait_until 20 "live frames in the view" relief_shown
no_boxes "Open Port and Start Camera"
click "${HEIGHT_GROOVE[@]}" 1 $((50 - HEIGHT_RATIO))
turn -60 -15
sleep 1 # a few more frames at 10 per second
viewer_alive
capture "$shots/live.png"
above "$(view_share "$shots/live.png" G)" 0.02 || fail "live.png: no relief in the view"
no_boxes "live view"

# --- turned.png: another angle, nearer (three left clicks) ------------------------------------
echo "== turned.png"
turn -35 55
zoom 1 3
sleep 1
capture "$shots/turned.png"
difference="$(view_difference "$shots/live.png" "$shots/turned.png")"
above "$difference" 0.02 || fail "turned.png: the view hardly changed ($difference of its pixels)"
no_boxes "turning"

# --- movie.png: record a few frames, stop the camera, play them back --------------------------
echo "== movie.png"
click "${CAPTURE_BOX[@]}"
wait_until 20 "five recorded frames" test -f "$work/live_4.kvr"
click "${CAPTURE_BOX[@]}"
click "${START_BTN[@]}" # stop the camera and close the port
sleep 1
no_boxes "recording"
last="$(find "$work" -maxdepth 1 -name 'live_*.kvr' -printf '%f\n' \
  | sed -n 's/^live_\([0-9]*\)\.kvr$/\1/p' | sort -n | tail -n1)"
[ "${last:-0}" -ge 4 ] || fail "expected live_0.kvr to live_4.kvr, the last is live_$last.kvr"

turn -50 -30
zoom 3 3 # back to the first distance
click "${MOVIE_BTN[@]}"
wait_until 20 "the file dialog" dialog_open
dialog="$(xdotool search --onlyvisible --name '^Select Image File$' | head -n1)"
xdotool windowfocus --sync "$dialog"
xdotool type --delay 30 "$work/live_$last.kvr"
xdotool key Return
wait_until 20 "the file dialog to close" dialog_closed
# The movie runs live_0 ... live_$last in a loop; the picture is taken right after the caption
# names the middle frame, within the 250 ms it stays.
shown=$((last / 2))
wait_until 30 "the movie to show live_$shown.kvr" movie_shows "$shown"
sleep 0.1
capture "$shots/movie.png"
above "$(view_share "$shots/movie.png" G)" 0.02 || fail "movie.png: no relief in the view"
wait_until 30 "the movie to loop round to live_0.kvr" movie_shows 0
no_boxes "movie"
click "${MOVIE_BTN[@]}" # stop the movie
viewer_alive

# --- Into docs/: small, without time stamps, so that unchanged pictures give the same bytes ----
mkdir -p "$docs"
for name in start live turned movie; do
  convert "$shots/$name.png" -strip -define png:exclude-chunks=date,time,tIME \
    -define png:compression-level=9 "$docs/$name.png"
done
echo "== Written to $docs:"
ls -l "$docs"/start.png "$docs"/live.png "$docs"/turned.png "$docs"/movie.png
