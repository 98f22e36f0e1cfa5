#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Proves that the README's two commands work on a freshly installed minimal
# Debian 12: builds one with debootstrap (--variant=minbase) in a temporary
# folder, clones the commit under test into it and runs, as root in a chroot:
#   1. noqt   the board library, kousb and kousb-sim without Qt, with their tests
#   2. test   ./scripts/test.sh (it installs the rest of the packages itself)
#   3. run    ./scripts/run.sh under QT_QPA_PLATFORM=offscreen until the window
#             waits in its event loop
#   4. debs   the three Debian packages built by CPack (kousb, the window,
#             python3-kousb), installed with apt into a second fresh system,
#             their programs started and the Python module imported there
#
#   scripts/check-fresh-debian.sh [--repo DIR] [--ref REF] [--skip-noqt] [--skip-debs] [--ccache] [--keep]
#
# --repo      the git repository or worktree to take the commit from (default:
#             the one this script is in)
# --ref       the commit to test (default HEAD; uncommitted changes are not seen)
# --skip-noqt / --skip-debs   leave a step out (for trial runs; CI runs all)
# --ccache    compile through ccache, installed into the system for the
#             purpose, its cache kept with the base system (for CI: later
#             runs then compile in a fraction of the time)
# --keep      keep the system afterwards (the logs are always kept)
#
# The mirror is the one this machine's apt uses. The base system is cached as
# a debootstrap tarball, and downloaded .debs in an apt archive, under
# $UDM_FRESH_CACHE (default /var/cache/udm-fresh-debian); delete it to start
# from the network again. Needs root (debootstrap, chroot, mounts).
set -euo pipefail
top="$(cd "$(dirname "$0")/.." && pwd)"
suite=bookworm
repo="$top" ref=HEAD skip_noqt=0 skip_debs=0 ccache=0 keep=0
while [ $# -gt 0 ]; do
  case "$1" in
    --repo) [ $# -ge 2 ] || { echo "fresh: --repo needs a folder" >&2; exit 2; }; repo="$2"; shift ;;
    --ref) [ $# -ge 2 ] || { echo "fresh: --ref needs a commit" >&2; exit 2; }; ref="$2"; shift ;;
    --skip-noqt) skip_noqt=1 ;;
    --skip-debs) skip_debs=1 ;;
    --ccache) ccache=1 ;;
    --keep) keep=1 ;;
    -h|--help) sed -n '2,/^set -euo/{/^set -euo/d;s/^# \{0,1\}//;p}' "$0"; exit 0 ;;
    *) echo "fresh: unknown option '$1' (see --help)" >&2; exit 2 ;;
  esac
  shift
done

if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || { echo "fresh: needs root (debootstrap, chroot)" >&2; exit 1; }
  exec sudo UDM_FRESH_CACHE="${UDM_FRESH_CACHE:-}" "$0" "$@"
fi

say() { echo "fresh: $*"; }
started=$SECONDS
commit="$(git -C "$repo" rev-parse --verify "$ref^{commit}")"
[ -z "$(git -C "$repo" status --porcelain --untracked-files=no)" ] || [ "$ref" != HEAD ] ||
  say "note: uncommitted changes are not part of the check"
"$top/scripts/install-deps.sh" debootstrap >/dev/null

