#!/usr/bin/env bash
# ./dev bench: builds the benchmarks (native JSON comparison in build/bench-native, Windows
# executables in build/bench-windows, both Release) and runs bench/bench.py under a Wine prefix
# of its own. Development tooling only: no test or CI runs this.
#   BENCH_SCALE=small   quick run (a couple of minutes)
#   BENCH_ROUNDS=N      rounds per figure (default 3; the median is reported)
#   BENCH_KEEP=1        keep the generated data in build/bench/data
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD_DIR="${BUILD_DIR:-$ROOT/build}"
case "$BUILD_DIR" in /*) ;; *) BUILD_DIR="$ROOT/$BUILD_DIR" ;; esac
JOBS="${JOBS:-4}"
[ "$JOBS" -gt 4 ] && JOBS=4   # the machine is shared

say() { printf '==> %s\n' "$*"; }

say "native JSON benchmark (Release)"
cmake -S "$ROOT/bench/native" -B "$BUILD_DIR/bench-native" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD_DIR/bench-native" -j "$JOBS" >/dev/null

say "Windows benchmark executables (MinGW-w64, Release)"
cmake --preset windows -B "$BUILD_DIR/bench-windows" -DBX_BENCH=ON -DBX_BUILD_TESTS=OFF \
  -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$BUILD_DIR/bench-windows" -j "$JOBS" >/dev/null

export WINEPREFIX="$BUILD_DIR/bench-windows/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY no_proxy NO_PROXY
unset DISPLAY
mkdir -p "$WINEPREFIX"
trap 'wineserver -k >/dev/null 2>&1 || true' EXIT
wineserver -p
wine wineboot -i </dev/null >/dev/null 2>&1

python3 "$ROOT/bench/bench.py" --root "$ROOT" --build "$BUILD_DIR" "$@"
