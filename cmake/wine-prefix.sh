#!/usr/bin/env bash
# Creates (once), starts and stops the build's private Wine prefix.
# Usage: wine-prefix.sh start|stop PREFIX
set -u
action=$1
prefix=$2
# shellcheck source=cmake/wine-env.sh
. "$(dirname "$0")/wine-env.sh"

case $action in
start)
    command -v "$wine_loader" >/dev/null || { echo "wine is not installed" >&2; exit 1; }
    if [ ! -f "$prefix/system.reg" ]; then
        mkdir -p "$prefix"
        "$wine_loader" wineboot.exe -i </dev/null >/dev/null 2>&1 || { echo "wineboot failed" >&2; exit 1; }
        wineserver -w </dev/null >/dev/null 2>&1
    fi
    # A persistent server keeps each test's start cheap. The first program of a fresh server
    # brings up the prefix's services, which inherit its output: give them /dev/null, never the
    # test runner's pipes, or the runner waits for them forever.
    wineserver -p </dev/null >/dev/null 2>&1
    "$wine_loader" cmd.exe /c exit 0 </dev/null >/dev/null 2>&1
    exit 0
    ;;
stop)
    wineserver -k </dev/null >/dev/null 2>&1
    exit 0
    ;;
*)
    echo "usage: $0 start|stop PREFIX" >&2
    exit 2
    ;;
esac
