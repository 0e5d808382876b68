#!/usr/bin/env bash
# Installs the Debian packages a task needs, only those missing:
#   tools/install-deps.sh build|test|run|bench
set -euo pipefail

packages=(cmake make g++-mingw-w64-x86-64-posix mingw-w64-tools)
case "${1:-build}" in
  build) ;;
  test) packages+=(wine wine64 googletest clang lld osslsigncode openssl git python3 python3-yaml shellcheck) ;;
  run) packages+=(wine wine64 fonts-wine googletest xvfb xauth x11-utils imagemagick fonts-wqy-microhei) ;;
  bench) packages+=(wine wine64) ;;
  *) echo "usage: $0 build|test|run|bench" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'ok installed' || missing+=("$package")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=
[ "$(id -u)" -eq 0 ] || sudo=sudo
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
