#!/usr/bin/env bash
# Runs a Windows program under Wine inside the build's private prefix.
# Usage: wine-run.sh PREFIX PROGRAM.exe [ARGS...]
set -u
prefix=$1
shift
export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
# The prefix's user folder is named after USER when the prefix is made; keep it the same always.
USER=$(id -un)
export USER
unset DISPLAY WAYLAND_DISPLAY
exec wine "$@"
