#!/usr/bin/env bash
# Builds the wizard and runs it on its embedded default scheme on the user's display.
# Without a display, run it under a virtual one: xvfb-run -a scripts/run-wizard.sh
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build -j "$(nproc)" --target quorvane
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found. Run the wizard under a virtual display instead:" >&2
  echo "  xvfb-run -a -s '-screen 0 1280x1024x24' scripts/run-wizard.sh" >&2
  exit 1
fi
exec build/app/quorvane
