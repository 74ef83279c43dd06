#!/usr/bin/env bash
# Runs the scripted end-to-end session of the wizard on its sample scheme (the real program in
# a fresh Xvfb display, tests/app/wizard_session.py) a few times and reports, for each run,
# the program's peak resident memory and the time from its start to the first screen shown
# (the splash's four seconds plus the load). Targets: at most 60 MB and 4.3 s.
#
#   bench/wizard_session.sh [PROGRAM [RUNS]]    (default build/app/quorvane, 3 runs)
set -euo pipefail
cd "$(dirname "$0")/.."
program="${1:-build/app/quorvane}"
runs="${2:-3}"
artifacts="$(mktemp -d)"
trap 'rm -rf "$artifacts"' EXIT
for i in $(seq "$runs"); do
  echo "run $i:"
  /usr/bin/python3 tests/app/wizard_session.py "$program" "$artifacts/run$i" --measure 2>/dev/null |
    sed 's/^/  /'
done
