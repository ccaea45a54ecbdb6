#!/usr/bin/env bash
# Starts the viewer with the simulated camera attached as COM1.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"
kelvra_ensure_packages
kelvra_build "$KELVRA_ROOT/build/release" Release -DKELVRA_BUILD_TESTS=OFF -DKELVRA_BUILD_BENCH=OFF

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display found: run the viewer under Xvfb with  xvfb-run -a -s '-screen 0 1024x900x24' ./run.sh" >&2
  exit 1
fi

bin="$KELVRA_ROOT/build/release/bin"
if [ -x "$bin/kelvra-camsim" ]; then
  "$bin/kelvra-camsim" --port COM1 &
  sim=$!
  trap 'kill "$sim" 2>/dev/null; wait "$sim" 2>/dev/null || true' EXIT
fi
"$bin/kelvra23" "$@"
