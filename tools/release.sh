#!/usr/bin/env bash
# Builds the program from the committed tree with mingw-w64 GCC, signs a copy
# with Authenticode (SHA-256) when given a certificate, and writes the release:
#   tools/release.sh [--out DIR] [--pkcs12 FILE --password-file FILE] [--timestamp URL]
# DIR (default dist/ in the repository) must be new or empty. It receives the
# program, the unsigned build it was signed from, SHA256SUMS and BUILDINFO.
# Without --pkcs12 the release is unsigned: the program is the build itself.
# The password file holds one line, the password, ending in LF, CRLF or nothing.
set -euo pipefail

program=QuorvelDesktopShortcut
usage="usage: $0 [--out DIR] [--pkcs12 FILE --password-file FILE] [--timestamp URL]"

fail() {
  echo "release.sh: $*" >&2
  exit 1
}
usage_error() {
  [ $# -eq 0 ] || echo "release.sh: $*" >&2
  echo "$usage" >&2
  exit 2
}

# Whatever the script makes (its private folder, the staging folder, the
# parents of DIR) goes again when it ends without a release: on an error, and
# on SIGINT, SIGTERM or SIGHUP. Only SIGKILL, which cannot be caught, leaves
# them behind.
private='' staging='' made_parents=() step_pid=''
cleanup() {
  trap '' HUP INT TERM
  if [ -n "$staging" ]; then rm -rf -- "$staging"; fi
  if [ -n "$private" ]; then rm -rf -- "$private"; fi
  local dir # deepest first, and only while empty
  for dir in "${made_parents[@]}"; do rmdir -- "$dir" 2>/dev/null || break; done
}
# Long steps run in the background, each in a process group of its own: bash
# runs a trap only once a foreground command is done, but cuts a wait short,
# and the whole group (cmake, make, the compilers) can then be stopped.
step() {
  setsid "$@" 3>&- &
  step_pid=$!
  local status=0
  wait "$step_pid" || status=$?
  step_pid=''
  return "$status"
}
stop_step() {
  local tries=20
  [ -n "$step_pid" ] || return 0
  # The child too, in case it has not made its group yet. Once the child is
  # gone, KILL finishes any of the group still busy; waiting for the group
  # itself could take seconds where orphaned zombies are reaped late.
  kill -TERM -- "-$step_pid" "$step_pid" 2>/dev/null || true
  while kill -0 "$step_pid" 2>/dev/null && [ $((tries -= 1)) -gt 0 ]; do sleep 0.1; done
  kill -KILL -- "-$step_pid" "$step_pid" 2>/dev/null || true
}
interrupted() {
  trap '' HUP INT TERM
  stop_step
  echo "release.sh: interrupted" >&3 || true
  exit "$1"
}
# A trap runs inside the command it cut short, maybe with stderr in a log:
# it speaks on the caller's stderr, kept as fd 3.
exec 3>&2
trap cleanup EXIT
trap 'interrupted 129' HUP
trap 'interrupted 130' INT
trap 'interrupted 143' TERM

out='' pkcs12='' password_file='' timestamp=''
while [ $# -gt 0 ]; do
  case $1 in
    --out | --pkcs12 | --password-file | --timestamp)
      if [ $# -lt 2 ] || [ -z "$2" ]; then usage_error "$1 needs a value"; fi
      case $1 in
        --out) out=$2 ;;
        --pkcs12) pkcs12=$2 ;;
        --password-file) password_file=$2 ;;
        --timestamp) timestamp=$2 ;;
      esac
      shift 2
      ;;
    -h | --help)
      echo "$usage"
      exit 0
      ;;
    *) usage_error "unknown option: $1" ;;
  esac
done
if [ -z "$pkcs12" ]; then
  [ -z "$password_file" ] || usage_error "--password-file needs --pkcs12"
  [ -z "$timestamp" ] || usage_error "--timestamp needs --pkcs12"
