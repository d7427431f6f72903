# shellcheck shell=bash
# Sourced by the Wine scripts: the environment every Wine program of the build runs in.
# Needs $prefix set to the build's private prefix; WINE_BITS=64 (set by a 64-bit build's
# wrappers) picks Wine's 64-bit loader.
# shellcheck disable=SC2154 # set by the script that sources this file
export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
# The prefix's user folder is named after USER when the prefix is made; keep it the same always.
USER=$(id -un)
export USER
unset DISPLAY WAYLAND_DISPLAY

# Debian's wine command (and wineboot, through it) starts the 32-bit loader whenever wine32 is
# installed, which a kernel without 32-bit support cannot run; the 64-bit loader, called
# directly, runs 64-bit programs there. WINELOADER makes Wine start child programs with it too.
# shellcheck disable=SC2034 # read by the scripts that source this file
wine_loader=wine
# shellcheck disable=SC2034
if [ "${WINE_BITS:-32}" = 64 ]; then
    export WINELOADER=/usr/lib/wine/wine64
    wine_loader=$WINELOADER
fi
