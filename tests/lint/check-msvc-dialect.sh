#!/usr/bin/env bash
# Compiles every source of the program as the MSVC build sees it, where no
# MSVC exists: clang in MSVC mode, on Wine's Windows SDK and C runtime
# headers (Debian's libwine-dev), with no MinGW or host include folder
# searched, so a MinGW-only header or a GNU-only construct fails here.
# Syntax only, with the project's warnings as errors:
#   check-msvc-dialect.sh CLANG SOURCE_DIR ICON_IMAGE_CPP DEFINE...
# ICON_IMAGE_CPP is the build's generated IconImage; DEFINE... the program's
# own preprocessor definitions.
set -euo pipefail
if [ $# -lt 3 ]; then
  echo "usage: $0 CLANG SOURCE_DIR ICON_IMAGE_CPP DEFINE..." >&2
  exit 2
fi
clang=$1 source=$2 icon_image=$3
shift 3

wine=/usr/include/wine/wine
for dir in "$wine/windows" "$wine/msvcrt"; do
  [ -d "$dir" ] || { echo "FAIL: no $dir (Debian: libwine-dev)" >&2; exit 1; }
done
[ -f "$icon_image" ] || { echo "FAIL: no $icon_image; build first" >&2; exit 1; }

flags=(--target=x86_64-pc-windows-msvc -fms-compatibility -fms-extensions
  # Visual Studio 2022, as in the Windows workflow; /permissive- has
  # two-phase template lookup.
  -fms-compatibility-version=19.30 -fno-delayed-template-parsing
  -std=c++17 -fsyntax-only -nostdinc -isystem "$wine/msvcrt" -isystem "$wine/windows" -I "$source"
  # The SDK's WCHAR is wchar_t; Wine's own default is char16_t.
  -DWINE_UNICODE_NATIVE
  # Under clang, winnt.h defines this inline itself, clashing with clang's
  # builtin of the same name; nothing here uses it.
  -D_InterlockedCompareExchange128=wine_InterlockedCompareExchange128
  -Werror -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
for define in "$@"; do flags+=("-D$define"); done

# The check itself must not find what the MSVC build would not.
if echo '#include <sys/time.h>' | "$clang" "${flags[@]}" -x c++ - 2>/dev/null; then
  echo "FAIL: <sys/time.h> was found: a MinGW or host include folder is searched" >&2
  exit 1
fi

sources=("$source"/app/*.cpp "$source"/install/*.cpp "$icon_image")
"$clang" "${flags[@]}" "${sources[@]}"
echo "MSVC dialect: ${#sources[@]} sources clean"
