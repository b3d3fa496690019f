#!/usr/bin/env bash
# The manual pages: each formats without a warning from man, and none has fallen behind its
# program: every option the program's --help names, and every environment variable the
# programs read, is described.
# Usage: man_pages_test.sh MAN_DIR KORVEX_CLI KORVEX_QFW KORVEX_PANEL
set -uo pipefail
man_dir=$1
declare -A help_of=([korvex-cli]=$2 [korvex-qfw]=$3 [korvex-panel]=$4)
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# The page as a person reads it, hyphens and all: what the option tables are compared with.
rendered() { MANWIDTH=200 man -l -Tutf8 "$1" 2>/dev/null | sed 's/\xe2\x80\x90/-/g; s/\x08.//g'; }

for page in korvex korvex-cli korvex-qfw korvex-panel; do
  file=$man_dir/$page.1
  [[ -f $file ]] || { fail "$page.1 is missing"; continue; }
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$file" 2>&1 >/dev/null)
  [[ -z $warnings ]] || fail "$page.1 formats with warnings:"$'\n'"$warnings"
  [[ $(rendered "$file" | head -1) == *"${page^^}(1)"* ]] || fail "$page.1 has no title line"
done

for program in "${!help_of[@]}"; do
  text=$(rendered "$man_dir/$program.1")
  options=$("${help_of[$program]}" --help | grep -oE -- '--[a-z][a-z-]*' | sort -u)
  [[ -n $options ]] || fail "$program --help names no options"
  for option in $options; do
    grep -qF -- "$option" <<<"$text" || fail "$program.1 does not describe $option"
  done
done

for page in korvex korvex-cli; do
  text=$(rendered "$man_dir/$page.1")
  for variable in KORVEX_COM KORVEX_TEST_MARKER KORVEX_LOG_DIR; do
    grep -q "^ *$variable" <<<"$text" || fail "$page.1 does not describe $variable"
  done
done

# Every exit code korvex-cli --help lists has its entry.
text=$(rendered "$man_dir/korvex-cli.1")
for code in $("${help_of[korvex-cli]}" --help | sed -n 's/^  \([0-9]\)  .*/\1/p'); do
  grep -qE "^ +$code +[A-Z]" <<<"$text" || fail "korvex-cli.1 does not describe exit code $code"
done

((failures == 0)) && echo "all manual pages pass"
exit $((failures > 0))
