#!/usr/bin/env bash
# The bash completion of korvex-cli and korvex-qfw, called as bash calls it: COMP_WORDS split
# the way bash splits them ("FSK=0x" is three words), the candidates read from COMPREPLY.
# Usage: completion_test.sh COMPLETION_DIR KORVEX_CLI KORVEX_QFW
set -uo pipefail
completion_dir=$1 cli=$2 qfw=$3
source "$completion_dir/korvex-cli"
source "$completion_dir/korvex-qfw"
failures=0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
files=$work/files
mkdir -p "$files/folder"
touch "$files/panel.qfw" "$files/OLD.QFW" "$files/with blank.qfw" "$files/raw.bin"
cd "$files" || exit 1
# COM 4 is named through the environment.
export KORVEX_COM4=/dev/null
# A korvex-cli whose port list does not depend on this machine, in the real list's format.
stub_cli=$work/stub/korvex-cli
mkdir "$work/stub"
cat >"$stub_cli" <<'STUB'
#!/bin/sh
[ "$1" = ports ] || exit 2
echo "/dev/pts/3    KORVEX_COM2"
echo "/dev/ttyUSB0  usb-FTDI_FT232R_A600-if00-port0  [no permission]"
echo "This user may not open the ports marked [no permission]. Add your user to the group."
STUB
chmod +x "$stub_cli"

# check FUNCTION EXPECTED WORD...: completing the last WORD gives exactly EXPECTED
# (candidates sorted, joined by "|").
check() {
  local function=$1 expected=$2
  shift 2
  COMP_WORDS=("$@")
  COMP_CWORD=$(($# - 1))
  COMPREPLY=()
  "$function"
  local got
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | LC_ALL=C sort | paste -sd'|')
  if [[ $got != "$expected" ]]; then
    echo "FAIL: ${*@Q}: expected '$expected', got '$got'"
    failures=$((failures + 1))
  fi
}

c=_korvex_cli
check $c "OLD.QFW|check|folder|panel.qfw|ports|restart|test|with blank.qfw" "$cli" ""
check $c "panel.qfw" "$cli" pa
check $c "--help" "$cli" --h
check $c "OLD.QFW|folder|panel.qfw|with blank.qfw" "$cli" check ""
check $c "" "$cli" check panel.qfw ""
ports="/dev/pts/3|/dev/ttyUSB0|4"
check $c "$ports" "$stub_cli" restart ""
check $c "OLD.QFW|folder|panel.qfw|with blank.qfw" "$cli" test ""
check $c "$ports" "$stub_cli" test panel.qfw ""
check $c "/dev/ttyUSB0" "$stub_cli" test panel.qfw /dev/tty
check $c "" "$cli" ports ""
# A Program run: FILE PORT [hasla komunikacji] [FSK option]; "--" options do not count.
check $c "$ports" "$stub_cli" panel.qfw ""
check $c "$ports" "$stub_cli" --verify=readback panel.qfw ""
check $c "FSK=0x|FSK=0xONLY|FSK=0xSKIP|hasla" "$cli" panel.qfw 4 ""
check $c "komunikacji" "$cli" panel.qfw 4 hasla ""
check $c "FSK=0x|FSK=0xONLY|FSK=0xSKIP" "$cli" panel.qfw 4 hasla komunikacji ""
check $c "" "$cli" panel.qfw 4 FSK=0x1234 ""
# bash puts back only the part after the "=".
check $c "0x|0xONLY|0xSKIP" "$cli" panel.qfw 4 FSK = ""
check $c "0xSKIP" "$cli" panel.qfw 4 FSK = 0xS

q=_korvex_qfw
check $q "info|pack|sample-program|unpack|verify" "$qfw" ""
check $q "--help" "$qfw" --
check $q "OLD.QFW|folder|panel.qfw|with blank.qfw" "$qfw" info ""
check $q "OLD.QFW|folder|panel.qfw|with blank.qfw" "$qfw" verify panel.qfw ""
check $q "--force|--program|--st" "$qfw" unpack panel.qfw --
check $q "--keep-header|--keep-st-checksum" "$qfw" pack --keep
check $q "0|1|2|3|4|5|6|7|8" "$qfw" pack --type ""
check $q "sol" "$qfw" pack --signature s
check $q "raw.bin" "$qfw" pack --program r
check $q "" "$qfw" pack --version ""
check $q "--seed" "$qfw" sample-program --

# The real korvex-cli's port list is read too: the port named by KORVEX_COM4 is among it.
COMP_WORDS=("$cli" restart "")
COMP_CWORD=2
_korvex_cli
if [[ " ${COMPREPLY[*]} " != *" /dev/null "* ]]; then
  echo "FAIL: the ports of korvex-cli ports are not offered: ${COMPREPLY[*]}"
  failures=$((failures + 1))
fi

# Every option korvex-qfw --help names is offered by some command.
offered=""
for command in pack unpack sample-program ""; do
  COMP_WORDS=("$qfw" $command -)
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  _korvex_qfw
  offered+=" ${COMPREPLY[*]} "
done
for option in $("$qfw" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u); do
  if [[ $offered != *" $option "* ]]; then
    echo "FAIL: korvex-qfw --help names $option, which completion never offers"
    failures=$((failures + 1))
  fi
done

((failures == 0)) && echo "all completion cases pass"
exit $((failures > 0))
