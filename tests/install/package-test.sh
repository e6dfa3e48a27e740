#!/usr/bin/env bash
# The Debian package made by cpack: its name, control fields and file list,
# and the korvane-cli inside it checking a small folder. The package is
# only taken apart, never installed on the machine that runs the tests.
#   package-test.sh BUILD_DIR GUI(ON|OFF) VERSION
set -euo pipefail
build=$1 gui=$2 version=$3
source "$(dirname "$0")/expected-files.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cpack --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
  { cat "$work/cpack.log"; fail "cpack"; }
deb="$work/korvane_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "no $(basename "$deb"), only: $(ls "$work")"

field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Section)" = utils ] || fail "Section: $(field Section)"
[ "$(field Recommends)" = "fonts-noto-cjk, fonts-liberation, qt6-translations-l10n" ] ||
  fail "Recommends: $(field Recommends)"
# Computed by dpkg-shlibdeps from the programs' libraries.
[[ $(field Depends) == *libc6* ]] || fail "Depends: $(field Depends)"
if [ -x "$build/bin/korvane" ]; then
  [[ $(field Depends) == *libqt6widgets6* ]] || fail "Depends without Qt: $(field Depends)"
fi
[ "$(dpkg-deb -I "$deb" | grep -c '^  ')" -ge 3 ] || fail "no long description"

listing=$(dpkg-deb -c "$deb" | awk '{print $6}')
for file in $(expected_files); do
  grep -qxF "./usr/$file" <<<"$listing" || fail "not in the package: /usr/$file"
done

dpkg-deb -x "$deb" "$work/root"
mkdir -p "$work/tree/sub"
printf 'one' >"$work/tree/a.txt"
printf 'two' >"$work/tree/sub/中文 b.txt"
log=$("$work/root/usr/bin/korvane-cli" --quiet -S --open "$work/tree" 2>"$work/err") ||
  fail "packaged korvane-cli: status $?: $(cat "$work/err")"
[ "$(grep -c '文件正确.' <<<"$log")" = 2 ] || fail "packaged korvane-cli logged: $log"
echo "package test: $(basename "$deb") holds $(expected_files | wc -w) expected files and runs"
