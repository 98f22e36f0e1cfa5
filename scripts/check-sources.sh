#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Holds the tracked sources to two rules, naming each file that breaks one:
# every source file carries the MIT licence line near its top, and every
# C++ file is laid out as .clang-format says (Debian's clang-format).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
cd "$top"
"$top/scripts/install-deps.sh" clang-format git >/dev/null
status=0
while IFS= read -r file; do
  case "$file" in
    fuzz/corpus/* | docs/screenshots/*) continue ;;
    *.cpp | *.h | *.c | *.h.in | *.py | *.pyi | *.sh | *.cmake | CMakeLists.txt | */CMakeLists.txt | *.ui | *.qrc | \
      *.supp | *.rules | *.desktop | *.1 | .ci/run | .gitignore | .clang-format | */.clang-format | \
      firmware/chip/fx2registers.txt) ;;
    *) continue ;;
  esac
  if ! head -n 4 "$file" | grep -q "SPDX-License-Identifier: MIT"; then
    echo "check-sources: $file has no 'SPDX-License-Identifier: MIT' line at its top" >&2
    status=1
  fi
done < <(git ls-files)
while IFS= read -r file; do
  if ! clang-format --dry-run -Werror "$file" >/dev/null 2>&1; then
    echo "check-sources: $file is not laid out as .clang-format says (clang-format -i $file)" >&2
    status=1
  fi
done < <(git ls-files '*.cpp' '*.h' '*.c')
[ $status -eq 0 ] && echo "check-sources: every source file has its licence line and its layout"
exit $status
