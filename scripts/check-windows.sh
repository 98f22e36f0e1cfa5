#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Compiles the Windows-only code paths of the application shell with MinGW
# (syntax and types only: there is no Windows Qt to link against here). The
# posix-thread variant, since the code uses std::mutex as any current Windows
# tool chain provides it.
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
"$top/scripts/build.sh" >/dev/null
"$top/scripts/install-deps.sh" mingw-w64
q=/usr/include/x86_64-linux-gnu/qt5
flags=(-std=c++17 -fsyntax-only -Wall -Wextra -fPIC
       -isystem "$q" -isystem "$q/QtCore" -isystem "$q/QtGui" -isystem "$q/QtWidgets" -isystem /usr/include/qwt
       -I"$top/src/app" -I"$top/src/ui" -I"$top/src/usb" -I"$top/build/src/ui/udm_ui_autogen/include")
for f in src/app/myqapplication.cpp src/app/devicemessagefilter.cpp src/app/highdpi.cpp src/app/main.cpp; do
  if ! out=$(x86_64-w64-mingw32-g++-posix "${flags[@]}" "$top/$f" 2>&1); then
    echo "$out" >&2
    echo "windows syntax check: $f FAILED" >&2
    status=1
  else
    echo "windows syntax check: $f ok"
  fi
done
exit "${status:-0}"
