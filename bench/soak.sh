#!/usr/bin/env bash
# A long run of the saver role: does anything grow? The program runs full
# screen (-s) on a private 1280x720 Xvfb with Mesa's software renderer, its
# sound going to a private PulseAudio server's null sink. Every minute this
# samples its resident memory, open file descriptors and threads from /proc,
# and the frames drawn and GL textures and display lists held as the program
# itself prints them (--stats 60). At the end: the table, the memory slope
# after the first minute (least squares, MB per hour) and whether any count
# grew. Run by hand; not part of CI.
#
#   bench/soak.sh [MINUTES]       default 60
#
# Environment:
#   MARIVELLE   the program (default: build/marivelle)
#   KEEP        set to keep the scratch folder (logs, samples) afterwards
#   SLOPE_LIMIT largest accepted memory slope in MB per hour, default 1
#
# Exit status: 0 when memory stayed flat and no count grew, 1 when something
# grew, 2 when the run could not be made.
set -euo pipefail

MINUTES=${1:-60}
case $MINUTES in '' | *[!0-9]* | 0) echo "usage: $0 [MINUTES >= 1]" >&2; exit 2 ;; esac
ROOT=$(cd "$(dirname "$0")/.." && pwd)
MARIVELLE=${MARIVELLE:-$ROOT/build/marivelle}
SLOPE_LIMIT=${SLOPE_LIMIT:-1}
[ -x "$MARIVELLE" ] || { echo "soak.sh: no program at $MARIVELLE (build it first: ./build.sh build)" >&2; exit 2; }
for tool in Xvfb pulseaudio pactl awk; do
  command -v "$tool" >/dev/null || { echo "soak.sh: $tool is missing (./build.sh deps installs it)" >&2; exit 2; }
done

SCRATCH=$(mktemp -d)
PIDS=()
cleanup() {
  for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
  if [ -n "${KEEP:-}" ]; then echo "kept: $SCRATCH"; else rm -rf "$SCRATCH"; fi
}
trap cleanup EXIT

# Waits until the command succeeds, polling; false after the deadline.
wait_for() {  # seconds command...
  local deadline=$((SECONDS + $1)); shift
  until "$@" >/dev/null 2>&1; do
    [ $SECONDS -ge $deadline ] && return 1
    sleep 0.2
  done
}

# Everything the server, the program and their clients read or write stays
# in the scratch folder: the person's settings and sound server are untouched.
mkdir -p "$SCRATCH/home" "$SCRATCH/run" "$SCRATCH/config"
chmod 700 "$SCRATCH/run"
echo "autospawn = no" >"$SCRATCH/client.conf"
export HOME=$SCRATCH/home XDG_RUNTIME_DIR=$SCRATCH/run XDG_CONFIG_HOME=$SCRATCH/config
export PULSE_SERVER=unix:$SCRATCH/native PULSE_CLIENTCONFIG=$SCRATCH/client.conf
export LIBGL_ALWAYS_SOFTWARE=1

mkfifo "$SCRATCH/display"
Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x720x24 3>"$SCRATCH/display" >"$SCRATCH/xvfb.log" 2>&1 &
PIDS+=($!)
read -r -t 60 number <"$SCRATCH/display" || { echo "soak.sh: Xvfb did not start" >&2; exit 2; }
export DISPLAY=:$number

pulseaudio --daemonize=no --exit-idle-time=-1 -n --use-pid-file=no --disable-shm=yes --log-target=stderr \
  -L "module-null-sink sink_name=soak" -L "module-native-protocol-unix socket=$SCRATCH/native auth-anonymous=1" \
  >"$SCRATCH/pulse.log" 2>&1 &
PIDS+=($!)
wait_for 30 pactl info || { echo "soak.sh: the sound server did not answer" >&2; cat "$SCRATCH/pulse.log" >&2; exit 2; }

"$MARIVELLE" -s --stats 60 >"$SCRATCH/program.log" 2>&1 &
PROGRAM=$!
PIDS+=($PROGRAM)
wait_for 120 grep -q '^stats:' "$SCRATCH/program.log" ||
  { echo "soak.sh: the program drew no frame" >&2; cat "$SCRATCH/program.log" >&2; exit 2; }
if wait_for 30 sh -c 'pactl list short sink-inputs | grep -q .'; then SOUND=playing; else SOUND="not playing"; fi
echo "soak: $MINUTES min of '$(basename "$MARIVELLE") -s' at 1280x720 on $DISPLAY, sound $SOUND"

sample() {  # minute
  local rss fds threads stats
  rss=$(awk '/^VmRSS:/ {print $2}' "/proc/$PROGRAM/status")
  threads=$(awk '/^Threads:/ {print $2}' "/proc/$PROGRAM/status")
  fds=$(find "/proc/$PROGRAM/fd" -mindepth 1 -maxdepth 1 | wc -l)
  # "stats: S s, F frames, T GL textures, L GL display lists"
  stats=$(grep '^stats:' "$SCRATCH/program.log" | tail -n 1 | tr -d ',' | awk '{print $4, $6, $9}')
  echo "$1 $rss $fds $threads $stats" | tee -a "$SCRATCH/samples"
}

echo "minute rss_kB fds threads frames gl_textures gl_lists"
start=$SECONDS
for ((minute = 0; minute <= MINUTES; minute++)); do
  # Each sample on its minute, however long the one before took.
  while [ $((SECONDS - start)) -lt $((minute * 60)) ]; do
    kill -0 $PROGRAM 2>/dev/null || break
    sleep 1
  done
  kill -0 $PROGRAM 2>/dev/null || { echo "soak.sh: the program ended early" >&2; cat "$SCRATCH/program.log" >&2; exit 1; }
  # The program's own line for this minute (its clock starts at its first
  # frame, a little after ours), so that both halves of a sample agree.
  wait_for 90 awk -v s=$((minute * 60)) '/^stats:/ && $2 >= s {found = 1} END {exit !found}' "$SCRATCH/program.log" || true
  sample $minute
done

# From minute 1 on: the memory slope, and each count's growth.
awk -v limit="$SLOPE_LIMIT" '
  $1 >= 1 { n++; x = $1 / 60; sx += x; sy += $2 / 1024; sxx += x * x; sxy += x * $2 / 1024
            if (n == 1) { f0 = $3; t0 = $4; g0 = $6; l0 = $7 }
            f1 = $3; t1 = $4; g1 = $6; l1 = $7; frames = $5 }
  END {
    slope = n > 1 ? (n * sxy - sx * sy) / (n * sxx - sx * sx) : 0
    printf "frames drawn: %d\n", frames
    printf "memory slope after the first minute: %.2f MB per hour (limit %s)\n", slope, limit
    printf "growth after the first minute: %d fds, %d threads, %d GL textures, %d GL display lists\n", f1 - f0, t1 - t0, g1 - g0, l1 - l0
    bad = slope >= limit || f1 > f0 || t1 > t0 || g1 > g0 || l1 > l0
    print bad ? "soak: something grew" : "soak: flat"
    exit bad
  }' "$SCRATCH/samples"