else
  [ -n "$password_file" ] || usage_error "--pkcs12 needs --password-file"
fi

for tool in git cmake x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-objdump sha256sum; do
  command -v "$tool" >/dev/null || fail "$tool not found (tools/install-deps.sh build installs the toolchain)"
done
if [ -n "$pkcs12" ]; then
  command -v osslsigncode >/dev/null || fail "osslsigncode not found (Debian package osslsigncode)"
  command -v openssl >/dev/null || fail "openssl not found (Debian package openssl)"
fi

# The repository this script belongs to, and its committed tree only.
repo=$(git -C "$(dirname "$0")" rev-parse --show-toplevel 2>/dev/null) || fail "$(dirname "$0") is not in a git repository"
commit=$(git -C "$repo" rev-parse --verify -q 'HEAD^{commit}') || fail "$repo has no commit to release"
if ! git -C "$repo" diff --quiet HEAD -- || [ -n "$(git -C "$repo" status --porcelain --untracked-files=no)" ]; then
  fail "$repo has uncommitted changes to tracked files; commit or set them aside first"
fi

out=$(realpath -m -- "${out:-$repo/dist}")
if [ -e "$out" ] || [ -L "$out" ]; then
  if [ ! -d "$out" ] || [ -L "$out" ]; then fail "$out exists and is not a folder"; fi
  [ -z "$(ls -A -- "$out")" ] || fail "$out is not empty; give a new or empty folder with --out"
fi

# Everything temporary, the build included, lives in one private folder.
caller_umask=$(umask)
umask 077
private=$(mktemp -d "${TMPDIR:-/tmp}/release.XXXXXXXX")
# The tools' own temporary files too (the compiler driver's, say), so that
# none is left in the caller's TMPDIR when an interruption kills a tool.
export TMPDIR=$private/tmp
mkdir "$TMPDIR"

# DIR's parents are made now, so that a DIR that cannot be made fails before
# the build; the ones made here are recorded, to go again if there is no
# release.
make_parents() {
  [ -d "$1" ] && return 0
  make_parents "$(dirname "$1")"
  made_parents=("$1" "${made_parents[@]}")
  (umask "$caller_umask" && mkdir -- "$1" 2>/dev/null) || fail "cannot make the folder $1"
}
parent=$(dirname "$out")
make_parents "$parent"
[ -w "$parent" ] || fail "cannot write in $parent"

# Each certificate in a PEM file as one line of base64, to compare them.
pem_bodies() {
  awk '/-----BEGIN CERTIFICATE-----/ { body = ""; inside = 1; next }
       /-----END CERTIFICATE-----/ { print body; inside = 0; next }
       inside { body = body $0 }'
}

