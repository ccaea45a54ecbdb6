#!/usr/bin/env bash
# Builds and runs the whole test suite under Xvfb with Mesa's software renderer, then builds
# and runs it again with AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"
kelvra_ensure_packages
kelvra_build "$KELVRA_ROOT/build/test" RelWithDebInfo

export LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb
cd "$KELVRA_ROOT/build/test"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure --timeout 300 -j "$(nproc)"

# The same suite again, built with AddressSanitizer and UndefinedBehaviorSanitizer: any report,
# a leak included, fails the test that caused it.
kelvra_build_sanitized "$KELVRA_ROOT/build/asan"
kelvra_sanitizer_env
# A smaller hostile-input flood takes the same paths in a fraction of the time; the run above
# keeps the full size.
export KELVRA_FLOOD_MB=16
cd "$KELVRA_ROOT/build/asan"
xvfb-run -a -s "-screen 0 1280x1024x24" ctest --output-on-failure --timeout 300 -j "$(nproc)"
