#!/usr/bin/env bash
# Runs a Windows program under Wine inside the build's private prefix.
# Usage: wine-run.sh PREFIX PROGRAM.exe [ARGS...]
set -u
prefix=$1
shift
. "$(dirname "$0")/wine-env.sh"
exec wine "$@"
