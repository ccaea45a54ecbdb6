#!/usr/bin/env bash
# Builds in Release and prints every benchmark figure. The view figures need a display:
# they run under Xvfb with Mesa's software renderer.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"
kelvra_ensure_packages
kelvra_build "$KELVRA_ROOT/build/bench" Release -DKELVRA_BUILD_TESTS=OFF -DKELVRA_BUILD_BENCH=ON

bin="$KELVRA_ROOT/build/bench/bin"
export LIBGL_ALWAYS_SOFTWARE=1 QT_QPA_PLATFORM=xcb
run_gui() { xvfb-run -a -s "-screen 0 1280x1024x24" "$@" 2> >(grep -v XDG_RUNTIME_DIR >&2); }

echo "== Relief view (577 x 577, Mesa software renderer)"
run_gui "$bin/bench_view" "${KELVRA_BENCH_SECONDS:-10}"
echo "== Movie playback"
run_gui "$bin/bench_movie"
echo "== Frame assembly"
"$bin/bench_assembly"
echo "== Live camera over a pseudo-terminal"
run_gui "$bin/bench_live"