# The signing material is checked before the build, so mistakes cost seconds.
# The private key is never taken out of the PKCS#12 file: osslsigncode reads
# it there, and the password only ever from a file.
signer='' issuer='' serial='' fingerprint=''
if [ -n "$pkcs12" ]; then
  [ -e "$pkcs12" ] || fail "PKCS#12 file not found: $pkcs12"
  [ -f "$pkcs12" ] || fail "not a PKCS#12 file (not a regular file): $pkcs12"
  [ -r "$pkcs12" ] || fail "cannot read the PKCS#12 file: $pkcs12"
  [ -e "$password_file" ] || fail "password file not found: $password_file"
  if [ ! -f "$password_file" ] || [ ! -r "$password_file" ]; then
    fail "cannot read the password file (it must be a readable file): $password_file"
  fi
  case $timestamp in
    '' | http://?* | https://?*) ;;
    *) fail "the timestamp server must be an http:// or https:// URL: $timestamp" ;;
  esac

  # openssl reads the first line and keeps a CR; osslsigncode reads the whole
  # file and drops every CR and LF at its end. So the file must be one line,
  # ending in LF, CRLF or nothing, and both get the same bytes from a copy.
  # An empty password is refused: osslsigncode reads none from a file, and an
  # empty file is more likely a secret that was never filled in.
  if IFS= read -r -d '' password <"$password_file"; then
    fail "the password file holds a NUL byte: $password_file"
  fi
  case $password in *$'\r\n') password=${password%$'\r\n'} ;; *$'\n') password=${password%$'\n'} ;; esac
  case $password in
    '') fail "the password file gives an empty password, which is not accepted: $password_file" ;;
    *$'\n'*) fail "the password file has more than one line: $password_file" ;;
    *$'\r'*) fail "the password file has a carriage return before its end: $password_file" ;;
  esac
  printf '%s' "$password" >"$private/password"
  password=''

  leaf=$private/leaf.pem
  read_pkcs12=(openssl pkcs12 -in "$pkcs12" -passin "file:$private/password" -nokeys -clcerts -info -out "$leaf")
  # OpenSSL 3 reads the RC2-40 of files exported by older Windows only with its
  # legacy provider; osslsigncode loads that provider itself.
  if ! step "${read_pkcs12[@]}" 2>"$private/pkcs12.log" &&
    ! step "${read_pkcs12[@]}" -legacy 2>>"$private/pkcs12.log"; then
    if grep -qi 'mac verify' "$private/pkcs12.log"; then
      fail "wrong password for $pkcs12 (from $password_file)"
    fi
    fail "not a PKCS#12 file that OpenSSL can read: $pkcs12"
  fi
  grep -qiE 'key ?bag' "$private/pkcs12.log" || fail "$pkcs12 holds no private key"
  grep -q 'BEGIN CERTIFICATE' "$leaf" || fail "$pkcs12 holds no certificate for its private key"

  signer=$(openssl x509 -in "$leaf" -noout -subject -nameopt RFC2253)
  signer=${signer#subject=}
  issuer=$(openssl x509 -in "$leaf" -noout -issuer -nameopt RFC2253)
  issuer=${issuer#issuer=}
  serial=$(openssl x509 -in "$leaf" -noout -serial)
  serial=${serial#serial=}
  fingerprint=$(openssl x509 -in "$leaf" -noout -fingerprint -sha256)
  fingerprint=${fingerprint#*=}

  usages=$(openssl x509 -in "$leaf" -noout -ext extendedKeyUsage 2>/dev/null || true)
  case $usages in
    *'Code Signing'*) ;;
    *) fail "the certificate of $signer is not for code signing (no Code Signing extended key usage)" ;;
  esac
  not_before=$(openssl x509 -in "$leaf" -noout -startdate)
  not_after=$(openssl x509 -in "$leaf" -noout -enddate)
  if [ "$(date -u -d "${not_before#notBefore=}" +%s)" -gt "$(date -u +%s)" ]; then
    fail "the certificate of $signer is not valid yet (valid from ${not_before#notBefore=})"
  fi
  openssl x509 -in "$leaf" -noout -checkend 0 >/dev/null ||
    fail "the certificate of $signer has expired (${not_after#notAfter=})"
fi

# The reference build: the committed tree, exported, in a fresh folder, with
# nothing from the caller's environment that CMake would pick up.
echo "Building $program at $commit"
mkdir "$private/src"
step git -C "$repo" archive --format=tar -o "$private/src.tar" "$commit"
step tar -x -C "$private/src" -f "$private/src.tar"
unset CFLAGS CXXFLAGS CPPFLAGS LDFLAGS RCFLAGS CMAKE_BUILD_TYPE CMAKE_GENERATOR CMAKE_TOOLCHAIN_FILE \
  CMAKE_CONFIGURATION_TYPES CMAKE_EXPORT_COMPILE_COMMANDS
build=$private/build
if ! { step cmake -S "$private/src" -B "$build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake &&
  step cmake --build "$build" --target "$program" --parallel "$(nproc)"; } >"$private/build.log" 2>&1; then
  tail -n 30 "$private/build.log" >&2
  fail "the build failed"
fi
reference=$build/$program.exe
[ -f "$reference" ] || fail "the build left no $program.exe"

release=$private/release
mkdir "$release"
cp "$reference" "$release/$program.unsigned.exe"

if [ -n "$pkcs12" ]; then
  echo "Signing as $signer${timestamp:+, timestamped by $timestamp}"
  sign=(osslsigncode sign -pkcs12 "$pkcs12" -readpass "$private/password" -h sha256)
  if [ -n "$timestamp" ]; then sign+=(-ts "$timestamp"); fi
  if ! step "${sign[@]}" -in "$reference" -out "$release/$program.exe" >"$private/sign.log" 2>&1; then
    if [ -n "$timestamp" ] && grep -qi 'timestamp' "$private/sign.log"; then
      # 2.5 says "CURL failure: ...", 2.9 "HTTP failure: ..."; either names the cause.
      cause=$(grep -iE -m1 'failure|error' "$private/sign.log" || true)
      fail "timestamping through $timestamp failed${cause:+: $cause}"
    fi
    fail "osslsigncode could not sign: $(grep -v '^ *$' "$private/sign.log" | head -n 1)"
  fi

  # The release promises that removing the signature gives back the build.
  step osslsigncode remove-signature -in "$release/$program.exe" -out "$private/unsigned-again.exe" >/dev/null 2>&1 ||
    fail "osslsigncode could not remove the signature it made"
  cmp -s "$private/unsigned-again.exe" "$reference" ||
    fail "removing the signature does not give back the build byte for byte (its PE checksum or length changed)"

  # The signature must carry this certificate, and the timestamp when asked.
  # osslsigncode 2.5 extracts the whole WIN_CERTIFICATE (8-byte header, PKCS#7
  # data, padding); 2.9 the PKCS#7 data alone. The header ends in revision 2.0,
  # type 2 (PKCS#7); re-encoding drops the padding.
  step osslsigncode extract-signature -in "$release/$program.exe" -out "$private/signature.bin" >/dev/null 2>&1 ||
    fail "osslsigncode could not read back the signature"
  if [ "$(od -An -tx1 -j 4 -N 4 "$private/signature.bin" | tr -d ' ')" = 00020200 ]; then
    tail -c +9 "$private/signature.bin" >"$private/signature.p7"
  else
    cp "$private/signature.bin" "$private/signature.p7"
  fi
  if ! openssl pkcs7 -inform DER -in "$private/signature.p7" -outform DER -out "$private/signature.der" 2>/dev/null ||
    ! openssl pkcs7 -inform DER -in "$private/signature.der" -print_certs -out "$private/signature-certs.pem" 2>/dev/null; then
    fail "the signature could not be read back"
  fi
  pem_bodies <"$private/signature-certs.pem" >"$private/signature-certs.txt"
  grep -qxF "$(pem_bodies <"$leaf" | head -n 1)" "$private/signature-certs.txt" ||
    fail "the signature does not carry the certificate of $signer"
  if [ -n "$timestamp" ]; then
    # 1.3.6.1.4.1.311.3.3.1: the RFC 3161 timestamp as Authenticode carries it.
    openssl asn1parse -inform DER -in "$private/signature.der" -out /dev/null >"$private/signature.txt" ||
      fail "the signature could not be read back"
    grep -q ':1\.3\.6\.1\.4\.1\.311\.3\.3\.1$' "$private/signature.txt" ||
      fail "the signature carries no timestamp from $timestamp"
  fi
else
  cp "$reference" "$release/$program.exe"
fi

# What the release was made with, and how to check it.
package_versions() {
  local package state
  for package in "$@"; do
    state=$(dpkg-query -W -f='${db:Status-Abbrev}${Version}' "$package" 2>/dev/null) || state=
    case $state in
      'ii '*) printf '  %s %s\n' "$package" "${state#ii }" ;;
      *) printf '  %s (not installed)\n' "$package" ;;
    esac
  done
}
tool_version() {
  if command -v "$1" >/dev/null; then
    printf '  %s: %s\n' "$(command -v "$1")" "$("$1" --version 2>&1 | head -n 1 | sed 's/, using:$//')"
  fi
}
size_of() { stat -c %s "$1"; }
sha_of() { sha256sum <"$1" | cut -d' ' -f1; }
unsigned_sha=$(sha_of "$release/$program.unsigned.exe")
{
  echo "$program release"
  echo
  echo "commit:     $commit"
  echo "made:       $(date -u +%Y-%m-%dT%H:%M:%SZ)"
  if [ -n "$pkcs12" ]; then
    echo "signed:     yes, Authenticode SHA-256"
    echo "signer:     $signer"
    echo "issuer:     $issuer"
    echo "serial:     $serial"
    echo "cert SHA-256 fingerprint: $fingerprint"
    echo "timestamp:  ${timestamp:-none}"
  else
    echo "signed:     no"
  fi
  echo
  echo "files:"
  printf '  %s.exe  %s bytes  sha256 %s%s\n' "$program" "$(size_of "$release/$program.exe")" \
    "$(sha_of "$release/$program.exe")" "$([ -n "$pkcs12" ] && echo '  (signed)' || echo '  (unsigned)')"
  printf '  %s.unsigned.exe  %s bytes  sha256 %s  (the build)\n' "$program" \
    "$(size_of "$release/$program.unsigned.exe")" "$unsigned_sha"
  echo "imported DLLs: $(x86_64-w64-mingw32-objdump -p "$release/$program.unsigned.exe" |
    sed -n 's/^[[:space:]]*DLL Name: //p' | tr '\n' ' ' | sed 's/ $//')"
  echo
  echo "built with (Debian packages):"
  package_versions g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix-runtime \
    gcc-mingw-w64-base binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev mingw-w64-common cmake osslsigncode openssl
  echo "tools run:"
  tool_version x86_64-w64-mingw32-g++-posix
  tool_version x86_64-w64-mingw32-ld
  tool_version cmake
  if [ -n "$pkcs12" ]; then tool_version osslsigncode; fi
  echo
  echo "To rebuild it (Debian 12 with the packages above), from a clone of the repository:"
  echo "  mkdir src && git archive $commit | tar -x -C src"
  echo "  cmake -S src -B build -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake"
  echo "  cmake --build build --target $program"
  echo "  sha256sum build/$program.exe    # $unsigned_sha"
  echo
  echo "To compare a downloaded $program.exe with that build:"
  if [ -n "$pkcs12" ]; then
    echo "  osslsigncode remove-signature -in $program.exe -out download-unsigned.exe"
    echo "  cmp download-unsigned.exe build/$program.exe && echo identical"
    echo "(Removing the signature gives back the build byte for byte: checked when this release was made.)"
  else
    echo "  cmp $program.exe build/$program.exe && echo identical"
  fi
} >"$release/BUILDINFO"
(cd "$release" && sha256sum "$program.exe" "$program.unsigned.exe" >SHA256SUMS)
chmod 644 "$release"/*
chmod 755 "$release"

# Into place in one step: a sibling folder renamed onto DIR, which must still
# be new or empty. Once it is there, an interruption is too late to undo it.
staging=$(mktemp -d "$parent/.$program-release.XXXXXXXX")
cp -p "$release"/* "$staging/"
chmod 755 "$staging"
trap '' HUP INT TERM
mv -T -- "$staging" "$out" 2>/dev/null || fail "$out could not be written (is it still new or empty?)"
staging='' made_parents=()

echo "Release written to $out:"
(cd "$out" && sed 's/^/  /' SHA256SUMS)
if [ -n "$pkcs12" ]; then
  echo "Signed as $signer${timestamp:+, timestamped by $timestamp}."
else
  echo "This release is NOT signed (no --pkcs12 given): $program.exe is the unsigned build itself."
fi
