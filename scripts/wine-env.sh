#!/usr/bin/env bash
# Sourced by every script that starts Windows programs; the one place that says how Wine is
# started. A build folder (win32 or win64 preset) gets a private Wine prefix inside it, set
# up once with the dialog fonts and a virtual desktop (so windows get Windows-drawn title
# bars).
#   source scripts/wine-env.sh; wine_use_build BUILD_DIR; wine_prepare_prefix; wine_start ...
#
# The prefixes are 64-bit ones (with a 32-bit half where the machine runs 32-bit code), so
# they are set up by Wine's 64-bit loader, which every x86-64 machine runs. The build's own
# programs are started by the loader of their kind: a 32-bit build's through the `wine`
# command, whose 32-bit loader cannot start where the kernel refuses 32-bit code; a 64-bit
# build's through the 64-bit loader. wine_choose_build finds out which of the two this
# machine runs.
set -euo pipefail

wine64_loader=/usr/lib/wine/wine64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEARCH=win64

# Bump when the setup below changes: existing prefixes are then set up again (every step
# can be repeated).
wine_prefix_version=4

# wine_use_build BUILD_DIR: the build folder's prefix and loader. The build writes its
# programs' bitness (32 or 64) to windows-bits.txt when it is configured.
wine_use_build() {
    wine_build_dir=$(cd "$1" && pwd)
    export WINEPREFIX="$wine_build_dir/wineprefix"
    wine_bits=$(cat "$wine_build_dir/windows-bits.txt" 2>/dev/null || echo 32)
    if [ "$wine_bits" = 64 ]; then
        wine_loader=(env "WINELOADER=$wine64_loader" "$wine64_loader")
    else
        wine_loader=(env -u WINELOADER wine)
    fi
}

# wine_start PROGRAM [ARGS...]: runs a program of the build in its prefix. (The loader is
# named in WINELOADER too, so that the programs it starts use it; a 32-bit one finds its
# own 32-bit twin by name beside it.)
wine_start() {
    "${wine_loader[@]}" "$@"
}

# wine64_start PROGRAM [ARGS...]: runs one of the prefix's own 64-bit programs (wineboot,
# reg), on either kind of machine.
wine64_start() {
    WINELOADER=$wine64_loader "$wine64_loader" "$@"
}

wine_prepare_prefix() {
    local stamp="$WINEPREFIX/.brevix-ready"
    [ "$(cat "$stamp" 2>/dev/null)" = "$wine_prefix_version" ] && return 0
    (
        flock 9
        [ "$(cat "$stamp" 2>/dev/null)" = "$wine_prefix_version" ] && exit 0
        # Where 32-bit code cannot run, wineboot says that it could not set up the 32-bit
        # half and carries on: the 64-bit half is all such a machine uses.
        local status=0
        WINELOADER=$wine64_loader timeout 300 "$wine64_loader" wineboot -i >/dev/null 2>&1 ||
            status=$?
        if [ "$status" = 124 ]; then
            echo "wine-env: wineboot did not finish setting up $WINEPREFIX in 5 minutes" >&2
            exit 1
        fi
        wineserver -w
        local fonts="$WINEPREFIX/drive_c/windows/Fonts"
        mkdir -p "$fonts"
        cp -n /usr/share/wine/fonts/*.fon /usr/share/wine/fonts/*.ttf "$fonts/" 2>/dev/null || true
        wine64_start reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
        wine64_start reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f \
            >/dev/null 2>&1
        # A crashing program ends at once instead of waiting in the debugger, so a test
        # sees the crash rather than hanging until its timeout. Without the value Wine
        # falls back to its own debugger; an empty command starts nothing.
        local view
        for view in 32 64; do
            wine64_start reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\AeDebug' \
                /v Debugger /d '' /reg:$view /f >/dev/null 2>&1
        done
        wineserver -w
        echo "$wine_prefix_version" >"$stamp"
    ) 9>"$wine_build_dir/.wineprefix.lock"
}

# wine_choose_build WIN32_BUILD_DIR: which build's programs this machine runs under Wine.
# Sets wine_chosen_build to win32 or win64 and wine_chosen_reason to a few words on why.
# It tries rather than guesses: Wine's own 32-bit command interpreter is started in the
# 32-bit build's prefix as that build's programs are. BREVIX_FORCE_WIN64=1 takes the 64-bit
# build without trying (so that its path can be run on any machine).
wine_choose_build() {
    if [ -n "${BREVIX_FORCE_WIN64:-}" ]; then
        wine_chosen_build=win64
        wine_chosen_reason="BREVIX_FORCE_WIN64 is set"
        return 0
    fi
    local answer status=0
    answer=$(
        wine_use_build "$1"
        wine_prepare_prefix
        exec 8>"$wine_build_dir/.wineprefix.run.lock"
        flock 8
        result=0
        timeout 300 "${wine_loader[@]}" 'C:\windows\syswow64\cmd.exe' /c echo brevix-32 2>&1 ||
            result=$?
        wineserver -k 2>/dev/null || true
        wineserver -w 2>/dev/null || true
        exit "$result"
    ) || status=$?
    if [ "$status" = 0 ] && grep -q '^brevix-32' <<<"$answer"; then
        wine_chosen_build=win32
        wine_chosen_reason="this machine runs 32-bit Windows programs"
    else
        wine_chosen_build=win64
        answer=$(tr -d '\r' <<<"$answer" | grep -v '^$' | tail -n 1)
        wine_chosen_reason="32-bit Windows programs do not run on this machine (status $status: ${answer:-no output})"
    fi
}
