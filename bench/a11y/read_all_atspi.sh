#!/usr/bin/env bash
# Read All of 256 named registers in regdiag-sim with accessibility on, timed
# from outside by an AT-SPI client (read_all_atspi.py) that polls the log
# pane's character count every 10 ms, as a screen reader's user meets it:
# an X server (Xvfb), the xcb platform, a session bus with the accessibility
# bus (at-spi-bus-launcher) and Qt's accessibility bridge always on.
#
#   bench/a11y/read_all_atspi.sh PROGRAM [RUNS]     # PROGRAM: a built regdiag-sim
#
# Needs: xvfb, dbus (dbus-run-session), at-spi2-core, python3-gi and
# gir1.2-atspi-2.0 (apt-get install -y xvfb dbus at-spi2-core python3-gi
# gir1.2-atspi-2.0). Prints the client's lines (one per run) on stdout.
set -euo pipefail
program=$(realpath "$1")
runs="${2:-5}"
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The program reads its map from its own folder: a copy of it beside a map
# that names all 256 registers (43 pages of six), as the window benchmark's.
cp "$program" "$work/"
python3 - "$work/tabdefs.csv" <<'PY'
import sys
lines = ["TITLEBAR,regdiag benchmark", "TITLE,All 256 registers"]
for address in range(256):
    if address % 6 == 0:
        lines.append(f"TABNAME,P{address // 6:02d}")
    lines.append(f"REG,&H{address:02X},REG_{address:02X}")
    lines.append("BITS,B7,B6,B5,B4,B3,B2,B1,B0")
open(sys.argv[1], "w", newline="").write("\r\n".join(lines) + "\r\n")
PY

display=":$((90 + RANDOM % 100))"
Xvfb "$display" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
trap 'kill $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X${display#:}" ] && break; sleep 0.1; done

export DISPLAY="$display" QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 NO_AT_BRIDGE=0
dbus-run-session -- bash -c '
  /usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 &
  launcher=$!
  sleep 0.5
  "$1/$(basename "$2")" >/dev/null 2>&1 &
  app=$!
  /usr/bin/python3 "$3/read_all_atspi.py" "$(basename "$2")" "$4"
  status=$?
  kill $app $launcher 2>/dev/null
  wait $app 2>/dev/null
  exit $status
' bash "$work" "$program" "$here" "$runs"
