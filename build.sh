#!/usr/bin/env bash
# One entry point for newcomers and CI:
#   ./build.sh run    install what is missing, build, start the saver
#   ./build.sh test   install what is missing, build, run every test
# Other verbs: deps, build, asan, tsan, fuzz [SECONDS], bench, package,
# windows (cross-build with mingw-w64), windows-test (its tests under Wine).
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
JOBS=${JOBS:-$(nproc)}

# Debian packages the build, the tests and the fuzzers need.
PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  clang libclang-rt-14-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  zlib1g-dev libjpeg-dev libgl1 libgl1-mesa-dri
  libx11-dev libxrandr-dev libxinerama-dev libxext-dev libxfixes-dev libxss-dev libglib2.0-dev libasound2-dev libasound2-plugins libsndfile1-dev libsamplerate0-dev
  libfreetype-dev libfontconfig-dev fonts-dejavu-core fonts-liberation
  libgtk-3-dev adwaita-icon-theme
  xvfb xauth pulseaudio pulseaudio-utils locales
  dpkg-dev file lintian desktop-file-utils appstream man-db libxml2-utils
  dbus-daemon python3-dbusmock
  xscreensaver xdotool
)

# What the Windows build adds: the cross compiler, zlib for Windows, NSIS for
# the installer, and Wine with a virtual X server and a sound server to run
# what it makes (the X libraries are ones Wine only recommends; the Linux
# list brings the rest).
WINDOWS_PACKAGES=(
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-tools libz-mingw-w64-dev
  wine64 xvfb xauth pulseaudio pulseaudio-utils libxcursor1 libxi6 libxcomposite1 libxxf86vm1
  nsis
)

deps() {
  install_missing "${PACKAGES[@]}"
}

