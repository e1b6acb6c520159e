#!/usr/bin/env bash
# Sourced by the scripts that start Windows programs: a private Wine prefix inside the
# build folder, set up once with the dialog fonts and a virtual desktop (so windows get
# Windows-drawn title bars), and an X display (Xvfb when none is given).
#   source scripts/wine-env.sh BUILD_DIR
set -euo pipefail

wine_build_dir=$(cd "$1" && pwd)
export WINEPREFIX="$wine_build_dir/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

wine_prepare_prefix() {
    local stamp="$WINEPREFIX/.brevix-ready"
    [ -f "$stamp" ] && return 0
    (
        flock 9
        [ -f "$stamp" ] && exit 0
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
        local fonts="$WINEPREFIX/drive_c/windows/Fonts"
        mkdir -p "$fonts"
        cp -n /usr/share/wine/fonts/*.fon /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
        wineserver -w
        touch "$stamp"
    ) 9>"$wine_build_dir/.wineprefix.lock"
}
