#!/usr/bin/env bash
# Takes docs/screenshot.png, regdiag-sim under Xvfb after Read All Registers,
# and docs/tooltip.png, the fields of SYS_CTRL in its value box's tooltip once
# 0A is typed into it. Needs xvfb, xdotool and imagemagick
# (apt-get install xvfb xdotool imagemagick).
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
  convert /tmp/regdiag-full.png -crop "${WIDTH}x${HEIGHT}+${X}+${Y}" +repage "'"$root"'/docs/screenshot.png"
  xdotool mousemove --window "$wid" 740 253 click 1   # the value box of SYS_CTRL (row 1)
  xdotool key ctrl+a type 0a
  xdotool mousemove --window "$wid" 730 250 sleep 0.2 mousemove --window "$wid" 742 254
  sleep 2
  import -window root /tmp/regdiag-tip.png
  kill $pid
  convert /tmp/regdiag-tip.png -crop "940x250+$X+$((Y + 155))" +repage "'"$root"'/docs/tooltip.png"
'
echo "wrote docs/screenshot.png and docs/tooltip.png"
