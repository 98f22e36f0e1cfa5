#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Takes the README's pictures of the window, one per page, into
# docs/screenshots/ (an X server at 96 dpi) and docs/screenshots/hidpi/ (at
# 192 dpi, where the window is drawn at twice the size): the window under
# Xvfb with the two demo boards and Debian's default fonts. The build
# installs Xvfb and xauth (scripts/packages.sh).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/build.sh"
export KOUSB_SIM_DIR="$(mktemp -d)" KOUSB_USB_BACKEND=off
trap 'rm -rf "$KOUSB_SIM_DIR"' EXIT
"$top/build/tools/kousb-sim/kousb-sim" demo >/dev/null
shoot() {  # DPI SCREEN FOLDER
  mkdir -p "$3"
  QT_QPA_PLATFORM=xcb xvfb-run -a -s "-dpi $1 -screen 0 $2x24" "$top/build/tools/udm-screenshots/udm-screenshots" "$3"
}
shoot 96 1366x768 "$top/docs/screenshots"
shoot 192 2560x1600 "$top/docs/screenshots/hidpi"
