#!/usr/bin/env bash
# The real quorvel window on a real X server: Xvfb with the openbox window manager, driven by
# real input events (xdotool), checked by what a user would see and what the files then hold.
# The offscreen tests cannot see frames, real clicks or focus; this suite does.
#
# Usage: real_window_test.sh QUORVEL_BINARY
set -uo pipefail

program=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/quorvel-real-window-XXXXXX")
failures=0
passes=0
server=
manager=

cleanup() {
  pkill -P $$ -f "$work/quorvel" 2>/dev/null
  [ -n "$manager" ] && kill "$manager" 2>/dev/null
  [ -n "$server" ] && kill "$server" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
pass() {
  echo "ok: $*"
  passes=$((passes + 1))
}
expect_eq() {  # what, expected, actual
  if [ "$2" == "$3" ]; then pass "$1"; else fail "$1: expected '$2', got '$3'"; fi
}
expect_contains() {  # what, file, text
  if grep -qF -- "$3" "$2" 2>/dev/null; then pass "$1"; else fail "$1: '$3' not in $2"; fi
}

# A display of our own: Xvfb picks a free number and tells it through a pipe.
exec 3< <(exec Xvfb -displayfd 1 -screen 0 1280x1024x24 -nolisten tcp 2>"$work/xvfb.log")
server=$!
if ! read -r -t 20 number <&3; then
  echo "Xvfb did not start:"; cat "$work/xvfb.log"; exit 1
fi
export DISPLAY=:$number
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_RUNTIME_DIR=$work/runtime
mkdir -p "$HOME" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset QT_QPA_PLATFORM
openbox --sm-disable >"$work/openbox.log" 2>&1 &
manager=$!
for _ in $(seq 100); do
  xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break
  sleep 0.1
done

# The program is copied into a folder of its own, so its settings file lies there.
cp "$program" "$work/quorvel"
settings=$work/quorvel.ini

# Writes a log with a header of three channels and the given number of data rows.
make_log() {  # path rows
  {
    printf '"Time","AFR","RPM","MAP"\r\n'
    awk -v rows="$2" 'BEGIN { for (i = 0; i < rows; i++)
      printf "12:%02d:%02d.%03d,0.98,3500,101\r\n", int(i / 60000) % 60, int(i / 1000) % 60, i % 1000 }'
    printf 'end\r\n'
  } >"$1"
}

# Starts the program on a log; sets window (its X id) once the window is up and framed.
start() {  # log
  rm -f "$work/window"
  "$work/quorvel" "$1" >"$work/program.log" 2>&1 &
  running=$!
  window=
  for _ in $(seq 200); do
    window=$(xdotool search --onlyvisible --name '^Quorvel V0\.65$' 2>/dev/null | head -n 1)
    [ -n "$window" ] && xprop -id "$window" _NET_FRAME_EXTENTS 2>/dev/null | grep -q '=' && break
    sleep 0.05
  done
  [ -n "$window" ] || { fail "the window did not appear for $1"; cat "$work/program.log"; return 1; }
  xdotool windowactivate --sync "$window" >/dev/null 2>&1
  sleep 0.2
  # The client area's top-left corner on the screen.
  read -r left top < <(xwininfo -id "$window" |
    awk -F: '/Absolute upper-left X/ { x = $2 } /Absolute upper-left Y/ { y = $2 } END { print x + 0, y + 0 }')
}

# Waits for the program to end; sets status.
finish() {
  for _ in $(seq 300); do
    kill -0 "$running" 2>/dev/null || break
    sleep 0.05
  done
  if kill -0 "$running" 2>/dev/null; then
    fail "the program did not end"
    kill "$running"
  fi
  wait "$running"
  status=$?
  if [ "$status" -ne 0 ]; then
    echo "the program ended with $status; its output:"
    tail -n 40 "$work/program.log"
  fi
}

# Closes the window as a user does with the keyboard (Alt+F4 through the window manager); under
# load a key can reach the window before it has the focus, so it is pressed again while the
# program still runs.
close_window() {
  for _ in 1 2 3; do
    xdotool windowactivate --sync "$window" >/dev/null 2>&1
    xdotool key --clearmodifiers alt+F4
    for _ in $(seq 60); do
      kill -0 "$running" 2>/dev/null || return 0
      sleep 0.05
    done
  done
}

click() {  # x y, in the client area
  xdotool mousemove --sync $((left + $1)) $((top + $2)) click 1
}

pixel() {  # x y, in the client area: the colour as #RRGGBB
  import -window root -crop "1x1+$((left + $1))+$((top + $2))" -depth 8 txt:- 2>/dev/null |
    awk 'NR == 2 { print $3 }'
}

