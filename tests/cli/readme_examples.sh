#!/usr/bin/env bash
# Runs the README's shell examples in order, as a new user would type them: every
# "$ tarnwick-cli ..." line and every "$ tarnwick-sim ... &" line of its fenced
# blocks, with the built programs, in a runtime folder of its own (so the first
# simulated board is sim0) and a scratch working folder. Each command must end
# with status 0 within its bound; a background board must get listed.
#   readme_examples.sh BUILD_DIR SOURCE_DIR
set -uo pipefail
build=$1 source=$2
scratch=$(mktemp -d)
export XDG_RUNTIME_DIR=$scratch/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
mkdir "$scratch/work"
ln -s "$source/examples" "$scratch/work/examples"
export PATH="$build/src/cli:$build/src/sim:$PATH"
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
[ $failures -eq 0 ] && echo "README: all $ran examples ran"
exit $((failures > 0))
