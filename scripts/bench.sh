#!/usr/bin/env bash
# Measures tarn-kit under Wine beside its references and writes
# docs/benchmarks.md: start-up and memory against an empty window, the exe's
# size and imports, download throughput against curl, launch overhead, and a
# launch that downloads its client on a paced loopback line (with and
# without one cut) against its floor and curl. Not a test; takes a few
# minutes. Sets up the machine when needed, builds its own
# Release folder and uses a fresh Wine prefix of its own under a virtual X
# server.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

# How the results are read and judged is checked before anything is measured.
python3 bench/test_bench.py >/dev/null 2>&1 || python3 bench/test_bench.py

build=build/bench-win32
cmake --preset win32 -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j"$(nproc)" --target tarn-kit bench_probe bench_empty_window bench_empty_window_dlls bench_empty_window_startup bench_standin

prefix=$PWD/build/bench-wineprefix
scripts/wine-prefix.sh "$prefix"

xvfb-run -a -s "-screen 0 1280x1024x24" \
  python3 bench/run_bench.py --build "$build" --prefix "$prefix" --out docs/benchmarks.md
