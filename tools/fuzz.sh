#!/usr/bin/env bash
# Builds every fuzz target of tests/fuzz (each fuzz_<name>.cpp) with clang,
# under AddressSanitizer and UndefinedBehaviorSanitizer, with the libraries
# instrumented for coverage, and runs each from its corpus
# (tests/fuzz/corpus/<name>/) for the given time, a few at once.
#
# An input that crashed, leaked or hung is copied into the corpus under its
# libFuzzer name, so the corpus test of every CI build runs it from then on.
# Such an input fails that test until the fault is fixed: fix it (and keep the
# input, under a name that says what it holds) or remove the input before
# committing, or the build goes red.
# Inputs that merely reached new code go to a working corpus in the build
# folder (<build>/fuzz-corpus/<name>/), which the next run starts from too;
# with ONDREL_FUZZ_KEEP_COVERAGE=1 the ones that add coverage are merged into
# the checked-in corpus as well. Logs and findings of the last run stay in
# <build>/fuzz-runs/<name>/; the closing table gives the covered edges.
#
# Usage: tools/fuzz.sh [seconds per target (600)] [targets at once (4)] [target names...]
# Environment: ONDREL_FUZZ_BUILD (build folder, default build-fuzz),
# ONDREL_FUZZ_KEEP_COVERAGE (1: merge new coverage into the corpus).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
seconds="${1:-600}"
parallel="${2:-4}"
shift 2 || shift $# || true
build="${ONDREL_FUZZ_BUILD:-$root/build-fuzz}"

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for src in "$root"/tests/fuzz/fuzz_*.cpp; do
    name="$(basename "$src" .cpp)"
    targets+=("${name#fuzz_}")
  done
fi

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo -DONDREL_FUZZ=ON -DONDREL_SANITIZE=ON -DONDREL_GUI=OFF \
  -DONDREL_BENCH=OFF -DONDREL_TESTS=ON "${launcher[@]}" >/dev/null
cmake --build "$build" --target "${targets[@]/#/fuzz_}"

export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1"
export LSAN_OPTIONS="suppressions=$root/.ci/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"

# One target: fuzz into a scratch corpus, then keep what is worth keeping.
run_one() {
  local name="$1"
  local fuzzer="$build/tests/fuzz/fuzz_$name"
  local corpus="$root/tests/fuzz/corpus/$name"
  local work="$build/fuzz-runs/$name"
  local grown="$build/fuzz-corpus/$name"
  rm -rf "$work"
  mkdir -p "$work" "$grown" "$corpus"
  # A target may add libFuzzer flags of its own (one a line, after the
  # defaults, so they win): a tighter time limit where slowness is the fault
  # looked for, a looser one where an input is slow by design.
  local extra=()
  if [ -f "$root/tests/fuzz/fuzz_$name.options" ]; then
    mapfile -t extra < <(grep -v '^\s*#' "$root/tests/fuzz/fuzz_$name.options" | sed '/^\s*$/d')
  fi
  "$fuzzer" "$grown" "$corpus" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$work/" "${extra[@]}" >"$work/log" 2>&1 || true
  if [ "${ONDREL_FUZZ_KEEP_COVERAGE:-0}" = 1 ]; then
    "$fuzzer" -merge=1 "$corpus" "$grown" >"$work/merge.log" 2>&1 || true
  fi
  # Inputs that found a fault.
  local found=0
  for f in "$work"/crash-* "$work"/leak-* "$work"/timeout-* "$work"/oom-* "$work"/slow-unit-*; do
    [ -e "$f" ] || continue
    cp "$f" "$corpus/"
    found=$((found + 1))
  done
  local cov
  cov="$(grep -o 'cov: [0-9]*' "$work/log" | tail -1 | cut -d' ' -f2)"
  local execs
  execs="$(grep -o 'stat::number_of_executed_units: [0-9]*' "$work/log" | cut -d' ' -f2)"
  printf '%-12s covered edges %-6s runs %-10s findings %s\n' "$name" "${cov:-?}" "${execs:-?}" "$found" \
    >"$work/summary"
}

running=0
for name in "${targets[@]}"; do
  run_one "$name" &
  running=$((running + 1))
  if [ "$running" -ge "$parallel" ]; then
    wait -n || true
    running=$((running - 1))
  fi
done
wait

status=0
for name in "${targets[@]}"; do
  cat "$build/fuzz-runs/$name/summary"
  if ! grep -q 'findings 0$' "$build/fuzz-runs/$name/summary"; then
    status=1
    grep -m1 -A12 'ERROR: \|runtime error\|deadly signal' "$build/fuzz-runs/$name/log" | sed 's/^/    /' || true
  fi
done
exit "$status"
