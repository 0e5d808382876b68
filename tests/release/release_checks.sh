# shellcheck shell=bash disable=SC2154  # $release, $repo and $work: the test sets them
# Sourced by release_test.sh: counting checks, and running release.sh and
# judging how it stopped. Uses $release (the script), $repo (its repository)
# and $work (the test's folder); each run gets a folder WORK/runs/NAME.

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

# start NAME ARGS...: starts release.sh in the background in a folder of its
# own, NAME, with stdout, stderr, an empty TMPDIR tmp/, and --out NAME/out
# unless ARGS give another; sets $run (the folder) and $pid. SIGINT is let
# through: bash would have it ignored, and the script could not catch it.
start() {
  run=$work/runs/$1
  shift
  mkdir -p "$run/tmp"
  (cd "$run" && exec env --default-signal=INT TMPDIR="$run/tmp" "$release" --out "$run/out" "$@" >stdout 2>stderr) &
  pid=$!
}
# run NAME ARGS...: the same, to its end; sets $status.
run() {
  start "$@"
  status=0
  wait "$pid" || status=$?
}
listing() { find "$1" -mindepth 1 -maxdepth 1 -printf '%f\n' | sort | tr '\n' ' '; }
tmp_left_empty() { [ -z "$(listing "$run/tmp")" ]; }
# Nothing but the logs and tmp/ in the run's folder: no DIR, no half-made
# release or parent folder beside it; and nothing in the repository's dist/.
nothing_left() {
  [ "$(listing "$run")" = "stderr stdout tmp " ] && tmp_left_empty && [ ! -e "$repo/dist" ]
}

# judge NAME EXIT PHRASE: the run stopped with EXIT, said PHRASE in one line
# (two with the usage line) and left nothing behind, nor $problems found before.
judge() {
  local lines=1
  [ "$2" -ne 2 ] || lines=2
  [ "$status" -eq "$2" ] || problems+=("exit $status, not $2")
  grep -qiE "$3" "$run/stderr" || problems+=("no \"$3\" on stderr")
  [ "$(wc -l <"$run/stderr")" -eq "$lines" ] || problems+=("$(wc -l <"$run/stderr") lines on stderr, not $lines")
  nothing_left || problems+=("left something behind: $(cd "$run" && find . -mindepth 1 -maxdepth 2 | sort | tr '\n' ' ')")
  if [ ${#problems[@]} -eq 0 ]; then
    ok "$1: $(head -n 1 "$run/stderr")"
  else
    bad "$1: $(printf '%s; ' "${problems[@]}")stderr: $(head -n 2 "$run/stderr" | tr '\n' ' ')"
  fi
}

# refused NAME EXIT PHRASE ARGS...: release.sh refuses ARGS that way.
refused() {
  run "$1" "${@:4}"
  problems=()
  judge "refused, $1" "$2" "$3"
}

# interrupted SIGNAL EXIT: release.sh, sent SIGNAL once its build has begun,
# stops within five seconds with EXIT, says so, and leaves no process (none
# has its TMPDIR) and nothing on disk, not even the two parents of its DIR.
interrupted() {
  local tries=50
  start "interrupted-$1" --out "$work/runs/interrupted-$1/made/for/out"
  until compgen -G "$run/tmp/release.*/build" >/dev/null || ! kill -0 "$pid" 2>/dev/null; do sleep 0.05; done
  kill -s "$1" "$pid" 2>/dev/null || true
  while kill -0 "$pid" 2>/dev/null && [ $((tries -= 1)) -gt 0 ]; do sleep 0.1; done
  problems=()
  kill -KILL "$pid" 2>/dev/null && problems+=("still running 5 s after SIG$1")
  status=0
  wait "$pid" || status=$?
  grep -qzxF "TMPDIR=$run/tmp" /proc/[0-9]*/environ 2>/dev/null && problems+=("its processes live on")
  judge "SIG$1 while building" "$2" '^release\.sh: interrupted$'
}
