#!/usr/bin/env bash
# Takes the README's pictures of the window, one per page, into
# docs/screenshots/: the window under Xvfb with the two demo boards and
# Debian's default fonts.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/build.sh"
"$top/scripts/install-deps.sh" xvfb xauth
export KOUSB_SIM_DIR="$(mktemp -d)" KOUSB_USB_BACKEND=off
trap 'rm -rf "$KOUSB_SIM_DIR"' EXIT
"$top/build/tools/kousb-sim/kousb-sim" demo >/dev/null
mkdir -p "$top/docs/screenshots"
xvfb-run -a -s "-screen 0 640x480x24" "$top/build/tools/udm-screenshots/udm-screenshots" "$top/docs/screenshots"
