#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks to build and test Korvane.
# Only missing packages are installed, so a second call costs nothing.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libfuse3-dev fuse3
  libssl-dev zlib1g-dev libxxhash-dev  # digests for checksum files
  libicu-dev  # case folding for the order of names
  libblkid-dev  # file-system UUIDs: a clone is not the disk it was copied from
  nlohmann-json3-dev python3-jsonschema  # korvane-cli's report and its schema
  locales libc-l10n
  qt6-base-dev qt6-svg-dev qt6-translations-l10n
  xvfb fonts-noto-cjk fonts-liberation
  trayer  # a notification area on Xvfb for the tray tests
  openbox xdotool  # a window manager and a user's clicks for the desktop test
  libsystemd-dev  # sd-bus: the login manager's sleep lock
  # A private bus with recording stand-ins for the desktop's services.
  dbus-daemon dbus-bin python3-dbus python3-gi
  # Installing and packaging: menu icons rendered from the drawing, the
  # validators of the desktop files, the manual reader, and what cpack's
  # Debian generator calls (file, dpkg-shlibdeps).
  librsvg2-bin desktop-file-utils appstream man-db file dpkg-dev
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

sudo_cmd=()
[ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The tests read glibc's Chinese error texts and format numbers and times
# under these locales, also under ones whose codeset is not UTF-8.
need_locales=()
for entry in "zh_CN.UTF-8 UTF-8" "en_US.UTF-8 UTF-8" "zh_CN.GBK GBK" "fr_FR ISO-8859-1"; do
  name=${entry% *}
  # locale -a writes the codeset in lower case without '-': zh_CN.gbk, en_US.utf8.
  base=${name%%.*}
  codeset=${name#"$base"}
  codeset=${codeset#.}
  codeset=${codeset//-/}
  locale -a 2>/dev/null | grep -qx "$base${codeset:+.${codeset,,}}" || need_locales+=("$entry")
done
if [ ${#need_locales[@]} -gt 0 ]; then
  echo "setup: generating locales ${need_locales[*]}"
  for entry in "${need_locales[@]}"; do
    "${sudo_cmd[@]}" sed -i "s/^# *\(${entry//./\\.}\)\$/\1/" /etc/locale.gen
  done
  "${sudo_cmd[@]}" locale-gen >/dev/null
fi
