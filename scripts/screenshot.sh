#!/usr/bin/env bash
# Takes docs/screenshot.png: regdiag-sim under Xvfb after Read All Registers.
# Needs xvfb, xdotool and imagemagick (apt-get install xvfb xdotool imagemagick).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build="${BUILD_DIR:-build}"
cd "$build/src"
xvfb-run -a -s "-screen 0 1400x800x24" bash -c '
  ./regdiag-sim & pid=$!
  sleep 3
  wid=$(xdotool search --name "Sensor Hub" | head -1)
  eval "$(xdotool getwindowgeometry --shell "$wid")"
  xdotool mousemove --window "$wid" 684 600 click 1   # Read All Registers
  sleep 4
  import -window root /tmp/regdiag-full.png
  kill $pid
  convert /tmp/regdiag-full.png -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "'"$root"'/docs/screenshot.png"
'
echo "wrote docs/screenshot.png"
