#!/usr/bin/env bash
# Makes a Wine prefix ready for tarn-kit at $1: Traditional Chinese font
# mapped, the web-address handler pointed at a harmless program, first-run
# installers kept quiet. A prepared template is copied when it exists, since a
# new prefix takes half a minute and a copy a second.
set -euo pipefail
target=$(realpath -m "${1:?usage: wine-prefix.sh DIR}")
template=$(realpath -m "${TARNKIT_WINE_TEMPLATE:-$(dirname "$target")/wine-template}")
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all

make_prefix() {
  local dir=$1
  rm -rf "$dir"
  WINEPREFIX="$dir" wineboot -i >/dev/null 2>&1
  local reg
  reg=$(mktemp --suffix=.reg)
  # "微軟正黑體" is the font the windows ask for; WenQuanYi renders it.
  cat >"$reg" <<'REG'
REGEDIT4

[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]
"微軟正黑體"="WenQuanYi Micro Hei"
"Microsoft JhengHei"="WenQuanYi Micro Hei"
"PMingLiU"="WenQuanYi Micro Hei"
"新細明體"="WenQuanYi Micro Hei"

[HKEY_CLASSES_ROOT\http\shell\open\command]
@="C:\\windows\\system32\\cmd.exe /c echo %1 > C:\\windows\\temp\\opened-url.txt"

[HKEY_CLASSES_ROOT\https\shell\open\command]
@="C:\\windows\\system32\\cmd.exe /c echo %1 > C:\\windows\\temp\\opened-url.txt"
REG
  iconv -f UTF-8 -t UTF-16LE <(printf '\xef\xbb\xbf'; sed 's/^REGEDIT4$/Windows Registry Editor Version 5.00/; s/$/\r/' "$reg") >"$reg.utf16"
  WINEPREFIX="$dir" wine regedit /S "$(winepath -w "$reg.utf16" 2>/dev/null || echo "Z:${reg//\//\\}.utf16")" >/dev/null 2>&1
  WINEPREFIX="$dir" wineserver -w
  rm -f "$reg" "$reg.utf16"
}

if [ ! -f "$template/system.reg" ]; then
  make_prefix "$template.new"
  rm -rf "$template"
  mv "$template.new" "$template"
fi
rm -rf "$target"
cp -a "$template" "$target"
