# The files an installation holds, relative to its prefix. Sourced by the
# install and package tests with $build (the build tree) and $gui (ON/OFF).
expected_files() {
  echo bin/korvane-cli
  # The window program is in whenever the build made it.
  [ -x "$build/bin/korvane" ] && echo bin/korvane
  echo share/man/man1/korvane-cli.1.gz
  echo share/doc/korvane/README.md share/doc/korvane/LICENSE share/doc/korvane/copyright
  [ "$gui" = ON ] || return 0
  echo share/man/man1/korvane.1.gz
  echo share/applications/korvane.desktop share/metainfo/org.korvane.Korvane.metainfo.xml
  echo share/icons/hicolor/scalable/apps/korvane.svg
  for size in 16 22 24 32 48 64 128 256; do
    echo "share/icons/hicolor/${size}x${size}/apps/korvane.png"
  done
}

fail() {
  echo "FAILED: $*" >&2
  exit 1
}
