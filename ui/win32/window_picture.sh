#!/usr/bin/env bash
# Takes docs/window-windows.png: the real quorvel.exe under Wine on an Xvfb display, for the
# nine-channel sample log, with the frame Wine draws itself (as Windows does).
# Usage: ui/win32/window_picture.sh [BUILD_DIR] (default build-windows), from the repository root.
set -euo pipefail
build=${1:-build-windows}
work=$(mktemp -d)
export WINEPREFIX=$work/prefix WINEDEBUG=-all
trap 'wineserver -k 2>/dev/null; kill $server 2>/dev/null; rm -rf "$work"' EXIT
exec 3< <(exec Xvfb -displayfd 1 -screen 0 1024x768x24 -nolisten tcp 2>/dev/null)
server=$!
read -r -t 20 number <&3
export DISPLAY=:$number
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
cp examples/track_day.csv "$work/track_day.csv"
wine "$build/quorvel.exe" "Z:${work//\//\\}\\track_day.csv" >/dev/null 2>&1 &
geometry=
for _ in $(seq 120); do
  geometry=$(xwininfo -root -tree | awk '/"Quorvel V0.65"/ { print $(NF - 1) }')
  [ -n "$geometry" ] && break
  sleep 0.5
done
sleep 2  # painted
import -window root -crop "$geometry" +repage docs/window-windows.png
echo "docs/window-windows.png: $geometry"
