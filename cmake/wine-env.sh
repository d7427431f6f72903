# shellcheck shell=bash
# Sourced by the Wine scripts: the environment every Wine program of the build runs in.
# Needs $prefix set to the build's private prefix.
# shellcheck disable=SC2154 # set by the script that sources this file
export WINEPREFIX=$prefix
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree=;mshtml="
# The prefix's user folder is named after USER when the prefix is made; keep it the same always.
USER=$(id -un)
export USER
unset DISPLAY WAYLAND_DISPLAY
