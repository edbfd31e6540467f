#!/usr/bin/env bash
# Tests the Debian package made from a build folder, on this machine:
# builds the programs and the .deb, installs it with apt-get, checks that
# exactly the expected files are where they belong, starts the installed
# regdiag headless and checks that it runs and reads the register map beside
# itself, runs the installed regdiag-cli on its simulated bridge (it must
# find the map beside itself and link no Qt), its man page and its bash
# completion, then purges the package and checks that its files are gone.
#
#   scripts/package-test.sh BUILD_DIR
#
# Needs root or sudo (apt-get), cpack with dpkg-shlibdeps and file, and
# strace. Refuses to run where regdiag is already installed.
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$(pwd)
build_dir=$(realpath "${1:?usage: scripts/package-test.sh BUILD_DIR}")
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

fail() {
  echo "package-test: FAIL: $*" >&2
  exit 1
}
step() { echo "package-test: $*"; }

for tool in cpack dpkg-shlibdeps file strace timeout; do
  command -v "$tool" >/dev/null || fail "$tool is missing"
done
if dpkg-query -W -f='${Status}' regdiag 2>/dev/null | grep -q "install ok installed"; then
  fail "regdiag is installed already; remove it first (this test installs and purges it)"
fi

work=$(mktemp -d)
chmod 755 "$work"  # apt-get reads the .deb as its own unprivileged user
installed=0
cleanup() {
  if [ "$installed" -eq 1 ]; then
    $sudo apt-get remove --purge -y regdiag >/dev/null 2>&1 || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

step "building the programs and the package from $build_dir"
cmake --build "$build_dir" --target regdiag regdiag-sim regdiag-cli regdiag-cli-man-and-completion
(cd "$work" && cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work" >"$work/cpack.log") ||
  { cat "$work/cpack.log" >&2; fail "cpack could not make the package"; }
debs=("$work"/regdiag_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  fail "expected one regdiag_*.deb, found: ${debs[*]}"
fi
deb=${debs[0]}
dpkg-deb --field "$deb" Package Section Depends
[ "$(dpkg-deb --field "$deb" Package)" = regdiag ] || fail "the package is not named regdiag"
[ "$(dpkg-deb --field "$deb" Section)" = electronics ] || fail "the package is not in section electronics"
dpkg-deb --field "$deb" Depends | grep -q libusb-1.0 || fail "the dependencies do not name libusb"
dpkg-deb --field "$deb" Depends | grep -q fonts-dejavu-extra || fail "the dependencies do not name the log label's font"
dpkg-deb --field "$deb" Depends | grep -q libpugixml || fail "the dependencies do not name the XML library of regdiag-cli import"

step "installing $(basename "$deb")"
installed=1
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y "$deb"

# The programs' folder: lib/regdiag or lib/<multiarch>/regdiag under /usr.
program=$(dpkg -L regdiag | grep -E '^/usr/lib/([^/]+/)?regdiag/regdiag$' || true)
[ -n "$program" ] || fail "no /usr/lib/.../regdiag/regdiag in the package"
folder=$(dirname "$program")

step "checking the installed files (programs in $folder)"
expected=$(
  cat <<EOF | sort
$folder/regdiag
$folder/regdiag-cli
$folder/regdiag-sim
$folder/tabdefs.csv
/usr/bin/regdiag
/usr/bin/regdiag-cli
/usr/bin/regdiag-sim
/usr/share/applications/regdiag.desktop
/usr/share/bash-completion/completions/regdiag-cli
/usr/share/icons/hicolor/64x64/apps/regdiag.png
/usr/share/icons/hicolor/scalable/apps/regdiag.svg
/usr/lib/udev/rules.d/70-regdiag.rules
/usr/share/man/man1/regdiag-cli.1
EOF
)
# Everything the package owns that is not a folder: no tests, benchmarks or
# libraries may be among it.
actual=$(dpkg -L regdiag | while read -r path; do
  if [ ! -d "$path" ] || [ -L "$path" ]; then echo "$path"; fi
done | sort)
[ "$actual" = "$expected" ] || {
  diff <(echo "$expected") <(echo "$actual") >&2 || true
  fail "the package's files differ from the expected ones (< expected, > installed)"
}
for name in regdiag regdiag-sim regdiag-cli; do
  [ -x "$folder/$name" ] || fail "$folder/$name is not executable"
  [ "$(readlink -f "/usr/bin/$name")" = "$folder/$name" ] || fail "/usr/bin/$name does not lead to $folder/$name"
done
cmp -s "$folder/tabdefs.csv" "$source_dir/resources/tabdefs.csv" || fail "$folder/tabdefs.csv is not the sample map"
cmp -s /usr/lib/udev/rules.d/70-regdiag.rules "$source_dir/packaging/70-regdiag.rules" || fail "the udev rule differs"
grep -qx 'Exec=regdiag' /usr/share/applications/regdiag.desktop || fail "the desktop entry does not start regdiag"
[ "$(command -v regdiag)" = /usr/bin/regdiag ] || fail "regdiag on the PATH is $(command -v regdiag), not /usr/bin/regdiag"

# The program takes no arguments and has no bridge here. Whether or not it
# finds its map, it keeps running (without the map it waits on a message
# box), so the exit status alone proves only that it starts and does not
# crash: it must still be running when timeout stops it (status 124). That
# it read the map beside itself, started through the link on the PATH, is
# seen in its file accesses.
step "starting the installed regdiag for 5 seconds"
set +e
(cd /tmp && QT_QPA_PLATFORM=offscreen strace -f -qq -e trace=openat -e status=successful -o "$work/trace" \
  timeout 5 regdiag >"$work/run.log" 2>&1)
status=$?
set -e
[ "$status" -eq 124 ] || {
  cat "$work/run.log" >&2
  fail "regdiag ended by itself with status $status instead of running until stopped"
}
grep -q "\"$folder/tabdefs.csv\", O_RDONLY" "$work/trace" || {
  grep tabdefs "$work/trace" >&2 || true
  fail "regdiag did not open $folder/tabdefs.csv"
}

# The register name is found only in the map beside the program.
step "running the installed regdiag-cli on its simulated bridge"
cli_out=$(cd /tmp && regdiag-cli --sim read SYS_CTRL 2>"$work/cli.err") || {
  cat "$work/cli.err" >&2
  fail "regdiag-cli --sim read SYS_CTRL failed"
}
echo "$cli_out" | grep -qx '0x01 SYS_CTRL 0x[0-9A-F][0-9A-F]' || fail "regdiag-cli printed '$cli_out'"
[ ! -s "$work/cli.err" ] || fail "regdiag-cli wrote to stderr: $(cat "$work/cli.err")"
if ldd "$folder/regdiag-cli" | grep -i qt >&2; then fail "regdiag-cli links a Qt library"; fi
MANWIDTH=80 man regdiag-cli 2>/dev/null | grep -q 'names  *the register names of the map' ||
  fail "man regdiag-cli does not show its commands"
names=$(bash -c 'source /usr/share/bash-completion/completions/regdiag-cli
  COMP_WORDS=(regdiag-cli read SYS_C) COMP_CWORD=2; _regdiag_cli; echo "${COMPREPLY[*]}"')
[ "$names" = SYS_CTRL ] || fail "the bash completion offers '$names' for regdiag-cli read SYS_C"

step "purging the package"
$sudo env DEBIAN_FRONTEND=noninteractive apt-get remove --purge -y regdiag
installed=0
dpkg-query -W -f='${Status}' regdiag 2>/dev/null | grep -q "install ok installed" && fail "regdiag is still installed"
while read -r path; do
  if [ -e "$path" ] || [ -L "$path" ]; then
    fail "$path is still there after the purge"
  fi
done <<<"$expected"
[ ! -e "$folder" ] || fail "$folder is still there after the purge"

step "PASS"
