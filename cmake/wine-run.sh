#!/usr/bin/env bash
# Runs a Windows program under Wine inside the build's private prefix.
# Usage: wine-run.sh PREFIX PROGRAM.exe [ARGS...]
set -u
# shellcheck disable=SC2034 # read by wine-env.sh
prefix=$1
shift
# shellcheck source=cmake/wine-env.sh
. "$(dirname "$0")/wine-env.sh"
exec "$wine_loader" "$@"
