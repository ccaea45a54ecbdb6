#!/usr/bin/env bash
# Soaks the viewer against the simulated camera: kelvra-camsim --unpaced for thousands of
# frames with recording on, every recorded file checked byte for byte against the camera's
# frames, the camera stopped and restarted twice on the way, and resident memory measured.
# Builds in Release and runs under Xvfb with Mesa's software renderer.
#
#   ./soak.sh [frames]    frames to soak, default 5000 (./test.sh runs the same test with 500)
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"
kelvra_ensure_packages

frames="${1:-5000}"
if ! [[ "$frames" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [frames]" >&2
  exit 2
fi

build="$KELVRA_ROOT/build/soak"
kelvra_build_target "$build" Release tst_soak -DKELVRA_BUILD_BENCH=OFF

export LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb KELVRA_SOAK_FRAMES="$frames"
# QtTest ends a test function after 5 minutes by default; allow 200 ms a frame.
export QTEST_FUNCTION_TIMEOUT=$((60000 + frames * 200))

echo "== Soak: $frames frames from kelvra-camsim --unpaced, recording on"
# The test prints one line with its figures: frames, rate, pauses, memory growth.
xvfb-run -a -s "-screen 0 1280x1024x24" "$build/bin/tst_soak" 2>&1 \
  | grep -v XDG_RUNTIME_DIR \
  | sed -n -e 's/^QINFO *: [^)]*) soak: /soak: /p' -e '/^FAIL\|^   Loc\|^Totals/p'
