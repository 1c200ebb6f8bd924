#!/usr/bin/env bash
# Installs what building and testing tarn-kit needs on Debian 12, as root.
# Installs only what is missing, so a second run costs a second.
set -euo pipefail

packages=(
  cmake make g++ python3 curl
  googletest libgtest-dev libgmock-dev
  g++-mingw-w64-i686-posix mingw-w64-i686-dev
  wine wine32:i386 wine64
  xvfb xauth imagemagick
  # ImageMagick's SVG reader, which draws the icon, comes in its extra coders.
  libmagickcore-6.q16-6-extra
  fonts-wqy-microhei
  # Signing the launcher and the test programs, and the test certificates.
  osslsigncode openssl
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${missing[*]}"
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  dpkg --add-architecture i386
fi
export DEBIAN_FRONTEND=noninteractive
# A mirror caught mid-sync fails one list; the others still serve the install.
apt-get update -qq || echo "setup: some package lists could not be refreshed; installing from the rest" >&2
if ! apt-get install -y -qq "${missing[@]}" >/dev/null; then
  # When the security archive's i386 list is the one out of step, its amd64
  # libraries are newer than any i386 twin Wine needs: take both from the
  # main archive instead.
  echo "setup: retrying with the main archive's versions first" >&2
  preferences=$(mktemp)
  printf 'Package: *\nPin: release l=Debian-Security\nPin-Priority: 100\n' >"$preferences"
  apt-get install -y -qq -o Dir::Etc::Preferences="$preferences" "${missing[@]}" >/dev/null
  rm -f "$preferences"
fi
