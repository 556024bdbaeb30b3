#!/usr/bin/env bash
# Frame rate, start-up time and peak memory of the real program, drawn by
# Mesa's software renderer under Xvfb, next to two GL screen hacks of the
# XScreenSaver collection (atlantis, glschool) as a yardstick on the same
# machine. Run by hand; not part of CI (the numbers depend on the machine
# and its load).
#
#   bench/fps.sh [FRAMES]          FRAMES per run, default 600
#
# Environment:
#   MARIVELLE   the program (default: the first of build-bench/marivelle,
#               build/marivelle, build/app/main/marivelle that exists)
#   SIZES       window sizes, default "1280x720 1920x1080"
#   HACKS       hacks to compare with, default "atlantis glschool"
#   REPEAT      runs per case, default 1; the fastest one counts (the others
#               lost to whatever else the machine was doing)
#   RUN_TIMEOUT seconds after which a run counts as hung, default 600
#   KEEP        set to keep the scratch folder (settings, logs) afterwards
#   PASS_TIMES  set to 0 to leave out the per-pass table of the default scene
#
# Installs xscreensaver-gl and xscreensaver-gl-extra when a hack is missing
# (apt-get, through sudo when not root), and needs Xvfb, a C compiler and
# GNU time (/usr/bin/time).
#
# Method. Every size gets its own Xvfb server whose screen is exactly that
# size, so the program's window (--size WxH) and a hack drawing on the root
# window cover the same pixels. Each case runs REPEAT times for FRAMES frames:
#   - the program with --frames FRAMES, which reports the time from the start
#     of main to the end of the first frame (scene load and GL start-up
#     included) and the frame rate over the frames after the first;
#   - a hack with -root -delay 0 (no pause between frames) and a small
#     preloaded library that counts its buffer swaps, reports the same two
#     numbers the same way (from when the library is loaded, just before the
#     hack's main) and ends the hack after FRAMES swaps.
# The hacks' own on-screen frame counters are not used. At the end, the
# default scene runs once more at the first size with --pass-times: each
# pass's draw calls, vertices, pixels written and time (glFinish around every
# pass, so the sum is a little above a normal frame). Peak memory (maximum
# resident set) and CPU use come from /usr/bin/time -v over the whole run.
# Program settings go to an INI file under a scratch XDG_CONFIG_HOME, so the
# user's own settings are neither read nor changed: "default" is an empty
# settings file (20 fish, 50 bubbles), "crowded" sets FishCount=100 and
# BubbleCount=1000, and "half" is the default scene drawn at half the size and
# stretched (--render-scale 50).
set -euo pipefail

FRAMES=${1:-600}
SIZES=${SIZES:-"1280x720 1920x1080"}
HACKS=${HACKS:-"atlantis glschool"}
ROOT=$(cd "$(dirname "$0")/.." && pwd)
RUN_TIMEOUT=${RUN_TIMEOUT:-600}
REPEAT=${REPEAT:-1}
HACK_DIR=/usr/libexec/xscreensaver

case $FRAMES in '' | *[!0-9]* | 0 | 1) echo "usage: $0 [FRAMES >= 2]" >&2; exit 2 ;; esac
case $REPEAT in '' | *[!0-9]* | 0) echo "fps.sh: REPEAT must be a positive number" >&2; exit 2 ;; esac

if [ -z "${MARIVELLE:-}" ]; then
  for candidate in build-bench/marivelle build/marivelle build/app/main/marivelle; do
    if [ -x "$ROOT/$candidate" ]; then MARIVELLE=$ROOT/$candidate; break; fi
  done
fi
if [ -z "${MARIVELLE:-}" ] || [ ! -x "$MARIVELLE" ]; then
  echo "fps.sh: no program found; build it (./build.sh build) or set MARIVELLE" >&2
  exit 1
fi

for tool in Xvfb cc /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "fps.sh: $tool is missing" >&2; exit 1; }
done

