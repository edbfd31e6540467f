#!/usr/bin/env bash
# regdiag-cli's bash completion and man page as they are installed: made from
# the command table, they offer what the program takes, the register names
# of the map in use included.
#   completion_and_man.sh COMPLETION MAN_PAGE PROGRAM_FOLDER MAP
set -euo pipefail
source "$1"
PATH=$3:$PATH
compopt() { :; }  # outside a completion there are no options to set
# What Tab offers after the words ("regdiag-cli read SYS_C").
offers() {
  read -ra COMP_WORDS <<<"$1"
  [[ $1 == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  _regdiag_cli
  echo "${COMPREPLY[*]}"
}
status=0
while IFS='|' read -r words want; do
  got=$(offers "$words")
  [[ $got == "$want" ]] || { echo "after '$words' Tab offers '$got', not '$want'" >&2; status=1; }
done <<TABLE
regdiag-cli wa|watch
regdiag-cli --sim-fault i2|i2c-error
regdiag-cli --sim --sim-fault nack@BUCK2_V|nack@BUCK2_VOUT
regdiag-cli --sim read 0x01 SYS_C|SYS_CTRL
regdiag-cli --map $4 read |CONFIG LIMITS STATUS
regdiag-cli dump --format c|csv
regdiag-cli write --|--verify
regdiag-cli write SYS_CTRL |
regdiag-cli diff li|live
regdiag-cli import $4 -|--peripheral -o
regdiag-cli import -o $4|$4
TABLE
MANWIDTH=80 man -l "$2" | grep -q "names  *the register names of the map" || { echo "man page without names" >&2; status=1; }
exit $status
