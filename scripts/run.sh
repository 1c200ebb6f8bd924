#!/usr/bin/env bash
# Sets up a Debian 12 machine when needed, builds tarn-kit.exe and runs it
# under Wine (under a virtual X server when there is no display).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
cmake --preset win32 >/dev/null
cmake --build --preset win32 --target tarn-kit -j"$(nproc)"
export WINEPREFIX=${WINEPREFIX:-$PWD/build/wineprefix-run}
[ -f "$WINEPREFIX/system.reg" ] || scripts/wine-prefix.sh "$WINEPREFIX"
export WINEDLLOVERRIDES="mscoree,mshtml=" WINEDEBUG=${WINEDEBUG:--all}
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24" wine build/win32/tarn-kit.exe
fi
exec wine build/win32/tarn-kit.exe
