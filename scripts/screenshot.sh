#!/usr/bin/env bash
# Takes docs/screenshot.png: the window under Xvfb with the two demo boards.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/build.sh"
"$top/scripts/install-deps.sh" xvfb xauth imagemagick
export KOUSB_SIM_DIR="$(mktemp -d)"
trap 'rm -rf "$KOUSB_SIM_DIR"' EXIT
"$top/build/tools/kousb-sim/kousb-sim" demo >/dev/null
xvfb-run -a -s "-screen 0 640x480x24" bash -c '
  "$0/build/src/app/usb-device-manager" & app=$!
  sleep 3
  import -window root -crop 461x403+0+0 "$0/docs/screenshot.png"
  kill $app' "$top"
echo "screenshot: $top/docs/screenshot.png"