make_log "$work/three.csv" 10

# 1. The window: framed by the window manager, centred by its outer size, without minimise or
#    maximise, the defaults' swatch colours on screen.
start "$work/three.csv" || exit 1
read -r fl fr ft fb < <(xprop -id "$window" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
read -r width height < <(xwininfo -root | awk -F: '/Width/ { w = $2 } /Height/ { h = $2 } END { print w + 0, h + 0 }')
outer_w=$((370 + fl + fr))
outer_h=$((370 + ft + fb))
expect_eq "client size" "370x370" "$(xwininfo -id "$window" | awk -F: '/Width/ { w = $2 } /Height/ { h = $2 } END { print w + 0 "x" h + 0 }')"
[ "$ft" -gt 0 ] && pass "the window manager framed the window" || fail "no frame: $fl $fr $ft $fb"
expect_eq "centred by the outer size (left)" $(((width - outer_w) / 2)) $((left - fl))
expect_eq "centred by the outer size (top)" $(((height - outer_h) / 2)) $((top - ft))
actions=$(xprop -id "$window" _NET_WM_ALLOWED_ACTIONS)
case "$actions" in
  *MAXIMIZE*|*RESIZE*) fail "the frame allows maximising or resizing: $actions" ;;
  *) pass "no maximise, no resize" ;;
esac
# The Motif hints name the functions the frame may offer: no minimise (8), no maximise (16).
functions=$(xprop -id "$window" _MOTIF_WM_HINTS | sed 's/.*= //' | cut -d, -f2)
[ $((functions & 24)) -eq 0 ] && pass "no minimise or maximise function" || fail "functions $functions"
expect_eq "swatch 1 shows the default colour" "#DB00DC" "$(pixel 315 50)"
expect_eq "swatch 2 shows black" "#000000" "$(pixel 315 80)"
expect_eq "swatch 3 shows blue" "#0000FF" "$(pixel 315 110)"
import -window root -crop "$((outer_w))x$((outer_h))+$((left - fl))+$((top - ft))" "$work/window.png" 2>/dev/null

# 2. A click anywhere in a check box's 20 x 20 box toggles it (here its lower right corner,
#    beside the tick mark); closing with the keyboard saves it.
click $((25 + 18)) $((70 + 18))
close_window
finish
expect_eq "a plain close ends with 0" 0 "$status"
expect_contains "the click in the box's corner unticked channel 2" "$settings" $'[Channel2]\r\nEnabled = 0'
[ -e "$work/three.dif" ] && fail "a plain close wrote an export" || pass "a plain close writes no export"

# 3. Enter on the focused Convert button converts; the focus moves by Tab in creation order.
rm -f "$settings"
start "$work/three.csv" || exit 1
click 100 50  # the focus to name field 111
for _ in $(seq 8); do xdotool key Tab; done  # 121 102 112 122 103 113 123 -> 140
xdotool key Return
finish
expect_eq "Convert ends with 0" 0 "$status"
[ -s "$work/three.dif" ] && pass "Enter on Convert wrote the export" || fail "no export after Enter on Convert"

# 4. Clicks made while a long export runs are not handled: channel 3 unticked before Convert
#    stays unticked (no Reset), channel 1 stays in the export and in the settings.
make_log "$work/long.csv" 2500000
rm -f "$settings" "$work/long.dif"
start "$work/long.csv" || exit 1
click 35 110  # untick channel 3
xdotool mousemove --sync $((left + 140)) $((top + 155)) click 1 \
  mousemove $((left + 35)) $((top + 50)) click 1 \
  mousemove $((left + 255)) $((top + 155)) click 1 \
  mousemove $((left + 140)) $((top + 155)) click 1
finish
expect_eq "Convert during the clicks ends with 0" 0 "$status"
expect_contains "channel 1 stayed in use" "$settings" $'[Channel1]\r\nEnabled = 1'
expect_contains "no queued Reset ticked channel 3 again" "$settings" $'[Channel3]\r\nEnabled = 0'
head -c 200 "$work/long.dif" | grep -qF $'TUPLES\r\n0,3\r\n' && pass "the export has the columns of the moment of Convert" ||
  fail "the export's columns changed: $(head -c 120 "$work/long.dif" | tr '\r\n' '  ')"

# 5. Qt keeps no dialog state of its own: nothing beyond the export and the settings file.
found=$(find "$HOME" -name 'QtProject.conf' 2>/dev/null)
[ -z "$found" ] && pass "no QtProject.conf" || fail "Qt wrote $found"

echo "$passes passed, $failures failed"
[ "$failures" -eq 0 ]
