#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Installs the udev rule that lets users open the boards, and applies it to
# boards already plugged in. Run as root. --plugdev uses the plugdev group
# instead of the seat user (uaccess); extra vendor:product pairs (as in
# KOUSB_USB_IDS) get lines of their own.
#   sudo packaging/install-udev-rule.sh [--plugdev] [vvvv:pppp ...]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
target=/etc/udev/rules.d/70-kousb.rules
plugdev=0
pairs=()
for arg in "$@"; do
  case "$arg" in
    --plugdev) plugdev=1 ;;
    [0-9a-fA-F][0-9a-fA-F][0-9a-fA-F][0-9a-fA-F]:[0-9a-fA-F][0-9a-fA-F][0-9a-fA-F][0-9a-fA-F]) pairs+=("${arg,,}") ;;
    *) echo "install-udev-rule: not vendor:product or --plugdev: $arg" >&2; exit 2 ;;
  esac
done
if [ "$(id -u)" -ne 0 ]; then
  echo "install-udev-rule: run as root (sudo $0 $*)" >&2
  exit 1
fi
tmp="$(mktemp)"
trap 'rm -f "$tmp"' EXIT
if [ "$plugdev" -eq 1 ]; then
  # Use the plugdev lines: uncomment them, comment out the uaccess ones.
  sed -e 's/^\(SUBSYSTEM.*uaccess"\)$/#\1/' -e 's/^#\(SUBSYSTEM.*plugdev"\)$/\1/' "$here/70-kousb.rules" >"$tmp"
  action='MODE="0660", GROUP="plugdev"'
else
  cp "$here/70-kousb.rules" "$tmp"
  action='TAG+="uaccess"'
fi
for pair in "${pairs[@]}"; do
  echo "SUBSYSTEM==\"usb\", ENV{DEVTYPE}==\"usb_device\", ATTR{idVendor}==\"${pair%%:*}\", ATTR{idProduct}==\"${pair##*:}\", $action" >>"$tmp"
done
install -m 0644 "$tmp" "$target"
udevadm control --reload-rules
udevadm trigger --subsystem-match=usb --action=change
echo "install-udev-rule: installed $target; unplug and plug in boards that were refused"
