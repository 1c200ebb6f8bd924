#!/usr/bin/env bash
# Sets up a Debian 12 machine when needed, builds both presets and runs every
# test: the native logic tests, the Win32 tests under Wine and the end-to-end
# tests of the real exe, in a fresh Wine prefix under a virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh

jobs=$(nproc)
cmake --preset native >/dev/null
cmake --build --preset native -j"$jobs"
cmake --preset win32 >/dev/null
cmake --build --preset win32 -j"$jobs"

native_rc=0
ctest --preset native -j"$jobs" || native_rc=$?

# A fresh prefix per run, copied from a prepared template.
export TARNKIT_WINEPREFIX=$PWD/build/wineprefix
export WINEPREFIX=$TARNKIT_WINEPREFIX
scripts/wine-prefix.sh "$WINEPREFIX"
# The throwaway authority of the signature and HTTPS tests, trusted inside
# this prefix only.
scripts/trust-test-ca.sh "$WINEPREFIX" build/win32/test-certs

# The first program of a Wine session starts its background services, which
# inherit that program's output: a throwaway first program keeps them from
# holding a test's output open.
win_rc=0
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  export WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=-all
  wineserver -p 60
  wine cmd.exe /c exit >/dev/null 2>&1 </dev/null || true
  rc=0
  ctest --preset win32 || rc=$?
  wineserver -k 2>/dev/null || true
  exit $rc' || win_rc=$?

[ "$native_rc" -eq 0 ] && [ "$win_rc" -eq 0 ]
