#!/bin/sh
# Runs a Windows program in the test run's private prefix: wine-run.sh ROOT PROGRAM [ARGS...]
set -eu
root=${1:?usage: wine-run.sh ROOT PROGRAM [ARGS...]}
shift
. "$(dirname "$0")/wine-env.sh"
exec wine "$@"