missing=0
for hack in $HACKS; do [ -x "$HACK_DIR/$hack" ] || missing=1; done
if [ $missing -eq 1 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo=sudo
  echo "Installing xscreensaver-gl xscreensaver-gl-extra"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
    xscreensaver-gl xscreensaver-gl-extra >/dev/null
fi

SCRATCH=$(mktemp -d "${TMPDIR:-/tmp}/marivelle-fps.XXXXXX")
XVFB_PID=""
cleanup() {
  if [ -n "$XVFB_PID" ]; then kill "$XVFB_PID" 2>/dev/null || true; wait "$XVFB_PID" 2>/dev/null || true; fi
  if [ -z "${KEEP:-}" ]; then rm -rf "$SCRATCH"; else echo "Scratch folder kept: $SCRATCH"; fi
}
trap cleanup EXIT

# Counts a hack's buffer swaps (GLX, or EGL as the newer hacks use); prints
# the program's report line and ends the process after FRAME_LIMIT swaps.
cat >"$SCRATCH/swapcount.c" <<'EOF'
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdio.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

static double started, first;
static long frames, limit;

static double Now(void) {
    struct timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

__attribute__((constructor)) static void Begin(void) {
    started = Now();
    const char* s = getenv("FRAME_LIMIT");
    limit = s ? atol(s) : 0;
}

static void Swapped(void) {
    double now = Now();
    if (++frames == 1) first = now;
    if (limit > 0 && frames >= limit) {
        double ms = (now - first) * 1000;
        printf("%ld frames; first frame %.0f ms after start; then %.1f fps over %.0f ms\n", frames,
               (first - started) * 1000, ms > 0 ? (frames - 1) * 1000 / ms : 0.0, ms);
        fflush(stdout);
        _exit(0);
    }
}

void glXSwapBuffers(void* dpy, unsigned long drawable) {
    static void (*real)(void*, unsigned long);
    if (!real) real = (void (*)(void*, unsigned long))dlsym(RTLD_NEXT, "glXSwapBuffers");
    real(dpy, drawable);
    Swapped();
}

unsigned eglSwapBuffers(void* dpy, void* surface) {
    static unsigned (*real)(void*, void*);
    if (!real) real = (unsigned (*)(void*, void*))dlsym(RTLD_NEXT, "eglSwapBuffers");
    unsigned ok = real(dpy, surface);
    Swapped();
    return ok;
}
EOF
cc -O2 -shared -fPIC -o "$SCRATCH/swapcount.so" "$SCRATCH/swapcount.c" -ldl

# Settings files: $XDG_CONFIG_HOME/<Company>/<Title> <Major>.conf
CONF_NAME="Tarnwick Software/3D Marivelle 4.conf"
mkdir -p "$SCRATCH/default/$(dirname "$CONF_NAME")" "$SCRATCH/crowded/$(dirname "$CONF_NAME")"
: >"$SCRATCH/default/$CONF_NAME"
printf 'FishCount=100\nBubbleCount=1000\n' >"$SCRATCH/crowded/$CONF_NAME"

start_xvfb() {  # WxH; sets DISPLAY and XVFB_PID
  local fifo=$SCRATCH/displayfd
  rm -f "$fifo"
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp +extension GLX 3>"$fifo" 2>"$SCRATCH/xvfb.log" &
  XVFB_PID=$!
  local number
  read -r -t 20 number <"$fifo" || { echo "fps.sh: Xvfb did not start" >&2; cat "$SCRATCH/xvfb.log" >&2; exit 1; }
  export DISPLAY=":$number"
}

stop_xvfb() {
  kill "$XVFB_PID" 2>/dev/null || true
  wait "$XVFB_PID" 2>/dev/null || true
  XVFB_PID=""
}

RESULTS=$SCRATCH/results
: >"$RESULTS"

# run_case NAME SIZE COMMAND...: REPEAT runs of one case; the fastest one
# goes to the results as "name size first-frame-ms fps peak-MB cpu".
run_case() {
  local name=$1 size=$2
  shift 2
  local out=$SCRATCH/out.txt timing=$SCRATCH/time.txt best="" best_fps=0 run rc line start fps rss cpu
  for ((run = 1; run <= REPEAT; ++run)); do
    rc=0
    /usr/bin/time -v -o "$timing" timeout -k 5 "$RUN_TIMEOUT" "$@" >"$out" 2>&1 || rc=$?
    line=$(grep -E 'first frame [0-9]+ ms after start; then [0-9.]+ fps' "$out" | tail -n 1 || true)
    if [ $rc -ne 0 ] || [ -z "$line" ]; then
      echo "fps.sh: $name at $size failed (exit $rc):" >&2
      sed 's/^/    /' "$out" >&2
      continue
    fi
    start=$(sed -E 's/.*first frame ([0-9]+) ms.*/\1/' <<<"$line")
    fps=$(sed -E 's/.*then ([0-9.]+) fps.*/\1/' <<<"$line")
    rss=$(awk -F': ' '/Maximum resident set size/ {printf "%.0f", $2 / 1024}' "$timing")
    cpu=$(awk -F': ' '/Percent of CPU/ {print $2}' "$timing")
    printf '  %-18s %-10s first frame %6s ms  %8s fps  %5s MB  CPU %s\n' "$name" "$size" "$start" "$fps" "$rss" "$cpu"
    if [ -z "$best" ] || awk -v a="$fps" -v b="$best_fps" 'BEGIN { exit !(a + 0 > b + 0) }'; then
      best="$start $fps $rss $cpu"
      best_fps=$fps
    fi
  done
  printf '%s %s %s\n' "$name" "$size" "${best:-- - - -}" >>"$RESULTS"
}

echo "Program: $MARIVELLE"
echo "Frames per run: $FRAMES, best of $REPEAT; $(nproc) CPUs; load average now$(uptime | sed 's/.*load average://')"
for size in $SIZES; do
  case $size in *[!0-9x]* | x* | *x | *x*x*) echo "fps.sh: bad size $size" >&2; exit 2 ;; esac
  start_xvfb "$size"
  echo "Xvfb $DISPLAY at $size:"
  for settings in default crowded; do
    run_case "marivelle-$settings" "$size" \
      env HOME="$SCRATCH" XDG_CONFIG_HOME="$SCRATCH/$settings" XDG_RUNTIME_DIR="$SCRATCH" \
      "$MARIVELLE" --frames "$FRAMES" --size "$size"
  done
  run_case "marivelle-half" "$size" \
    env HOME="$SCRATCH" XDG_CONFIG_HOME="$SCRATCH/default" XDG_RUNTIME_DIR="$SCRATCH" \
    "$MARIVELLE" --frames "$FRAMES" --size "$size" --render-scale 50
  for hack in $HACKS; do
    run_case "$hack" "$size" \
      env HOME="$SCRATCH" XSCREENSAVER_WINDOW= LD_PRELOAD="$SCRATCH/swapcount.so" FRAME_LIMIT="$FRAMES" \
      "$HACK_DIR/$hack" -root -delay 0
  done
  stop_xvfb
done

if [ "${PASS_TIMES:-1}" != 0 ]; then
  size=${SIZES%% *}
  start_xvfb "$size"
  echo
  env HOME="$SCRATCH" XDG_CONFIG_HOME="$SCRATCH/default" XDG_RUNTIME_DIR="$SCRATCH" \
    timeout -k 5 "$RUN_TIMEOUT" "$MARIVELLE" --frames "$FRAMES" --size "$size" --pass-times |
    grep -v 'frames; first frame' || echo "fps.sh: the per-pass run failed" >&2
  stop_xvfb
fi

echo
awk -v hacks="$HACKS" '
  { name[NR] = $1; size[NR] = $2; start[NR] = $3; fps[NR] = $4; rss[NR] = $5; cpu[NR] = $6
    if ($4 != "-") rate[$1 " " $2] = $4 }
  END {
    n = split(hacks, h, " ")
    printf "%-18s %-10s %12s %9s %9s %6s", "case", "size", "1st frame ms", "fps", "peak MB", "CPU"
    for (k = 1; k <= n; ++k) printf " %13s", "x " h[k]
    printf "\n"
    for (i = 1; i <= NR; ++i) {
      printf "%-18s %-10s %12s %9s %9s %6s", name[i], size[i], start[i], fps[i], rss[i], cpu[i]
      for (k = 1; k <= n; ++k) {
        ref = rate[h[k] " " size[i]]
        if (name[i] ~ /^marivelle/ && fps[i] != "-" && ref != "" && ref > 0) printf " %13.2f", fps[i] / ref
        else printf " %13s", ""
      }
      printf "\n"
    }
  }' "$RESULTS"
echo "(x <hack>: the program's frame rate divided by the hack's at the same size)"
