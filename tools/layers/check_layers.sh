#!/usr/bin/env bash
# Fails when a source file includes a header of a layer above its own, when
# render and sound include each other, or when portable code includes an OS
# or system-library header. Usage: check_layers.sh [SOURCE_ROOT]
set -euo pipefail
cd "${1:-$(dirname "$0")/../..}"

rank() {
  case $1 in
    platform) echo 0 ;; core) echo 1 ;; render|sound) echo 2 ;;
    scene) echo 3 ;; world) echo 4 ;; app) echo 5 ;; *) echo -1 ;;
  esac
}
# Headers only platform/<os>/ may include.
os_headers='^#include <(X11/|GL/|alsa/|windows\.h|winsock|wincodec\.h|mmsystem\.h|mmreg\.h|msacm\.h|objbase\.h|shlobj\.h|commctrl\.h|wingdi\.h|jpeglib\.h|jerror\.h|sndfile\.h|samplerate\.h|ft2build\.h|freetype/|fontconfig/|gtk/|gdk/|glib|gio/|dlfcn\.h|unistd\.h|sys/|pthread\.h|signal\.h|poll\.h|fcntl\.h|spawn\.h)'

bad=0
while IFS= read -r file; do
  layer=${file%%/*}
  mine=$(rank "$layer")
  [ "$mine" -ge 0 ] || continue
  os_folder=0
  case $file in platform/*/*) os_folder=1 ;; esac
  while IFS=: read -r line text; do
    target=$(sed -E 's/^#include "([a-z_]+)\/.*/\1/' <<<"$text")
    theirs=$(rank "$target")
    [ "$theirs" -ge 0 ] || continue
    if [ "$theirs" -gt "$mine" ] || { [ "$theirs" -eq "$mine" ] && [ "$target" != "$layer" ]; }; then
      echo "$file:$line: $layer includes $target: $text"
      bad=1
    fi
  done < <(grep -nE '^#include "[a-z_]+/' "$file" | sed -E 's/^([0-9]+):/\1:/' || true)
  if [ $os_folder -eq 0 ]; then
    while IFS= read -r hit; do
      echo "$file:$hit: OS header outside platform/<os>/"
      bad=1
    done < <(grep -nE "$os_headers" "$file" || true)
  fi
done < <(git ls-files 'platform/*' 'core/*' 'render/*' 'sound/*' 'scene/*' 'world/*' 'app/*' 2>/dev/null | grep -E '\.(h|cpp)$' ||
         find platform core render sound scene world app -name '*.h' -o -name '*.cpp')

if [ $bad -ne 0 ]; then
  echo "layering: upward or OS includes found (platform < core < render, sound < scene < world < app)" >&2
  exit 1
fi
echo "layering: every include points downward"
