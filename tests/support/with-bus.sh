#!/usr/bin/env bash
# Runs a test program with a private D-Bus daemon as both its session and
# its system bus, served by bus-recorder.py (a notification service and a
# login manager that record their calls). The record's path is in
# KORVANE_BUS_RECORD. Where dbus-daemon or python3-dbus is missing the
# program runs without it and its bus tests skip themselves (or fail under
# CI=true).
#   with-bus.sh PROGRAM [ARGS...]
set -u
here=$(cd "$(dirname "$0")" && pwd)
# Debian's own Python, where python3-dbus and python3-gi are installed, even
# when another python3 comes first on PATH.
py=/usr/bin/python3
[ -x "$py" ] || py=python3
if ! command -v dbus-daemon >/dev/null || ! "$py" -c 'import dbus, gi' 2>/dev/null; then
  echo "with-bus: dbus-daemon or python3-dbus missing; running without a bus" >&2
  exec "$@"
fi
work=$(mktemp -d)
dbus-daemon --session --nofork --print-address=3 3>"$work/address" 2>"$work/daemon.log" &
daemon=$!
recorder=
cleanup() {
  kill $recorder "$daemon" 2>/dev/null
  wait $recorder "$daemon" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
for _ in $(seq 100); do [ -s "$work/address" ] && break; sleep 0.05; done
address=$(head -n1 "$work/address")
export KORVANE_BUS_RECORD="$work/record"
"$py" "$here/bus-recorder.py" "$address" "$KORVANE_BUS_RECORD" 2>"$work/recorder.log" &
recorder=$!
for _ in $(seq 100); do grep -qx ready "$KORVANE_BUS_RECORD" 2>/dev/null && break; sleep 0.05; done
if ! grep -qx ready "$KORVANE_BUS_RECORD" 2>/dev/null; then
  cat "$work/recorder.log" >&2
  echo "with-bus: the recorder did not start" >&2
  exit 1
fi
export DBUS_SESSION_BUS_ADDRESS="$address" DBUS_SYSTEM_BUS_ADDRESS="$address"
"$@"
