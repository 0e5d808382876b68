#!/usr/bin/env bash
# The release script end to end, on a throw-away repository made from the
# working tree's files (so uncommitted scripts and sources are what is tested):
#   release_test.sh SOURCE_DIR WORK_DIR VERIFY_TRUST_EXE WINE_RUN...
# WINE_RUN... runs a Windows program in the tests' private Wine prefix.
# A throw-away CA chain signs the program; the checks are one signed and
# timestamped round trip, one unsigned release, and a table of bad inputs and
# interruptions. On success WORK_DIR/signed-release/ holds the signed release,
# for later tests.
set -euo pipefail

if [ $# -lt 4 ]; then
  echo "usage: $0 SOURCE_DIR WORK_DIR VERIFY_TRUST_EXE WINE_RUN..." >&2
  exit 2
fi
source_dir=$(realpath "$1")
work=$(realpath -m "$2")
verify_trust=$(realpath "$3")
shift 3
wine_run=("$@")
here=$(dirname "$(realpath "$0")")
program=QuorvelDesktopShortcut
started=$SECONDS
# shellcheck source=tests/release/release_checks.sh
. "$here/release_checks.sh"
# shellcheck source=rig/wine-env.sh
. "$source_dir/rig/wine-env.sh"

for tool in git openssl osslsigncode python3 sha256sum x86_64-w64-mingw32-objdump; do
  command -v "$tool" >/dev/null || die "$tool not found"
done
echo "osslsigncode: $(command -v osslsigncode), $(osslsigncode --version 2>&1 | head -n 1 | sed 's/, using:$//')"

# WORK_DIR is wiped: only one this test made before, or an empty one.
if [ -d "$work" ] && [ -n "$(ls -A "$work")" ] && [ ! -e "$work/.release-test" ]; then
  die "$work is not empty and was not made by this test"
fi
rm -rf "$work"
mkdir -p "$work"
touch "$work/.release-test"

tsa_pid=''
stop_server() {
  if [ -n "$tsa_pid" ]; then kill "$tsa_pid" 2>/dev/null || true; fi
}
trap stop_server EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Everything stays on this machine: no proxy for the timestamp server.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY all_proxy ALL_PROXY
export no_proxy=127.0.0.1,localhost NO_PROXY=127.0.0.1,localhost

# --- The throw-away repository and certificates. ----------------------------
repo=$work/repo
bash "$here/snapshot_repo.sh" "$source_dir" "$repo"
commit=$(git -C "$repo" rev-parse HEAD)
release=$repo/tools/release.sh
[ -x "$release" ] || die "no executable tools/release.sh in the working tree"

pki=$work/pki
bash "$here/make_pki.sh" "$pki" >"$work/pki.log" 2>&1 || { cat "$work/pki.log"; die "could not make the throw-away certificates"; }
password=$(head -n 1 "$pki/password")
# The same password in other files, good and bad.
for entry in 'crlf:%s\r\n' 'two-lines:%s\nsecond line\n' 'stray-cr:%s\r' 'empty:' 'wrong:not it\n'; do
  # shellcheck disable=SC2059  # the formats are the table
  printf "${entry#*:}" "$password" >"$pki/${entry%%:*}-password"
done
signing=(--pkcs12 "$pki/signer.p12" --password-file "$pki/password")

# --- Bad inputs that are caught before the build. ---------------------------
refused usage-password-alone 2 'needs --pkcs12' --password-file "$pki/password"
refused usage-timestamp-alone 2 'needs --pkcs12' --timestamp http://127.0.0.1:9/
refused usage-pkcs12-alone 2 'needs --password-file' --pkcs12 "$pki/signer.p12"
refused usage-unknown 2 'unknown option' --sign-it
refused usage-missing-value 2 'needs a value' --out
refused missing-pkcs12 1 'PKCS#12 file not found' --pkcs12 "$work/no-such.p12" --password-file "$pki/password"
refused pem-not-pkcs12 1 'not a PKCS#12 file' --pkcs12 "$pki/root.crt" --password-file "$pki/password"
refused folder-not-pkcs12 1 'not a PKCS#12 file' --pkcs12 "$pki" --password-file "$pki/password"
refused missing-password-file 1 'password file not found' --pkcs12 "$pki/signer.p12" --password-file "$work/no-such"
for entry in 'wrong:wrong password' 'two-lines:more than one line' 'stray-cr:carriage return' 'empty:empty password'; do
  refused "password-${entry%%:*}" 1 "${entry#*:}" --pkcs12 "$pki/signer.p12" --password-file "$pki/${entry%%:*}-password"
done
refused not-code-signing 1 'not for code signing' --pkcs12 "$pki/tls.p12" --password-file "$pki/password"
refused expired 1 'has expired' --pkcs12 "$pki/expired.p12" --password-file "$pki/password"

cp "$repo/README.md" "$work/README.md.committed"
echo "An edit not yet committed." >>"$repo/README.md"
refused uncommitted-change 1 'uncommitted changes' "${signing[@]}"
cp "$work/README.md.committed" "$repo/README.md"

full=$work/runs/out-not-empty/out
mkdir -p "$full"
echo "an earlier release" >"$full/BUILDINFO"
before=$(cd "$full" && find . -printf '%p %s %T@\n' | sort)
run out-not-empty --out "$full" "${signing[@]}"
problems=()
[ "$(cd "$full" && find . -printf '%p %s %T@\n' | sort)" = "$before" ] || problems+=("the folder changed")
rm -rf "$full"
judge "refused, out-not-empty" 1 'is not empty'

# --- The round trip: build, sign with the chain, timestamp from a local server. ---
"$(command -v python3)" "$here/timestamp_server.py" "$pki/pki.cnf" "$work/tsa-port" 2>"$work/tsa.log" &
tsa_pid=$!
for _ in $(seq 50); do
  [ -s "$work/tsa-port" ] && break
  sleep 0.1
done
[ -s "$work/tsa-port" ] || die "the timestamp server did not start: $(cat "$work/tsa.log")"
tsa_url=http://127.0.0.1:$(cat "$work/tsa-port")/

# Signing material as it may come from Windows: a PKCS#12 file in the RC2-40
# that OpenSSL 3 reads only with its legacy provider, and a CRLF password file.
signed=$work/signed-release
run signed --out "$signed" --pkcs12 "$pki/legacy.p12" --password-file "$pki/crlf-password" --timestamp "$tsa_url"
if [ "$status" -ne 0 ]; then
  cat "$run/stdout" "$run/stderr"
  die "the signed release failed (exit $status)"
fi
ok "signed release made in $((SECONDS - started)) s so far"
check "the run left its temporary folder empty, and no half-made release" nothing_left
check "the release holds exactly BUILDINFO, SHA256SUMS and the two programs" \
  test "$(listing "$signed")" = "BUILDINFO $program.exe $program.unsigned.exe SHA256SUMS "

exe=$signed/$program.exe
unsigned=$signed/$program.unsigned.exe
size=$(stat -c %s "$exe")
check "the signed program is at most 65536 bytes ($size; unsigned $(stat -c %s "$unsigned"))" test "$size" -le 65536
sums_pass() { (cd "$1" && sha256sum --quiet -c SHA256SUMS); }
check "sha256sum -c SHA256SUMS passes in the release folder" sums_pass "$signed"
check "BUILDINFO names the commit $commit" grep -q "^commit: *$commit\$" "$signed/BUILDINFO"
says_signed() {
  grep -q '^signed: *yes' "$signed/BUILDINFO" && grep -q '^signer: .*CN=Release Test Signer' "$signed/BUILDINFO" &&
    grep -q "^timestamp: *$tsa_url\$" "$signed/BUILDINFO"
}
check "BUILDINFO says signed, by the test signer, with the timestamp URL" says_signed
check "stdout says who signed it" grep -q 'Signed as .*Release Test Signer' "$run/stdout"

verifies() {
  osslsigncode verify -CAfile "$pki/root.crt" -TSA-CAfile "$pki/root.crt" -in "$exe" >"$work/verify.log" 2>&1 &&
    grep -q '^Signature verification: ok' "$work/verify.log"
}
check "osslsigncode verify accepts the signature against the throw-away root" verifies
# 2.9 says "Timestamp time:", 2.5 "The signature is timestamped:"; both check the server's signature.
timestamped() {
  grep -q '^Timestamp Server Signature verification: ok' "$work/verify.log" &&
    grep -qE 'Timestamp time:|The signature is timestamped:' "$work/verify.log"
}
check "the signature carries a timestamp from the local server, and it verifies" timestamped
check "the timestamp server was asked once" test "$(grep -c '"POST' "$work/tsa.log")" -eq 1

osslsigncode remove-signature -in "$exe" -out "$work/signature-removed.exe" >/dev/null 2>&1 || true
check "osslsigncode remove-signature gives back the unsigned build byte for byte" \
  cmp -s "$work/signature-removed.exe" "$unsigned"

# One byte of code changed: the middle of .text, well past the headers.
tampered=$work/tampered.exe
cp "$exe" "$tampered"
read -r text_size text_offset < <(x86_64-w64-mingw32-objdump -h "$exe" | awk '$2 == ".text" { print $3, $6 }')
at=$((0x$text_offset + 0x$text_size / 2))
byte=$(od -An -tu1 -j "$at" -N 1 "$exe" | tr -d ' ')
printf '%b' "\\0$(printf '%03o' $((byte ^ 0xFF)))" | dd of="$tampered" bs=1 seek="$at" conv=notrunc status=none
check "the tampered copy differs from the signed program in one byte, at $at in .text" \
  test "$(cmp -l "$exe" "$tampered" | wc -l)" -eq 1
if osslsigncode verify -CAfile "$pki/root.crt" -TSA-CAfile "$pki/root.crt" -in "$tampered" >"$work/verify-tampered.log" 2>&1; then
  bad "osslsigncode verify accepts the tampered copy"
else
  ok "osslsigncode verify rejects the tampered copy"
fi

trust() { "${wine_run[@]}" "$verify_trust" "$(windows_path "$1")" 2>/dev/null | tr -d '\r'; }
for entry in "signed program:$exe:0x00000000" "unsigned build:$unsigned:0x800B0100" \
  "tampered copy:$tampered:0x80096010"; do
  IFS=: read -r what file expected <<<"$entry"
  answer=$(trust "$file") || answer="verify_trust failed: $answer"
  check "WinVerifyTrust under Wine, $what: $answer (expected $expected)" test "$answer" = "$expected"
done

# --- The same tree without a certificate: an independent build, unsigned. ---
run unsigned --out "$work/unsigned-release"
if [ "$status" -eq 0 ]; then
  ok "unsigned release made"
  check "stdout says plainly that it is not signed" grep -q 'NOT signed' "$run/stdout"
  check "the unsigned release's program is its unsigned build" \
    cmp -s "$work/unsigned-release/$program.exe" "$work/unsigned-release/$program.unsigned.exe"
  check "an independent build of the same commit is the same, byte for byte" \
    cmp -s "$work/unsigned-release/$program.exe" "$unsigned"
  check "BUILDINFO says unsigned" grep -q '^signed: *no' "$work/unsigned-release/BUILDINFO"
  check "the run left its temporary folder empty" tmp_left_empty
else
  bad "the unsigned release failed (exit $status): $(cat "$run/stderr")"
fi

# --- A timestamp server that cannot be reached fails after the build. -------
closed_port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
refused timestamp-unreachable 1 'timestamping through .* failed' "${signing[@]}" \
  --timestamp "http://127.0.0.1:$closed_port/"

# --- Interrupted while building: stopped at once, nothing left. --------------
for entry in INT:130 TERM:143 HUP:129; do interrupted "${entry%:*}" "${entry#*:}"; done

# The password is in no output at all.
if grep -rqF -- "$password" "$work/runs"; then bad "the password shows in some output"; else ok "the password shows in no output"; fi

echo
echo "release test: $passed passed, $failed failed, in $((SECONDS - started)) s"
if [ "$failed" -ne 0 ]; then
  echo "FAIL: $failed release check(s) failed"
  exit 1
fi
echo "The signed release is in $signed"
