#!/bin/sh
# Checks the built program file: it may import only Windows' own DLLs, and its
# PE header must ask for the exploit mitigations and carry no build time.
#   check-exe.sh PROGRAM [OBJDUMP]   (OBJDUMP: GNU objdump for PE, by default
#   x86_64-w64-mingw32-objdump)
set -eu
exe=${1:?usage: check-exe.sh PROGRAM [OBJDUMP]}
objdump=${2:-x86_64-w64-mingw32-objdump}

failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}

listing=$("$objdump" -p "$exe")
field() { printf '%s\n' "$listing" | awk -v name="$1" '$1 == name { print $2; exit }'; }
# A data directory's size, by its hex index in objdump's table.
directory_size() { printf '%s\n' "$listing" | awk -v entry="$1" '$1 == "Entry" && $2 == entry { print $4; exit }'; }

# Anything beyond these would have to ship beside the program (libstdc++,
# libgcc, winpthread, libssp) or might be missing on a plain Windows.
allowed=" kernel32.dll user32.dll gdi32.dll shell32.dll ole32.dll oleaut32.dll advapi32.dll shlwapi.dll msvcrt.dll "
imports=$(printf '%s\n' "$listing" | sed -n 's/^[[:space:]]*DLL Name: //p')
[ -n "$imports" ] || fail "no import table in $exe"
for dll in $imports; do
  case "$allowed" in
    *" $(printf '%s' "$dll" | tr 'A-Z' 'a-z') "*) echo "imports $dll" ;;
    *) fail "imports $dll, which is not a Windows system DLL" ;;
  esac
done
# Delay-loaded DLLs would be found through the search order at run time.
[ "$(directory_size d)" = 00000000 ] || fail "has a delay-load import table"

subsystem=$(field Subsystem)
[ "$subsystem" = 00000002 ] && echo "subsystem: Windows GUI" || fail "subsystem is $subsystem, not Windows GUI (2)"

# HIGH_ENTROPY_VA 0x20, DYNAMIC_BASE 0x40, NX_COMPAT 0x100, TERMINAL_SERVER_AWARE 0x8000.
wanted=$((0x0020 | 0x0040 | 0x0100 | 0x8000))
flags=$(field DllCharacteristics)
if [ -n "$flags" ] && [ $((0x$flags & wanted)) -eq "$wanted" ]; then
  echo "DllCharacteristics 0x$flags: HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT TERMINAL_SERVER_AWARE"
else
  fail "DllCharacteristics 0x$flags lacks some of 0x$(printf %04x "$wanted")"
fi
# ASLR needs the relocations to be there.
characteristics=$(field Characteristics)
characteristics=${characteristics#0x}
[ $((0x${characteristics:-1} & 0x0001)) -eq 0 ] || fail "relocations stripped"
[ "$(directory_size 5)" != 00000000 ] || fail "no base relocation table"
# A debug directory would carry a time stamp and a path.
[ "$(directory_size 6)" = 00000000 ] || fail "has a debug directory"

# The COFF header's TimeDateStamp, read from the file itself rather than from
# objdump's rendering of it in the local time zone.
le32() {
  od -An -tu1 -j "$1" -N4 "$exe" | awk '{ print $1 + 256 * ($2 + 256 * ($3 + 256 * $4)) }'
}
header=$(le32 60)
[ "$(od -An -c -j "$header" -N2 "$exe" | tr -d ' ')" = PE ] || fail "no PE signature at $header"
stamp=$(le32 $((header + 8)))
[ "$stamp" -eq 0 ] && echo "TimeDateStamp: 0" || fail "TimeDateStamp is $stamp, not 0"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed for $exe" >&2
  exit 1
fi
echo "ok: $exe"
