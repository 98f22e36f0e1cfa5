#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs what the build and its tests need (scripts/packages.sh), then
# configures and builds into build/.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
. "$top/scripts/packages.sh"
"$top/scripts/install-deps.sh" "${build_packages[@]}"
cmake -S "$top" -B "$top/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$top/build" -j"$(nproc)"
