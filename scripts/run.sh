#!/usr/bin/env bash
# Builds the tool and starts it; plugs two demo boards first if there are no
# simulated boards yet.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/build.sh"
sim="$top/build/tools/kousb-sim/kousb-sim"
if [ "$("$sim" list | tail -n +2 | wc -l)" -eq 0 ]; then
  echo "run: no simulated boards yet; plugging the two demo boards:"
  "$sim" demo >/dev/null
  "$sim" list
fi
exec "$top/build/src/app/usb-device-manager" "$@"
