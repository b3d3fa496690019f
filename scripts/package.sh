#!/usr/bin/env bash
# Makes the Debian package from the default preset's build (scripts/build.sh or
# scripts/test.sh builds it first) and proves it: its dependencies are computed and can be
# met on this Debian release, and the programs it installs run from where it puts them. The
# package is installed into a throwaway root with dpkg, so this machine is left as it was.
# The package ends up in build/default/package/.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/default
out=$build/package

fail() {
  echo "PACKAGE CHECK FAILED: $*" >&2
  exit 1
}

[[ -f $build/CPackConfig.cmake ]] || fail "configure and build the default preset first"
rm -rf "$out"
cpack --config "$build/CPackConfig.cmake" -B "$out" >"$build/cpack.log" 2>&1 ||
  { cat "$build/cpack.log" >&2; fail "cpack failed"; }
debs=("$out"/korvex_*_amd64.deb)
[[ ${#debs[@]} -eq 1 && -f ${debs[0]} ]] || fail "no single korvex_<version>_amd64.deb in $out"
deb=${debs[0]}
echo "Package: $deb"

depends=$(dpkg-deb --field "$deb" Depends)
echo "Depends: $depends"
[[ $depends == *libqt6widgets6* ]] || fail "the dependencies name no Qt runtime"
# apt resolves the dependencies as "apt-get install ./korvex_*.deb" would, changing nothing.
apt-get install --simulate "./$deb" >"$out/apt-simulate.log" 2>&1 ||
  { cat "$out/apt-simulate.log" >&2; fail "apt cannot install the package"; }

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root/var/lib/dpkg/info" "$root/var/lib/dpkg/updates"
touch "$root/var/lib/dpkg/status"
# The empty root holds none of the libraries the package depends on: those are this
# machine's, checked by apt above (dpkg's complaints about them go to the log).
dpkg --root="$root" --force-depends --install "$deb" >"$out/dpkg-install.log" 2>&1 ||
  { cat "$out/dpkg-install.log" >&2; fail "dpkg --install failed"; }

usr=$root/usr
for file in bin/korvex bin/korvex-cli bin/korvex-qfw bin/korvex-panel \
  share/korvex/demo/demo_type2_v123.qfw share/korvex/demo/demo_type2_v124.qfw \
  share/doc/korvex/README.md share/applications/korvex.desktop share/mime/packages/korvex.xml \
  share/icons/hicolor/48x48/apps/korvex.png share/bash-completion/completions/korvex-cli \
  share/bash-completion/completions/korvex-qfw share/man/man1/korvex-panel.1; do
  [[ -e $usr/$file ]] || fail "the package does not install /usr/$file"
done
if ldd "$usr/bin/korvex" | grep -q "not found"; then
  ldd "$usr/bin/korvex" >&2
  fail "the window program misses libraries"
fi

"$usr/bin/korvex-cli" check "$usr/share/korvex/demo/demo_type2_v124.qfw" ||
  fail "the installed korvex-cli refuses the installed demo file"
"$usr/bin/korvex-cli" --help >/dev/null || fail "the installed korvex-cli --help failed"
page=$(MANPATH=$usr/share/man man -w korvex-cli) || fail "man -w korvex-cli finds no page"
[[ $page == "$usr/share/man/man1/korvex-cli.1"* ]] || fail "man -w korvex-cli gives $page"
echo "man -w korvex-cli: ${page#"$root"}"
echo "The package installs and its programs run."
