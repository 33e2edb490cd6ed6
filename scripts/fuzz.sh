#!/usr/bin/env bash
# Fuzzes every reader: builds the fuzz tree (build/fuzz, clang, ASan and UBSan), writes the seed
# corpora with the library itself, then runs each libFuzzer target for the given seconds (60 by
# default) from a fixed seed, four at a time (TARVO_FUZZ_JOBS). A crash, a sanitizer report, a
# leak, an input over the time or memory limits or a broken property fails the run; the input
# that did it is kept in build/fuzz/findings/. The corpora grow in build/fuzz/work/ and are
# kept between runs.
#   bash scripts/fuzz.sh          # the bounded run that scripts/test.sh makes
#   bash scripts/fuzz.sh 3600     # an hour per target
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
jobs=${TARVO_FUZZ_JOBS:-4}
tree=build/fuzz
mkdir -p $tree
exec 9>$tree/.fuzz.lock
flock -n 9 || { echo "scripts/fuzz.sh is already running on $tree" >&2; exit 1; }

if [[ ! -f $tree/build.ninja ]]; then
  cmake -S . -B $tree -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTARVO_FUZZ=ON -DTARVO_BUILD_BENCH=OFF
fi
cmake --build $tree -j "$(nproc)"
rm -rf $tree/seeds
$tree/fuzz/make_seeds $tree/seeds >/dev/null

# target                   seed corpus
targets='
graph_section_fuzzer       graph_section
graph_file_fuzzer          graph_file
tarvo_deserialize_fuzzer   index_blob
tarvo_load_fuzzer          index_blob
tarvo_load_graph_fuzzer    graph_file
'
mkdir -p $tree/findings $tree/logs
run_target() {  # <target> <seed corpus>
  local target=$1 seeds=$tree/seeds/$2 work=$tree/work/$1
  mkdir -p "$work"
  # The seeds are a few KiB; room for twice the largest lets inputs grow past every field.
  local max_len=$(($(find "$seeds" -type f -printf '%s\n' | sort -n | tail -n 1) * 2))
  # Standard output (the readers' lines) is closed; the fuzzer reports on standard error.
  $tree/fuzz/"$target" "$work" "$seeds" -max_total_time="$seconds" -seed=6552 -max_len="$max_len" \
    -timeout=30 -rss_limit_mb=2048 -malloc_limit_mb=512 -close_fd_mask=1 -print_final_stats=1 \
    -artifact_prefix=$tree/findings/"$target"- >$tree/logs/"$target".log 2>&1 &&
    echo ok >$tree/logs/"$target".result || echo FAILED >$tree/logs/"$target".result
}

names=()
while read -r target seeds; do
  [[ -n $target ]] || continue
  while (($(jobs -rp | wc -l) >= jobs)); do wait -n || true; done  # results are in the logs
  rm -f $tree/logs/"$target".result
  run_target "$target" "$seeds" &
  names+=("$target")
done <<<"$targets"
wait

status=0
passed=0
for target in "${names[@]}"; do
  log=$tree/logs/$target.log
  result=$(cat $tree/logs/"$target".result 2>/dev/null || echo FAILED)
  if [[ $result == ok ]]; then passed=$((passed + 1)); else status=1; fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  edges=$(grep -aoE '^#[0-9]+.* cov: [0-9]+' "$log" | tail -n 1 | sed 's/.*cov: //' || true)
  echo "fuzz $target: $result, ${runs:-?} executions, ${edges:-?} edges covered (log: $log)"
  if [[ $result != ok ]]; then
    grep -E 'ERROR|SUMMARY|fuzz property failed|Test unit written' "$log" | head -n 20 || true
  fi
done
echo "fuzz: $passed passed, $((${#names[@]} - passed)) failed"
exit $status
