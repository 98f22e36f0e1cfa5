#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the tool and starts it; plugs two demo boards first if there are no
# simulated boards yet. The build says one line, and its output only when it
# fails.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
echo "run: building (scripts/build.sh) ..."
if ! "$top/scripts/build.sh" >"$log" 2>&1; then
  cat "$log" >&2
  echo "run: the build failed; the window is not started" >&2
  exit 1
fi
sim="$top/build/tools/kousb-sim/kousb-sim"
if [ "$("$sim" list | tail -n +2 | wc -l)" -eq 0 ]; then
  echo "run: no simulated boards yet; plugging the two demo boards:"
  "$sim" demo >/dev/null
  "$sim" list
fi
rm -f "$log"
exec "$top/build/src/app/usb-device-manager" "$@"
