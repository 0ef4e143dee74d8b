#!/usr/bin/env bash
# Whole-process figures of the window:
#   - start-up: from starting the process to the first painted frame
#     (median of several runs of app_start_probe);
#   - resident memory of the real program, idle, a few seconds after start;
#   - CPU time the idle program uses over 60 seconds, as a share of one core.
#
# Usage: bench/app_idle.sh [build-folder] [--offscreen] [--idle-seconds N]
# By default it runs under a private Xvfb server; --offscreen uses Qt's
# offscreen platform instead. The program runs from a copy in a temporary
# folder, so no settings file beside it is read or written.
set -euo pipefail

build=build
platform=xvfb
idle_seconds=60
while (($#)); do
  case "$1" in
    --offscreen) platform=offscreen ;;
    --idle-seconds) idle_seconds="$2"; shift ;;
    *) build="$1" ;;
  esac
  shift
done

cd "$(dirname "$0")/.."
probe="$build/bench/app_start_probe"
program="$build/app/vipcheckin"
for f in "$probe" "$program"; do
  [ -x "$f" ] || { echo "missing $f (build the targets app_start_probe and vipcheckin)" >&2; exit 1; }
done

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
cp "$probe" "$program" "$work/"
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"

if [ "$platform" = xvfb ]; then
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  xvfb_pid=$!
  for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
  export DISPLAY=":$(head -n1 "$work/display")"
  export QT_QPA_PLATFORM=xcb
else
  export QT_QPA_PLATFORM=offscreen
fi

# Start-up. The first run warms the page cache and the font cache.
"$work/app_start_probe" >/dev/null
runs=()
for _ in $(seq 9); do
  start=$(date +%s%N)
  frame=$("$work/app_start_probe" | awk '/first_frame_ns/ {print $2}')
  runs+=($(((frame - start) / 1000)))
done
startup_us=$(printf '%s\n' "${runs[@]}" | sort -n | sed -n 5p)
printf 'start-up to first frame (%s): median %d.%03d ms (runs in us: %s)\n' \
  "$platform" $((startup_us / 1000)) $((startup_us % 1000)) "${runs[*]}"

# Idle: the real program, left alone.
"$work/vipcheckin" >/dev/null 2>&1 &
app_pid=$!
sleep 5
rss_kib=$(awk '/^VmRSS:/ {print $2}' "/proc/$app_pid/status")
anon_kib=$(awk '/^RssAnon:/ {print $2}' "/proc/$app_pid/status")
file_kib=$(awk '/^RssFile:/ {print $2}' "/proc/$app_pid/status")
printf 'resident memory when idle: %d.%01d MiB (%d KiB: %d KiB anonymous, %d KiB mapped files such as libraries and fonts)\n' \
  $((rss_kib / 1024)) $((rss_kib % 1024 * 10 / 1024)) "$rss_kib" "$anon_kib" "$file_kib"

# CPU time of every thread of the process, in ns (schedstat has no tick
# granularity; each of Qt's threads counts).
cpu_ns() { cat /proc/"$app_pid"/task/*/schedstat | awk '{sum += $1} END {printf "%d", sum}'; }
before=$(cpu_ns)
t0=$(date +%s%N)
sleep "$idle_seconds"
after=$(cpu_ns)
t1=$(date +%s%N)
awk -v used="$((after - before))" -v elapsed="$((t1 - t0))" 'BEGIN {
  printf "CPU when idle: %.1f ms in %.1f s = %.4f %% of one core\n", used / 1e6, elapsed / 1e9, 100 * used / elapsed }'
