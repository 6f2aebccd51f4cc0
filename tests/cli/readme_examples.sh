#!/usr/bin/env bash
# Runs the README's shell examples in order, as a new user would type them: every
# "$ tarnwick-cli ..." line and every "$ tarnwick-sim ... &" line of its fenced
# blocks, with the built programs, in a runtime folder of its own (so the first
# simulated board is sim0) and a scratch working folder. Each command must end
# with status 0 within its bound; a background board must get listed. Then each
# program is driven into each exit status docs/exit-status.md lists, and the
# statuses reached must be the table's rows, no more and no fewer.
#   readme_examples.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$1 source=$2
scratch=$(mktemp -d)
export XDG_RUNTIME_DIR=$scratch/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir "$scratch/work"
ln -s "$source/examples" "$scratch/work/examples"
ln -s "$source/boards" "$scratch/work/boards"
export PATH="$build/src/cli:$build/src/sim:$build/src/window:$PATH"
boards=()
cleanup() {
  for pid in "${boards[@]}"; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; done
  rm -rf "$scratch"
}
trap cleanup EXIT
failures=0 ran=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

listed() { ls "$XDG_RUNTIME_DIR/tarnwick" 2>/dev/null | grep -c '^sim[0-9]*$'; }

start_board() {  # the line without its "&"
  local before
  before=$(listed)
  eval "exec $1" >"$scratch/board$ran.log" 2>&1 </dev/null &
  boards+=($!)
  for _ in $(seq 100); do [ "$(listed)" -gt "$before" ] && return; sleep 0.05; done
  fail "'$1' listed no board: $(cat "$scratch/board$ran.log")"
}

cd "$scratch/work" || exit 1
in_block=0
while IFS= read -r line; do
  if [[ $line == '```'* ]]; then in_block=$((1 - in_block)); continue; fi
  [ $in_block -eq 1 ] || continue
  [[ $line =~ ^\$\ (tarnwick-cli|tarnwick-sim)\  ]] || continue
  command=${line#\$ }
  ran=$((ran + 1))
  if [[ $command =~ ^tarnwick-sim\ .*\&($|\ ) ]]; then
    start_board "${command%%&*}"
    continue
  fi
  out=$(timeout 30 bash -c "$command" 2>&1 </dev/null); status=$?
  [ $status -eq 0 ] || fail "'$command' ended with status $status: $(head -5 <<<"$out")"
done <"$source/README.md"

[ $ran -ge 8 ] || fail "only $ran examples found in README.md"

# sim0 is the README's first board: 01 at 9600 baud. PROGRAM|STATUS|COMMAND.
printf 'steps:\n  - send: cmd00\n    addr: "%s"\n' 01 >pass.yaml
printf 'steps:\n  - send: cmd00\n    addr: "%s"\n' 07 >fail.yaml
exit_cases=(
  "tarnwick-cli|0|set -o pipefail; tarnwick-cli --version | head -1 | grep -qx 'tarnwick-cli [0-9][0-9.]*' && tarnwick-cli send cmd00 --port sim0"
  "tarnwick-cli|1|tarnwick-cli send cmd00 --port sim0 --addr 07"
  "tarnwick-cli|2|tarnwick-cli send cmd00 --port sim0 --addr ZZ"
  "tarnwick-cli|3|tarnwick-cli send cmd00 --port /tmp"
  "tarnwick-cli scan|0|tarnwick-cli scan --port sim0 --baud 9600 --addr 01-02"
  "tarnwick-cli scan|1|tarnwick-cli scan --port sim0 --baud 2400 --addr 01-02"
  "tarnwick-cli scan|2|tarnwick-cli scan --port sim0 --timeout 0"
  "tarnwick-cli scan|3|tarnwick-cli scan --port /tmp"
  "tarnwick-cli watch|0|tarnwick-cli watch cmd00 --port sim0 --count 1"
  "tarnwick-cli watch|1|tarnwick-cli watch cmd00 --port sim0 --addr 07 --count 1"
  "tarnwick-cli watch|2|tarnwick-cli watch cmd00 --port sim0 --interval -1"
  "tarnwick-cli watch|3|tarnwick-cli watch cmd00 --port /tmp --count 1"
  "tarnwick-cli run|0|tarnwick-cli run pass.yaml --port sim0"
  "tarnwick-cli run|1|tarnwick-cli run fail.yaml --port sim0"
  "tarnwick-cli run|2|tarnwick-cli run missing.yaml --port sim0"
  "tarnwick-cli replay|0|tarnwick-cli --log session.log send cmd00 --port sim0 && tarnwick-cli replay session.log --sequence session.yaml"
  "tarnwick-cli replay|2|tarnwick-cli replay pass.yaml --sequence session.yaml"
  "tarnwick-sim|0|timeout --preserve-status 0.5 tarnwick-sim --no-register"
  "tarnwick-sim|1|tarnwick-sim --port /tmp"
  "tarnwick-sim|2|tarnwick-sim --address 1G"
  "tarnwick|0|tarnwick --version"
  "tarnwick|2|tarnwick --addr 1G"
)
has_window=$(command -v tarnwick >/dev/null && echo 1)
reached=()
for case in "${exit_cases[@]}"; do
  IFS='|' read -r program status command <<<"$case"
  [ "$program" != tarnwick ] || [ -n "$has_window" ] || continue
  out=$(timeout 30 bash -c "$command" 2>&1 </dev/null); got=$?
  [ $got -eq "$status" ] || fail "'$command' ended with status $got, not $status: $(head -3 <<<"$out")"
  reached+=("$program|$status")
done
documented=$(sed -nE 's/^\| *`?(tarnwick([a-z -]*[a-z])?)`? *\| *([0-9]+) *\|.*/\1|\3/p' "$source/docs/exit-status.md" |
  { if [ -n "$has_window" ]; then cat; else grep -v '^tarnwick|'; fi; } | sort)
differs=$(diff <(printf '%s\n' "${reached[@]}" | sort) - <<<"$documented") ||
  fail "the statuses reached (<) and docs/exit-status.md (>) differ: $differs"

[ $failures -eq 0 ] && echo "README: all $ran examples ran; all ${#reached[@]} exit statuses as documented"
exit $((failures > 0))
