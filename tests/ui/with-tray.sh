#!/usr/bin/env bash
# Runs a test program on a virtual display with a notification area: Xvfb
# and trayer, a small tray that takes XEmbed icons, and openbox, a window
# manager, where installed (KORVANE_WINDOW_MANAGER then names it). Where
# Xvfb or trayer is missing the program runs as it is and its tray tests
# skip themselves (or fail under CI=true).
#   with-tray.sh PROGRAM [ARGS...]
set -u
if ! command -v Xvfb >/dev/null || ! command -v trayer >/dev/null; then
  echo "with-tray: Xvfb or trayer missing; running without a tray" >&2
  exec "$@"
fi
work=$(mktemp -d)
cleanup() {
  kill $wm "$tray" "$xvfb" 2>/dev/null
  wait $wm "$tray" "$xvfb" 2>/dev/null
  rm -rf "$work"
}
# Xvfb picks a free display itself and writes its number to fd 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
tray=
wm=
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
if [ ! -s "$work/display" ]; then
  cat "$work/xvfb.log" >&2
  echo "with-tray: Xvfb did not start" >&2
  kill "$xvfb" 2>/dev/null
  exit 1
fi
export DISPLAY=":$(head -n1 "$work/display")"
trap cleanup EXIT
if command -v openbox >/dev/null; then
  openbox --sm-disable >"$work/openbox.log" 2>&1 &
  wm=$!
  export KORVANE_WINDOW_MANAGER=openbox
  sleep 0.3
fi
trayer --edge bottom --align right --widthtype request --height 32 >"$work/trayer.log" 2>&1 &
tray=$!
# Icons go to the tray, not to a desktop bus that nobody serves here.
unset DBUS_SESSION_BUS_ADDRESS
QT_QPA_PLATFORM=xcb "$@"
