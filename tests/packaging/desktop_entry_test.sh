#!/usr/bin/env bash
# The window's desktop integration: the entry and the file type are valid and agree with
# each other (the entry's MimeType is the type the XML defines, the type's icon and the
# entry's icon are drawn), the entry hands the double-clicked file over as the window's one
# parameter, and every icon is drawn at the size of the theme folder it lies in.
# Usage: desktop_entry_test.sh PACKAGING_LINUX_DIR ICON_DIR
set -uo pipefail
linux_dir=$1 icon_dir=$2
desktop=$linux_dir/korvex.desktop mime=$linux_dir/korvex-mime.xml
failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}
key() { sed -n "s/^$1=//p" "$desktop"; }

out=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate: $out"
[[ -z $out ]] || fail "desktop-file-validate: $out"
out=$(xmllint --noout "$mime" 2>&1) || fail "xmllint: $out"

[[ $(key Exec) == "korvex %f" ]] || fail "Exec is '$(key Exec)', not 'korvex %f'"
type=$(xmllint --xpath 'string(//*[local-name()="mime-type"]/@type)' "$mime")
[[ $(key MimeType) == "$type;" ]] || fail "MimeType '$(key MimeType)' is not the type '$type'"
glob=$(xmllint --xpath 'string(//*[local-name()="glob"]/@pattern)' "$mime")
[[ $glob == "*.qfw" ]] || fail "the file type's glob is '$glob'"
type_icon=$(xmllint --xpath 'string(//*[local-name()="icon"]/@name)' "$mime")

for size in 16 22 24 32 48 64 128 256; do
  for icon in "apps/$(key Icon)" "mimetypes/$type_icon"; do
    png=$icon_dir/${size}x$size/$icon.png
    if [[ ! -f $png ]]; then
      fail "$png is missing"
      continue
    fi
    [[ $(file -b "$png") == "PNG image data, $size x $size,"* ]] ||
      fail "$png is not a $size x $size PNG: $(file -b "$png")"
  done
done

((failures == 0)) && echo "the desktop entry, file type and icons pass"
exit $((failures > 0))
