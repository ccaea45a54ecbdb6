#!/usr/bin/env bash
# Builds and runs the whole test suite under Xvfb with Mesa's software renderer.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"
kelvra_ensure_packages
kelvra_build "$KELVRA_ROOT/build/test" RelWithDebInfo

export LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb
cd "$KELVRA_ROOT/build/test"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure --timeout 300 -j "$(nproc)"
