#!/usr/bin/env bash
# Installs what the build needs, then configures and builds into build/.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/install-deps.sh" cmake make g++ pkg-config qtbase5-dev libqwt-qt5-dev libqt5svg5-dev libusb-1.0-0-dev
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build" -j"$(nproc)"
