#!/bin/sh
# Runs a Windows program in the rig's private prefix: wine-run.sh ROOT PROGRAM [ARGS...]
set -eu
root=${1:?usage: wine-run.sh ROOT PROGRAM [ARGS...]}
shift
# shellcheck source=rig/wine-env.sh
. "$(dirname "$0")/wine-env.sh"
use_wine_prefix "$root"
exec wine "$@"
