#!/usr/bin/env bash
# Runs the scripted end-to-end session of the wizard (the real program in a fresh Xvfb display,
# tests/app/wizard_session.py) a few times on each of two schemes and reports, for each run,
# the program's peak resident memory and the time from its start to the first screen shown
# (the splash's four seconds plus the load). Targets: at most 60 MB and 4.3 s on both.
#
# The two schemes: the sample scheme the program embeds, and the same scheme grown to 1 MB by
# resources that nothing shows (the program bench/quorvane_1mb of the same build), so the
# session's script plays on it unchanged.
#
#   bench/wizard_session.sh [PROGRAM [RUNS [PROGRAM_1MB]]]
#     (default build/app/quorvane, 3 runs, the build's bench/quorvane_1mb)
set -euo pipefail
cd "$(dirname "$0")/.."
program="${1:-build/app/quorvane}"
runs="${2:-3}"
large="${3:-$(dirname "$program")/../bench/quorvane_1mb}"
artifacts="$(mktemp -d)"
trap 'rm -rf "$artifacts"' EXIT
session() {
  local name="$1" binary="$2"
  for i in $(seq "$runs"); do
    echo "$name, run $i:"
    /usr/bin/python3 tests/app/wizard_session.py "$binary" "$artifacts/${name// /-}-$i" --measure \
      2>/dev/null | sed 's/^/  /'
  done
}
session "sample scheme" "$program"
if [ -x "$large" ]; then
  session "1 MB scheme" "$large"
else
  echo "1 MB scheme: $large is not built (cmake --build <build> --target quorvane_1mb)"
fi
