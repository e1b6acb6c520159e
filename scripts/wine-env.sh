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

# Bump when the setup below changes: existing prefixes are then set up again (every step
# can be repeated).
wine_prefix_version=4

wine_prepare_prefix() {
    local stamp="$WINEPREFIX/.brevix-ready"
    [ "$(cat "$stamp" 2>/dev/null)" = "$wine_prefix_version" ] && return 0
    (
        flock 9
        [ "$(cat "$stamp" 2>/dev/null)" = "$wine_prefix_version" ] && exit 0
        wineboot -i >/dev/null 2>&1 || true
        wineserver -w
        local fonts="$WINEPREFIX/drive_c/windows/Fonts"
        mkdir -p "$fonts"
        cp -n /usr/share/wine/fonts/*.fon /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
        # A crashing program ends at once instead of waiting in the debugger, so a test
        # sees the crash rather than hanging until its timeout. Without the value Wine
        # falls back to its own debugger; an empty command starts nothing.
        local view
        for view in 32 64; do
            wine reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
                /v Debugger /d '' /reg:$view /f >/dev/null 2>&1
        done
        wineserver -w
        echo "$wine_prefix_version" >"$stamp"
    ) 9>"$wine_build_dir/.wineprefix.lock"
}
