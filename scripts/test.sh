#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Builds the tool and runs the whole test suite headless; non-zero on any failure.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/build.sh"
cd "$top/build"
QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)" "$@"