# The first Debian mirror in this machine's apt sources that serves the
# suite: one-line .list entries and deb822 .sources files both count.
mirrorFromSources() {
  local f
  for f in /etc/apt/sources.list /etc/apt/sources.list.d/*.list; do
    [ -r "$f" ] || continue
    awk -v s="$suite" '$1 == "deb" { i = 2; if ($2 ~ /^\[/) while (i <= NF && $i !~ /\]$/) i++;
                        if ($2 ~ /^\[/) i++; if ($(i + 1) == s) { print $i; exit } }' "$f"
  done
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -r "$f" ] || continue
    # Stanzas are separated by blank lines; fields may repeat in any order.
    awk -v s="$suite" 'function flush() { if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " s " ") && uris != "")
                                           { split(uris, u, " "); print u[1]; found = 1 } types = suites = uris = "" }
        /^[ \t]*#/ { next }
        /^[ \t]*$/ { flush(); if (found) exit; next }
        tolower($1) == "types:"  { $1 = ""; types = $0 }
        tolower($1) == "uris:"   { $1 = ""; uris = $0 }
        tolower($1) == "suites:" { $1 = ""; suites = $0 }
        END { if (!found) flush() }' "$f"
  done
}
mirror="$(mirrorFromSources | head -n 1)"
[ -n "$mirror" ] || { echo "fresh: no '$suite' source found in /etc/apt/sources.list{,.d}" >&2; exit 1; }
mirror="${mirror%/}"

arch="$(dpkg --print-architecture)"
cache="${UDM_FRESH_CACHE:-/var/cache/udm-fresh-debian}"
key="$(printf '%s %s %s minbase' "$mirror" "$suite" "$arch" | sha256sum | cut -c1-12)"
tarball="$cache/$suite-$arch-minbase-$key.tgz"
mkdir -p "$cache/archives/partial" "$cache/ccache"

work="$(mktemp -d /tmp/udm-fresh.XXXXXX)"
logs="$(mktemp -d /tmp/udm-fresh-logs.XXXXXX)"
root="$work/root"
second="$work/second"
roots=("$root" "$second")

# Unmounts everything under ROOT, deepest first; false if something stays.
unmountUnder() {
  local root="$1" m
  for m in $(awk -v r="$root/" 'index($2 "/", r) == 1 { print $2 }' /proc/self/mounts | sort -r); do
    umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true
  done
  ! awk -v r="$root/" 'index($2 "/", r) == 1 { found = 1 } END { exit !found }' /proc/self/mounts
}

# Ends the processes still running inside ROOT (a step cut short), by id.
stopProcessesIn() {
  local root="$1" sig p pids
  for sig in TERM KILL; do
    pids=()
    for p in /proc/[0-9]*; do
      [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && pids+=("${p#/proc/}")
    done
    [ ${#pids[@]} -gt 0 ] || return 0
    kill -s "$sig" "${pids[@]}" 2>/dev/null || true
    sleep 2
  done
}

cleanup() {
  local rc=$? r leftover=0
  trap - EXIT INT TERM
  for r in "${roots[@]}"; do
    stopProcessesIn "$r"
    unmountUnder "$r" || { leftover=1; echo "fresh: could not unmount everything under $r; left in place" >&2; }
  done
  if [ "$keep" -eq 1 ] || [ "$leftover" -eq 1 ]; then
    say "kept: $work"
  else
    rm -rf "$work"
  fi
  say "logs in $logs; total time $((SECONDS - started)) s"
  exit "$rc"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Runs one step: says what it does, logs to logs/NAME.log, and on failure
# names the step, shows the log's tail and stops with its exit code. The step
# runs as a job of its own so that `set -e` holds inside it.
step() {
  local name="$1" what="$2" t0=$SECONDS rc=0
  shift 2
  say "[$name] $what ..."
  "$@" >"$logs/$name.log" 2>&1 &
  wait $! || rc=$?
  if [ "$rc" -ne 0 ]; then
    echo "fresh: step '$name' FAILED (exit $rc): $what" >&2
    [ -z "${hint[$name]:-}" ] || echo "fresh: ${hint[$name]}" >&2
    echo "----- last 40 lines of $logs/$name.log -----" >&2
    tail -n 40 "$logs/$name.log" >&2
    exit "$rc"
  fi
  say "[$name] done in $((SECONDS - t0)) s"
}
declare -A hint=(
  [noqt]="without Qt, 'cmake -S . -B build-noqt' must build the board library, kousb and kousb-sim and ctest must run their tests"
  [run]="the window did not reach its event loop (a crash, a missing package or a start-up that hangs)"
)

# A fresh minimal system in ROOT, ready for apt-get, with proc/sys/dev mounted.
# Downloaded packages go to the shared archive so that a second run reuses them.
newSystem() {
  local root="$1"
  if [ ! -s "$tarball" ]; then
    debootstrap --variant=minbase --make-tarball="$tarball.part" "$suite" "$work/tarball-tmp" "$mirror"
    mv "$tarball.part" "$tarball"
  fi
  debootstrap --variant=minbase --unpack-tarball="$tarball" "$suite" "$root" "$mirror"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  # No services start inside a chroot.
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod +x "$root/usr/sbin/policy-rc.d"
  mount -t proc proc "$root/proc"
  mount -t sysfs sysfs "$root/sys"
  mount --rbind /dev "$root/dev"
  mount --make-rslave "$root/dev"
  mount --bind "$cache/archives" "$root/var/cache/apt/archives"
  rm -f "$root/etc/apt/apt.conf.d/docker-clean"
}

launcher=()
inRoot() {
  local root="$1"
  shift
  chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM=dumb DEBIAN_FRONTEND=noninteractive \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "${launcher[@]}" "$@"
}

# ccache in the system, its cache on the host.
installCcache() {
  mkdir -p "$root/var/cache/ccache"
  mount --bind "$cache/ccache" "$root/var/cache/ccache"
  inRoot "$root" bash -ec 'apt-get update -qq && apt-get install -y -qq --no-install-recommends ccache'
}

cloneCommit() {
  local dest="$1/home/udm"
  git init -q "$dest"
  git -C "$repo" push -q "$dest" "$commit:refs/heads/under-test"
  git -C "$dest" checkout -q under-test
  git -C "$dest" log -1 --format='%h %s'
}

# The no-Qt build: only the compiler, CMake and libusb in the system.
noqtBuild() {
  inRoot "$root" bash -ec '
    . /home/udm/scripts/packages.sh
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${noqt_packages[@]}"
    cd /home/udm
    cmake -S . -B build-noqt
    cmake --build build-noqt -j"$(nproc)"
    ctest --test-dir build-noqt --output-on-failure --no-tests=error -j"$(nproc)"'
}

# Waits until the window's main thread sleeps in poll() (Qt's event loop)
# for a few seconds running; fails if it exits first or never gets there.
# Where /proc/PID/syscall is not available, being alive 10 s after start counts.
runWindow() {
  inRoot "$root" bash -c '
    cd /home/udm
    QT_QPA_PLATFORM=offscreen ./scripts/run.sh & pid=$!
    trap "kill \$pid 2>/dev/null" EXIT
    waiting=0 seen=0
    for _ in $(seq 600); do
      sleep 1
      if ! kill -0 "$pid" 2>/dev/null; then wait "$pid"; echo "the window exited (status $?) before its event loop ran"; exit 1; fi
      case "$(readlink "/proc/$pid/exe")" in */usb-device-manager) seen=$((seen + 1)) ;; *) continue ;; esac
      nr=$(cut -d" " -f1 "/proc/$pid/syscall" 2>/dev/null || true)
      case "$nr" in 7|271) waiting=$((waiting + 1)) ;; "") [ "$seen" -lt 10 ] || waiting=3 ;; *) waiting=0 ;; esac
      if [ "$waiting" -ge 3 ]; then echo "the window waits in its event loop"; exit 0; fi
    done
    echo "the window did not reach its event loop in 10 minutes"; exit 1'
}

