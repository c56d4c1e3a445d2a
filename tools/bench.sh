#!/usr/bin/env bash
# Builds the benchmarks in Release in their own folder, runs them with
# repetitions and prints one line per ratio: the measured median ratio, its
# target and "met" or "missed".
#   tools/bench.sh [repetitions]        (default 3; build folder: build-bench,
#                                        or ONDREL_BENCH_BUILD)
# ONDREL_BENCH_ONLY=<regex> runs only the programs whose names match it (the
# other lines then read "not measured").
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${ONDREL_BENCH_BUILD:-$root/build-bench}
reps=${1:-3}
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}

launcher=()
if command -v ccache >/dev/null; then launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache); fi
cmake -S "$root" -B "$build" -G Ninja -DONDREL_BENCH=ON -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" >/dev/null
programs=(bench_typing bench_wordwrap bench_panels bench_regex bench_encodings bench_xml bench_json bench_discovery
  bench_textbuffer bench_folding bench_bigfile bench_panel_typing bench_editsweep)
if [[ -n ${ONDREL_BENCH_ONLY:-} ]]; then
  only=()
  for p in "${programs[@]}"; do [[ $p =~ $ONDREL_BENCH_ONLY ]] && only+=("$p"); done
  programs=("${only[@]}")
fi
cmake --build "$build" --target "${programs[@]}" >/dev/null

out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# Each program with only the benchmarks some ratio uses; a program that is
# missing or fails leaves its ratios "not measured".
run() {
  local name=$1 filter=$2
  local exe="$build/bench/$name"
  [[ " ${programs[*]} " == *" $name "* ]] || return 0
  if [[ ! -x $exe ]]; then
    echo "$name: not built" >&2
    return
  fi
  "$exe" --benchmark_filter="$filter" --benchmark_repetitions="$reps" \
    --benchmark_report_aggregates_only=true --benchmark_out_format=json \
    --benchmark_out="$out/$name.json" >/dev/null 2>"$out/$name.err" ||
    echo "$name: failed (see its output: $(tail -n 1 "$out/$name.err"))" >&2
}
run bench_typing 'TypeAndUndo|TypeWrapped|TypeUnwrapped'
run bench_folding 'CommandsBesideFolds|OpenMinified'
run bench_wordwrap 'EditLine|LineBreak|EditorTyping'
run bench_panels 'OpenSet|DiscoveryAndDecodingAlone|SearchAcrossPanels|InMemorySearch|GrepF|BigSet'
run bench_regex 'RatioToPcre2'
run bench_encodings '.'
run bench_xml 'XmlParse|ExpatParse'
run bench_json 'Parse_(Ondrel|RapidJson|Nlohmann)/'
run bench_discovery 'BM_ReadAndDecode|BM_Discovery$'
run bench_textbuffer 'BM_MemchrSplit|BM_LoadFromStream/'
run bench_bigfile 'BM_ReadAndSplitFloor|BM_OpenBigFile|BM_BigFileMemory'
run bench_panel_typing 'PanelKeys|PlainTextEditKeys|ScintillaKeys'
run bench_editsweep 'EditSweep'

python3 "$root/tools/bench_ratios.py" "$out"
