#!/usr/bin/env bash
# The release script end to end, on a throw-away repository made from the
# working tree's files (so uncommitted scripts and sources are what is tested):
#   release_test.sh SOURCE_DIR WORK_DIR VERIFY_TRUST_EXE WINE_RUN...
# WINE_RUN... runs a Windows program in the tests' private Wine prefix.
# A throw-away CA chain signs the program; the checks are one signed and
# timestamped round trip, one unsigned release, and a table of bad inputs.
# On success WORK_DIR/signed-release/ holds the signed release, for later tests.
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

passed=0 failed=0
ok() {
  passed=$((passed + 1))
  echo "ok: $*"
}
bad() {
  failed=$((failed + 1))
  echo "FAIL: $*"
}
check() {
  local what=$1
  shift
  if "$@"; then ok "$what"; else bad "$what"; fi
}
die() {
  echo "FAIL: $*"
  exit 1
}

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

# --- The throw-away repository: the working tree's files, one commit. --------
repo=$work/repo
mkdir "$repo"
git -C "$source_dir" ls-files -co --exclude-standard -z |
  while IFS= read -r -d '' file; do
    # Files deleted but not yet staged are still listed; dist/ is where
    # releases land by default, not source.
    case $file in dist/*) continue ;; esac
    if [ -e "$source_dir/$file" ] || [ -L "$source_dir/$file" ]; then printf '%s\0' "$file"; fi
  done |
  tar -C "$source_dir" --null -T - -cf - | tar -C "$repo" -xf -
in_repo_git() {
  GIT_AUTHOR_NAME='Release Test' GIT_AUTHOR_EMAIL=release-test@example.invalid \
    GIT_COMMITTER_NAME='Release Test' GIT_COMMITTER_EMAIL=release-test@example.invalid \
    GIT_AUTHOR_DATE='2000-01-01T00:00:00Z' GIT_COMMITTER_DATE='2000-01-01T00:00:00Z' \
    git -C "$repo" -c commit.gpgsign=false -c core.hooksPath=/dev/null -c init.defaultBranch=main "$@"
}
in_repo_git init -q
in_repo_git add -A
in_repo_git commit -q -m 'Snapshot of the working tree for the release test'
commit=$(git -C "$repo" rev-parse HEAD)
release=$repo/tools/release.sh
[ -x "$release" ] || die "no executable tools/release.sh in the working tree"

# --- Throw-away certificates: root, intermediate, code-signing leaf, and the
# odd ones (no code-signing usage, expired, a timestamping authority). --------
pki=$work/pki
mkdir -p "$pki/issued"
cat >"$pki/pki.cnf" <<'EOF'
[req]
distinguished_name = dn
[dn]
[root_ext]
basicConstraints = critical,CA:TRUE
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
[intermediate_ext]
basicConstraints = critical,CA:TRUE,pathlen:0
keyUsage = critical,keyCertSign,cRLSign
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[signer_ext]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = codeSigning
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[tls_ext]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature,keyEncipherment
extendedKeyUsage = serverAuth,clientAuth
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
[tsa_ext]
basicConstraints = critical,CA:FALSE
keyUsage = critical,digitalSignature
extendedKeyUsage = critical,timeStamping
subjectKeyIdentifier = hash
authorityKeyIdentifier = keyid
# Only for the expired certificate: openssl ca is what takes a start date.
[ca]
default_ca = past
[past]
database = index.txt
new_certs_dir = issued
serial = ca-serial
default_md = sha256
policy = any
unique_subject = no
[any]
organizationName = optional
commonName = supplied
# The timestamp server's answers.
[tsa]
default_tsa = test_tsa
[test_tsa]
serial = tsa-serial
signer_cert = tsa.crt
signer_key = tsa.key
signer_digest = sha256
default_policy = 1.3.6.1.4.1.99999.1
digests = sha256, sha384, sha512
accuracy = secs:1
ess_cert_id_alg = sha256
EOF
# Wine 8 checks RSA certificate signatures; it gives 0x80096004 for ECDSA ones.
make_pki() (
  cd "$pki"
  : >index.txt
  echo 1000 >ca-serial
  echo 01 >tsa-serial
  key() { openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1.key" 2>/dev/null; }
  csr() { openssl req -new -config pki.cnf -key "$1.key" -subj "$2" -out "$1.csr"; }
  issue() { # NAME CSR ISSUER EXTENSIONS
    openssl x509 -req -in "$2.csr" -CA "$3.crt" -CAkey "$3.key" -set_serial "0x$(openssl rand -hex 8)" \
      -days 2 -extfile pki.cnf -extensions "$4" -out "$1.crt" 2>/dev/null
  }
  key root
  openssl req -x509 -new -config pki.cnf -key root.key -subj '/CN=Release Test Root CA' -days 2 \
    -extensions root_ext -out root.crt
  key intermediate
  csr intermediate '/CN=Release Test Intermediate CA'
  issue intermediate intermediate root intermediate_ext
  key signer
  csr signer '/O=Release Test/CN=Release Test Signer'
  issue signer signer intermediate signer_ext
  issue tls signer intermediate tls_ext
  openssl ca -batch -config pki.cnf -notext -in signer.csr -cert intermediate.crt -keyfile intermediate.key \
    -startdate 20200101000000Z -enddate 20200201000000Z -extensions signer_ext -extfile pki.cnf \
    -out expired.crt 2>/dev/null
  key tsa
  csr tsa '/CN=Release Test Timestamps'
  issue tsa tsa root tsa_ext
  cat intermediate.crt root.crt >chain.pem
  # A password with spaces, quotes and a dollar, ending in a newline like most files.
  printf '%s\n' "no space \"left\" \$HOME" >password
  printf 'not it\n' >wrong-password
  for leaf in signer tls expired; do
    openssl pkcs12 -export -inkey signer.key -in "$leaf.crt" -certfile chain.pem -name "$leaf" \
      -passout file:password -out "$leaf.p12"
  done
)
make_pki >"$work/pki.log" 2>&1 || { cat "$work/pki.log"; die "could not make the throw-away certificates"; }
password=$(head -n 1 "$pki/password")

# --- Runs of release.sh, each with a TMPDIR of its own to see it left empty. ---
# run NAME ARGS...: runs release.sh from WORK_DIR/runs/NAME; sets $status,
# $run (its folder, with stdout, stderr and an empty tmp/ before).
run() {
  local name=$1
  shift
  run=$work/runs/$name
  mkdir -p "$run/tmp"
  status=0
  (cd "$run" && TMPDIR=$run/tmp "$release" "$@" >"$run/stdout" 2>"$run/stderr") || status=$?
}
listing() { find "$1" -mindepth 1 -maxdepth 1 -printf '%f\n' | sort | tr '\n' ' '; }
tmp_left_empty() { [ -z "$(listing "$run/tmp")" ]; }
# Nothing but the logs and tmp/ in the run's folder: no DIR, no half-made
# release beside it; and nothing in the repository's default dist/.
nothing_left() {
  [ "$(listing "$run")" = "stderr stdout tmp " ] && tmp_left_empty && [ ! -e "$repo/dist" ]
}

# refused NAME EXIT PHRASE ARGS...: release.sh stops with EXIT (or any failure
# when EXIT is "fail"), says PHRASE in one line (two with the usage line), and
# leaves nothing behind.
refused() {
  local name=$1 expected=$2 phrase=$3 lines=1
  shift 3
  run "$name" "$@"
  local problems=()
  if [ "$expected" = fail ]; then
    [ "$status" -ne 0 ] || problems+=("exit 0")
  else
    [ "$status" -eq "$expected" ] || problems+=("exit $status, not $expected")
    [ "$expected" -ne 2 ] || lines=2
  fi
  grep -qiE "$phrase" "$run/stderr" || problems+=("no \"$phrase\" on stderr")
  [ "$(wc -l <"$run/stderr")" -eq "$lines" ] || problems+=("$(wc -l <"$run/stderr") lines on stderr, not $lines")
  nothing_left || problems+=("left something behind: $(cd "$run" && find . -mindepth 1 | sort | tr '\n' ' ')")
  if [ ${#problems[@]} -eq 0 ]; then
    ok "refused, $name: $(head -n 1 "$run/stderr")"
  else
    bad "$name: ${problems[*]}; stderr: $(head -n 2 "$run/stderr" | tr '\n' ' ')"
  fi
}

signing=(--pkcs12 "$pki/signer.p12" --password-file "$pki/password")
out() { echo "$work/runs/$1/out"; }

# --- Bad inputs that are caught before the build. ---------------------------
refused usage-password-alone 2 'needs --pkcs12' --password-file "$pki/password"
refused usage-timestamp-alone 2 'needs --pkcs12' --timestamp http://127.0.0.1:9/
refused usage-pkcs12-alone 2 'needs --password-file' --pkcs12 "$pki/signer.p12"
refused usage-unknown 2 'unknown option' --sign-it
refused usage-missing-value 2 'needs a value' --out
refused missing-pkcs12 1 'PKCS#12 file not found' --out "$(out missing-pkcs12)" \
  --pkcs12 "$work/no-such.p12" --password-file "$pki/password"
refused pem-not-pkcs12 1 'not a PKCS#12 file' --out "$(out pem-not-pkcs12)" \
  --pkcs12 "$pki/root.crt" --password-file "$pki/password"
refused folder-not-pkcs12 1 'not a PKCS#12 file' --out "$(out folder-not-pkcs12)" \
  --pkcs12 "$pki" --password-file "$pki/password"
refused missing-password-file 1 'password file not found' --out "$(out missing-password-file)" \
  --pkcs12 "$pki/signer.p12" --password-file "$work/no-such-password"
refused wrong-password 1 'wrong password' --out "$(out wrong-password)" \
  --pkcs12 "$pki/signer.p12" --password-file "$pki/wrong-password"
refused not-code-signing 1 'not for code signing' --out "$(out not-code-signing)" \
  --pkcs12 "$pki/tls.p12" --password-file "$pki/password"
refused expired 1 'has expired' --out "$(out expired)" \
  --pkcs12 "$pki/expired.p12" --password-file "$pki/password"

cp "$repo/README.md" "$work/README.md.committed"
echo "An edit not yet committed." >>"$repo/README.md"
refused uncommitted-change 1 'uncommitted changes' --out "$(out uncommitted-change)" "${signing[@]}"
cp "$work/README.md.committed" "$repo/README.md"

full=$work/runs/out-not-empty/out
mkdir -p "$full"
echo "an earlier release" >"$full/BUILDINFO"
before=$(cd "$full" && find . -printf '%p %s %T@\n' | sort | sha256sum)
run out-not-empty --out "$full" "${signing[@]}"
after=$(cd "$full" && find . -printf '%p %s %T@\n' | sort | sha256sum)
if [ "$status" -eq 1 ] && grep -qi 'is not empty' "$run/stderr" && [ "$(wc -l <"$run/stderr")" -eq 1 ] &&
  [ "$before" = "$after" ] && tmp_left_empty && [ "$(listing "$run")" = "out stderr stdout tmp " ]; then
  ok "refused, out-not-empty: $(head -n 1 "$run/stderr"); the folder is as it was"
else
  bad "out-not-empty: exit $status, stderr: $(head -n 2 "$run/stderr" | tr '\n' ' ')"
fi
rm -rf "$full"

# --- The round trip: build, sign with the chain, timestamp from a local server. ---
"$(command -v python3)" "$here/timestamp_server.py" "$pki/pki.cnf" "$work/tsa-port" 2>"$work/tsa.log" &
tsa_pid=$!
for _ in $(seq 50); do
  [ -s "$work/tsa-port" ] && break
  sleep 0.1
done
[ -s "$work/tsa-port" ] || die "the timestamp server did not start: $(cat "$work/tsa.log")"
tsa_url=http://127.0.0.1:$(cat "$work/tsa-port")/

signed=$work/signed-release
run signed --out "$signed" "${signing[@]}" --timestamp "$tsa_url"
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

windows_path() { printf 'Z:%s' "$1" | sed 's|/|\\|g'; }
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
refused timestamp-unreachable 1 'timestamping through .* failed' --out "$(out timestamp-unreachable)" \
  "${signing[@]}" --timestamp "http://127.0.0.1:$closed_port/"

# The password is in no output at all.
if grep -rqF -- "$password" "$work/runs"; then bad "the password shows in some output"; else ok "the password shows in no output"; fi

echo
echo "release test: $passed passed, $failed failed, in $((SECONDS - started)) s"
if [ "$failed" -ne 0 ]; then
  echo "FAIL: $failed release check(s) failed"
  exit 1
fi
echo "The signed release is in $signed"