# The three packages of the build, installed with apt into a second fresh
# system (so that their dependencies must come from the archive), then the
# programs started from /usr/bin and the Python module driving a simulated
# board from Debian's Python.
debs() {
  inRoot "$root" bash -ec 'cd /home/udm/build && rm -f ./*.deb && cpack -G DEB >/dev/null && ls ./*.deb
    [ -f python3-kousb_*.deb ] || { echo "no python3-kousb package was built"; exit 1; }'
  newSystem "$second"
  cp "$root"/home/udm/build/*.deb "$second/tmp/"
  inRoot "$second" bash -ec '
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends /tmp/*.deb
    usb-device-manager --version
    kousb --version
    kousb-sim --version
    export KOUSB_SIM_DIR=/tmp/sim KOUSB_USB_BACKEND=off
    kousb-sim demo
    kousb list
    python3 -c "import kousb; b = kousb.board(1); print(kousb.__version__, b.name, b.read(\"I2C\", 0x48, 2).hex())"
    ls /usr/share/usb-device-manager/examples
    zcat /usr/share/man/man1/kousb.1.gz | head -n 1'
}

say "mirror $mirror, suite $suite; commit $(git -C "$repo" log -1 --format='%h %s' "$commit")"
say "logs in $logs"
step base "make a minimal $suite system (debootstrap --variant=minbase, cached in $cache)" newSystem "$root"
installedCount() { inRoot "$root" dpkg-query -W -f='${db:Status-Abbrev}\n' | grep -c '^ii'; }
base_count=$(installedCount)
step clone "clone the commit under test into the system" cloneCommit "$root"
if [ "$ccache" -eq 1 ]; then
  step ccache "install ccache into the system (--ccache; cache in $cache/ccache)" installCcache
  launcher=(CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_DIR=/var/cache/ccache)
fi
if [ "$skip_noqt" -eq 0 ]; then
  step noqt "build and test without Qt (only cmake make g++ pkg-config libusb-1.0-0-dev)" noqtBuild
else
  say "[noqt] skipped (--skip-noqt)"
fi
step test "./scripts/test.sh (installs the packages, builds, runs the whole suite)" \
  inRoot "$root" bash -c 'cd /home/udm && ./scripts/test.sh'
step run "QT_QPA_PLATFORM=offscreen ./scripts/run.sh until the window waits in its event loop" runWindow
count=$(installedCount)
if [ "$skip_debs" -eq 0 ]; then
  step debs "build the three Debian packages, apt install them into a second fresh system, start the programs" debs
else
  say "[debs] skipped (--skip-debs)"
fi
say "passed: $(grep -Eo '[0-9]+% tests passed.*' "$logs/test.log" | tail -n 1)"
say "packages installed: $count ($base_count in the base system, $((count - base_count)) added by the steps$([ "$ccache" -eq 0 ] || echo ", ccache among them"))"
