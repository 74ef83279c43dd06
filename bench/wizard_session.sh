#!/usr/bin/env bash
# Runs the scripted end-to-end session of the wizard (the real program in a fresh Xvfb display,
# tests/app/wizard_session.py) a few times on each of two schemes and reports, for each run,
# the program's peak resident memory and the time from its start to the first screen, taken
# from the X server's event that maps the screen's window (the splash's four seconds plus the
# load). Targets: at most 60 MB and 4.3 s on both.
#
# The two schemes: the sample scheme the program embeds, and the same scheme grown to 1 MB by
# resources that nothing shows (the program bench/quorvane_1mb of the same build), so the
# session's script plays on it unchanged.
#
# A run that fails is reported with its whole output and its screenshots are kept; the other
# runs and the other scheme go on, and the script ends with status 1.
#
#   bench/wizard_session.sh [PROGRAM [RUNS [PROGRAM_1MB]]]
#     (default build/app/quorvane, 3 runs, the build's bench/quorvane_1mb)
set -uo pipefail
cd "$(dirname "$0")/.."
program="${1:-build/app/quorvane}"
runs="${2:-3}"
large="${3:-$(dirname "$program")/../bench/quorvane_1mb}"
artifacts="$(mktemp -d)"
failed=0
kept=0
finish() {
  # Only the failed runs' folders are left, for their screenshots.
  if [ "$kept" -eq 0 ]; then rm -rf "$artifacts"; fi
}
trap finish EXIT

# The value of a measurement line ("start to first screen: 4.19 s") in a run's output.
value() {
  sed -n "s/^$1: \([0-9.]*\).*/\1/p" "$2"
}

# min-max of the numbers on standard input, or "-" without any.
span() {
  sort -n | awk 'NR == 1 { low = $1 } { high = $1 } END { print NR ? low "-" high : "-" }'
}

session() {
  local name="$1" binary="$2"
  local memory=() start=() bad=0
  for i in $(seq "$runs"); do
    local folder="$artifacts/${name// /-}-$i"
    local output="$folder.log"
    /usr/bin/python3 tests/app/wizard_session.py "$binary" "$folder" --measure >"$output" 2>&1
    local status=$?
    if [ "$status" -eq 0 ]; then
      echo "$name, run $i:"
      grep -E '^(peak resident memory|start to first screen):' "$output" | sed 's/^/  /'
      memory+=("$(value 'peak resident memory' "$output")")
      start+=("$(value 'start to first screen' "$output")")
      rm -rf "$folder" "$output"
    else
      echo "$name, run $i: FAILED (status $status); its output:"
      sed 's/^/  | /' "$output"
      echo "  its screenshots stay in $folder"
      bad=$((bad + 1))
      failed=$((failed + 1))
      kept=1
    fi
  done
  summary+=("$name: $((runs - bad)) of $runs runs passed; peak resident memory \
$(printf '%s\n' "${memory[@]}" | grep . | span) MB; start to first screen \
$(printf '%s\n' "${start[@]}" | grep . | span) s")
}

summary=()
session "sample scheme" "$program"
if [ -x "$large" ]; then
  session "1 MB scheme" "$large"
else
  echo "1 MB scheme: $large is not built (cmake --build <build> --target quorvane_1mb)"
  failed=$((failed + 1))
fi
echo
echo "Summary (targets: at most 60 MB and 4.3 s):"
printf '  %s\n' "${summary[@]}"
[ "$failed" -eq 0 ]
