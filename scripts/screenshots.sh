#!/usr/bin/env bash
# Renders the windows with the project's rendering utility and refreshes the
# README's pictures in docs/ from them.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target korvane_render_windows >/dev/null
shots=$(mktemp -d)
trap 'rm -rf "$shots"' EXIT
QT_QPA_PLATFORM=offscreen build/bin/korvane_render_windows "$shots" >/dev/null
mkdir -p docs
cp "$shots/sequence-1-selection.png" docs/selection.png
cp "$shots/sequence-2-progress.png" docs/progress.png
cp "$shots/sequence-4-subtotal.png" docs/subtotal.png
echo "screenshots: docs/selection.png docs/progress.png docs/subtotal.png"
