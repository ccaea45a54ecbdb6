#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for SECONDS seconds (default 60) on its
# corpus in fuzz/corpus/<target>/. Inputs that reach new code are merged into the corpus at
# the end. Any crash or broken check fails the script and keeps the input that caused it.
#
# Usage: ./fuzz.sh [SECONDS] [TARGET...]   (targets: frame_assembly frame_file movie_series
#        frame_image; all by default). KELVRA_FUZZ_BUILD overrides the build folder.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[1-9][0-9]*$ ]]; then
  echo "usage: $0 [SECONDS] [TARGET...]" >&2
  exit 2
fi
shift $(( $# > 0 ? 1 : 0 ))
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(frame_assembly frame_file movie_series frame_image)

# Longest input per target: file targets need room for a full frame written as 0x0D 0x0A
# pairs; the assembler repeats its payload, so short inputs already make long streams.
declare -A max_len=([frame_assembly]=4096 [frame_file]=33000 [movie_series]=512 [frame_image]=33000)
for t in "${targets[@]}"; do
  if [ -z "${max_len[$t]:-}" ]; then
    echo "unknown fuzz target '$t' (known: ${!max_len[*]})" >&2
    exit 2
  fi
done

kelvra_ensure_packages clang-14 libclang-rt-14-dev
build="${KELVRA_FUZZ_BUILD:-$KELVRA_ROOT/build/fuzz}"
kelvra_build_target "$build" RelWithDebInfo kelvra_fuzzers \
  -DCMAKE_CXX_COMPILER=clang++-14 -DKELVRA_FUZZ=ON -DKELVRA_BUILD_TESTS=OFF -DKELVRA_BUILD_BENCH=OFF

failed=()
summary=()
for t in "${targets[@]}"; do
  corpus="$KELVRA_ROOT/fuzz/corpus/$t"
  found="$build/found/$t"      # this run's new inputs, merged into the corpus at the end
  crashes="$build/crashes/$t"  # inputs that broke a check, kept for the developer
  log="$build/logs/$t.log"
  mkdir -p "$corpus" "$crashes" "$(dirname "$log")"
  rm -rf "$found" && mkdir -p "$found"
  before=$(find "$corpus" -type f | wc -l)
  touch "$build/logs/$t.start"

  echo "== $t: fuzzing for $seconds s (log: $log)"
  status=0
  "$build/bin/fuzz_$t" "$found" "$corpus" -max_total_time="$seconds" -print_final_stats=1 \
    -max_len="${max_len[$t]}" -timeout=10 -artifact_prefix="$crashes/" >"$log" 2>&1 || status=$?

  done_line=$(grep -E '^#[0-9]+[[:space:]]+DONE' "$log" | tail -n 1 || true)
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  cov=$(sed -nE 's/.* cov: ([0-9]+).*/\1/p' <<<"$done_line")
  ft=$(sed -nE 's/.* ft: ([0-9]+).*/\1/p' <<<"$done_line")

  if [ "$status" -ne 0 ]; then
    failed+=("$t")
    echo "!! $t failed (exit $status). End of its log:"
    tail -n 40 "$log"
    find "$crashes" -type f -newer "$build/logs/$t.start" | while read -r crash; do
      echo "!! kept input: $crash  (replay: $build/bin/fuzz_$t $crash)"
    done
    summary+=("$(printf '%-15s FAILED  execs %s  see %s' "$t" "${execs:-?}" "$crashes")")
    continue
  fi

  # Keep only the new inputs that reach code the corpus does not. Hit counts are left out
  # (-use_counters=0), or every new loop count would add a file and the corpus would bloat.
  "$build/bin/fuzz_$t" -merge=1 -use_counters=0 -max_len="${max_len[$t]}" "$corpus" "$found" \
    >>"$log" 2>&1
  after=$(find "$corpus" -type f | wc -l)
  echo "   $done_line"
  echo "   executions: $execs ($rate/s)  coverage: $cov edges, $ft features  corpus: $before -> $after files"
  summary+=("$(printf '%-15s ok      execs %-10s exec/s %-7s cov %-5s ft %-6s corpus %s -> %s' \
    "$t" "$execs" "$rate" "$cov" "$ft" "$before" "$after")")
done

echo
echo "Fuzzing summary ($seconds s per target):"
printf '  %s\n' "${summary[@]}"
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAILED: ${failed[*]}" >&2
  exit 1
fi