install_missing() {  # packages...
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "Installing: ${missing[*]}"
  local sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

configure() {  # dir, extra cmake args...
  local dir=$1; shift
  cmake -S "$ROOT" -B "$dir" -G Ninja "$@" >/dev/null
}

build() {
  configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build -j "$JOBS"
}

windows() {  # the Windows build in build-windows/
  install_missing "${PACKAGES[@]}" "${WINDOWS_PACKAGES[@]}"
  # The content tools run on this machine: the native build makes them and
  # the archive the Windows program embeds.
  configure build -DCMAKE_BUILD_TYPE=RelWithDebInfo
  cmake --build build -j "$JOBS" --target rfapack marivelle_data_archive marivelle_icons
  configure build-windows -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/toolchain-mingw64.cmake" -DMARIVELLE_HOST_BUILD="$ROOT/build"
  cmake --build build-windows -j "$JOBS"
}

windows_test() (  # the Windows build's tests under Wine, on a private X server
  local scratch
  scratch=$(mktemp -d)
  export WINEPREFIX="$scratch/prefix" WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
  export PATH="/usr/lib/wine:$PATH"
  mkfifo "$scratch/display"
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$scratch/display" >/dev/null 2>&1 &
  local xvfb=$!
  # shellcheck disable=SC2064
  trap "wineserver -k 2>/dev/null || true; kill $xvfb \${pulse:-} 2>/dev/null || true; rm -rf '$scratch'" EXIT
  local display=""
  read -r -t 60 display <"$scratch/display" || { echo "Xvfb did not start" >&2; return 1; }
  export DISPLAY=":$display"
  # A sound server of our own with a silent sink for Wine's wave output;
  # everything it and its clients look at stays in the scratch folder.
  mkdir -p "$scratch/home" "$scratch/run"
  export HOME="$scratch/home" XDG_RUNTIME_DIR="$scratch/run" XDG_CONFIG_HOME="$scratch/home/.config"
  export PULSE_SERVER="unix:$scratch/pulse" PULSE_CLIENTCONFIG="$scratch/client.conf"
  echo "autospawn = no" >"$scratch/client.conf"
  pulseaudio --daemonize=no --exit-idle-time=-1 -n --use-pid-file=no --disable-shm=yes \
    -L "module-null-sink sink_name=marivelle" -L "module-native-protocol-unix socket=$scratch/pulse auth-anonymous=1" \
    >"$scratch/pulse.log" 2>&1 &
  pulse=$!
  local deadline=$((SECONDS + 60))
  until pactl info >/dev/null 2>&1; do
    kill -0 $pulse 2>/dev/null && [ $SECONDS -lt $deadline ] || { cat "$scratch/pulse.log" >&2; return 1; }
    sleep 0.2
  done
  # One server for the whole run, so each test program does not start its own.
  mkdir -p "$WINEPREFIX"
  wineserver -p
  wine64 wineboot -i >/dev/null 2>&1
  run_tests build-windows
)

run_tests() {  # dir
  ctest --test-dir "$1" --output-on-failure -j "$JOBS" --timeout 600
}

asan() {
  configure build-asan -DCMAKE_BUILD_TYPE=Debug -DMARIVELLE_SANITIZE=ON
  cmake --build build-asan -j "$JOBS"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
    LSAN_OPTIONS=suppressions="$ROOT/tests/lsan_suppressions.txt" run_tests build-asan
}

tsan() {  # the sound tests: the mixer shares its state with the output's thread
  configure build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_FLAGS=-fsanitize=thread -DCMAKE_EXE_LINKER_FLAGS=-fsanitize=thread
  local targets=() src rel
  # The end-to-end test against a real sound server is left out here: the
  # server's client library is not instrumented, so the sanitizer cannot see
  # its locking and reports races inside it. It runs in the other builds.
  for src in tests/sound/*_test.cpp tests/scene/scene_sound_test.cpp tests/platform/audio_codec_*_test.cpp; do
    [[ $src == *_win32_test.cpp ]] && continue  # built only for Windows
    rel=${src#tests/}; rel=${rel%.cpp}; targets+=("${rel//\//_}")
  done
  cmake --build build-tsan -j "$JOBS" --target "${targets[@]}"
  for t in "${targets[@]}"; do
    TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 "build-tsan/tests/$t"
  done
}

fuzz() {  # seconds per target (default: a short smoke run)
  local seconds=${1:-30}
  configure build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMARIVELLE_FUZZ=ON -DMARIVELLE_TESTS=OFF \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ -DMARIVELLE_FUZZ_SECONDS="$seconds"
  cmake --build build-fuzz -j "$JOBS" --target fuzzers
  ctest --test-dir build-fuzz --output-on-failure -j "$JOBS" --timeout $((seconds * 3 + 120))
}

package() {  # the Debian package of a release build, in build-package/
  # Read-only relocations, resolved at start, as Debian builds its programs.
  configure build-package -DCMAKE_BUILD_TYPE=Release -DMARIVELLE_TESTS=OFF -DMARIVELLE_PACKAGE_TESTS=ON \
    "-DCMAKE_EXE_LINKER_FLAGS=-Wl,-z,relro -Wl,-z,now"
  cmake --build build-package -j "$JOBS"
  (cd build-package && cpack -G DEB >/dev/null)
  ls build-package/marivelle_*.deb
}

case "${1:-}" in
  deps) deps ;;
  build) deps; build ;;
  run) deps; build; shift; exec ./build/marivelle "$@" ;;
  test) deps; build; run_tests build; windows; windows_test; tsan; asan; fuzz 30; package; run_tests build-package ;;
  asan) deps; asan ;;
  tsan) deps; tsan ;;
  fuzz) deps; fuzz "${2:-30}" ;;
  package) deps; package ;;
  windows) windows ;;
  windows-test) windows; windows_test ;;
  bench)
    deps
    configure build-bench -DCMAKE_BUILD_TYPE=Release -DMARIVELLE_BENCH=ON -DMARIVELLE_TESTS=OFF
    cmake --build build-bench -j "$JOBS"
    for b in build-bench/bench/bench_*; do "$b"; done ;;
  *) echo "usage: $0 run|test|build|asan|tsan|fuzz [SECONDS]|bench|package|windows|windows-test|deps" >&2; exit 2 ;;
esac
