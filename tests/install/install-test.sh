#!/usr/bin/env bash
# "cmake --install" into a temporary prefix: every file in place, the
# installed korvane-cli runs, and the desktop entry, the software-centre
# record and the manuals pass their validators.
#   install-test.sh BUILD_DIR GUI(ON|OFF)
set -euo pipefail
build=$1 gui=$2
source "$(dirname "$0")/expected-files.sh"

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null

for file in $(expected_files); do
  [ -f "$prefix/$file" ] || fail "not installed: $file"
done

version=$("$prefix/bin/korvane-cli" --version) || fail "korvane-cli --version: status $?"
[[ $version == Korvane3.1.1.7* ]] || fail "korvane-cli --version printed: $version"
# A prefix other than the configured one is not the install location, so
# the settings stay beside the program there.
"$prefix/bin/korvane-cli" --help | grep -qF "设置文件: $prefix/bin/KORVANE.INI" ||
  fail "installed korvane-cli does not name $prefix/bin/KORVANE.INI"

for page in "$prefix"/share/man/man1/*.1.gz; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  [ -z "$warnings" ] || fail "$page: $warnings"
done

if [ "$gui" = ON ]; then
  desktop-file-validate "$prefix/share/applications/korvane.desktop" ||
    fail "desktop-file-validate"
  appstreamcli validate --no-net "$prefix/share/metainfo/org.korvane.Korvane.metainfo.xml" ||
    fail "appstreamcli validate"
fi
echo "install test: $(expected_files | wc -w) files in place, validators passed"
