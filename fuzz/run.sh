#!/usr/bin/env bash
# Builds the fuzz targets (one per native entry point, and the JSON reader under them all) with
# clang and libFuzzer, and runs each; any crash, leak, sanitizer report, timeout or out-of-memory
# fails the run. Without clang or libFuzzer it skips, except in CI (CI=true), where that fails.
#
#   fuzz/run.sh [SECONDS] [TARGET...]             a short run of each (default 15 s), as `make test` does;
#                                                 as many at once as there are CPUs
#   fuzz/run.sh --campaign SECONDS [TARGET...]    a long run that keeps what it finds
#
# Every run reads the target's kept corpus (fuzz/corpus/<target>.tar.xz: JSON compresses about
# fifty-fold, so the kept inputs stay small in the repository), the generated seeds
# (fuzz/corpus/seeds, and old/new pairs in fuzz/corpus/pairs for the compat targets;
# tools/make_corpus.py writes both) and what earlier runs found in build/fuzz/corpus/<target>/, so
# a campaign resumes where the last one stopped. A campaign then merges all of that, minimized,
# back into the kept corpus and adds a line to fuzz/campaign.tsv: date, target, CPU seconds,
# executions, coverage (libFuzzer's cov: edges and ft: features) and the kept corpus's files and
# bytes; tools/fuzz_report.py sums it. A finding is saved in build/fuzz/artifacts/<target>/; it
# belongs in fuzz/corpus/seeds/ (pairs/ for compat) as crash-<name>, where ctest replays it.
set -euo pipefail
cd "$(dirname "$0")/.."

campaign=false
if [[ "${1:-}" == "--campaign" ]]; then
  campaign=true
  shift
fi
seconds="${1:-15}"
[[ $# -gt 0 ]] && shift
build="${BRENVALE_FUZZ_BUILD:-build/fuzz}"
targets=("$@")
if [[ ${#targets[@]} -eq 0 ]]; then
  read -r -a targets <<<"$(sed -n 's/^set(fuzz_targets \(.*\))$/\1/p' fuzz/CMakeLists.txt)"
fi

missing() {
  local hint="(scripts/setup.sh installs clang and libfuzzer-14-dev)"
  [[ "${CI:-}" == "true" ]] && { echo "fuzz: $1; CI needs it $hint" >&2; exit 1; }
  echo "fuzz: skipped, $1 $hint"
  exit 0
}

command -v clang++ >/dev/null || missing "clang++ is not installed"
echo 'extern "C" int LLVMFuzzerTestOneInput(const char*, unsigned long) { return 0; }' \
  | clang++ -x c++ -fsanitize=fuzzer - -o /dev/null 2>/dev/null \
  || missing "clang++ cannot link libFuzzer"

# Line tables are all a sanitizer's report needs for its file:line frames; full debug info made
# the build a fifth longer (145 s against 119 s here), and CI builds this tree on every run.
cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -gline-tables-only -DNDEBUG" \
  -DBRENVALE_FUZZ=ON -DBRENVALE_TESTS=OFF >/dev/null
cmake --build "$build"

# Leaks count as findings; UBSan reports stop the run with a trace.
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
options=(-timeout=10 -rss_limit_mb=2048 -max_len=65536 -dict=fuzz/bundle.dict)
TIMEFORMAT='%U %S'
for target in "${targets[@]}"; do
  [[ -x "$build/fuzz/fuzz_$target" ]] || { echo "fuzz: no target named $target" >&2; exit 2; }
done

# One target's run; a finding returns 1, after the tail of its log.
fuzz_one() {
  local target=$1
  local binary="$build/fuzz/fuzz_$target"
  local archive="$PWD/fuzz/corpus/$target.tar.xz"
  local kept="$build/kept/$target"
  local work="$build/corpus/$target"
  local artifacts="$build/artifacts/$target"
  local log="$build/$target.log"
  local cpu executions coverage merged user system
  rm -rf "$kept"
  mkdir -p "$kept" "$work" "$artifacts"
  [[ -f "$archive" ]] && (cd "$kept" && cmake -E tar xf "$archive")
  local inputs=("$kept" fuzz/corpus/seeds)
  [[ "$target" == *compat ]] && inputs+=(fuzz/corpus/pairs)
  echo "fuzz: $target for ${seconds}s"
  # The first directory receives new inputs; the others are only read.
  if ! cpu=$({ time "$binary" -max_total_time="$seconds" "${options[@]}" -print_final_stats=1 \
    -artifact_prefix="$artifacts/" "$work" "${inputs[@]}" >"$log" 2>&1; } 2>&1); then
    tail -n 60 "$log" >&2
    echo "fuzz: $target found a problem; inputs in $artifacts/, full log $log" >&2
    return 1
  fi
  executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  coverage=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$log" | tail -n 1)
  echo "fuzz: $target $executions runs, $coverage"
  $campaign || return 0
  # Keep a minimal set with the coverage of everything seen; names are content hashes.
  merged="$build/merged/$target"
  rm -rf "$merged" && mkdir -p "$merged"
  "$binary" -merge=1 "${options[@]}" "$merged" "$kept" "$work" >"$build/$target.merge.log" 2>&1
  (cd "$merged" && find . -type f | LC_ALL=C sort | cmake -E tar cJf "$archive.new" --mtime=1970-01-01 \
    --files-from=/dev/stdin) && mv "$archive.new" "$archive"
  read -r user system <<<"$cpu"
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$(date -u +%Y-%m-%dT%H:%MZ)" "$target" \
    "$(awk -v u="$user" -v s="$system" 'BEGIN { printf "%.0f", u + s }')" "$executions" \
    "$(cut -d' ' -f2 <<<"$coverage")" "$(cut -d' ' -f4 <<<"$coverage")" \
    "$(find "$merged" -type f | wc -l)" "$(stat -c %s "$archive")" >>fuzz/campaign.tsv
}

if $campaign; then
  for target in "${targets[@]}"; do fuzz_one "$target" || exit 1; done
else
  # A short run keeps one CPU busy: as many run at once as there are CPUs, each in a lane of
  # its own, for its own seconds. Each lane's lines are printed once every lane has ended.
  lanes=$(nproc 2>/dev/null || echo 1)
  lanes=$((lanes < ${#targets[@]} ? lanes : ${#targets[@]}))
  lane_pids=()
  # Lanes ignore Ctrl-C, as background jobs of a script do: they are stopped with the run.
  trap 'kill "${lane_pids[@]}" 2>/dev/null; exit 130' INT TERM
  for ((lane = 0; lane < lanes; lane++)); do
    (
      for ((i = lane; i < ${#targets[@]}; i += lanes)); do
        fuzz_one "${targets[i]}" || exit 1
      done
    ) >"$build/lane-$lane.out" 2>&1 &
    lane_pids+=("$!")
  done
  failed=false
  for ((lane = 0; lane < lanes; lane++)); do
    wait "${lane_pids[lane]}" || failed=true
    cat "$build/lane-$lane.out"
  done
  $failed && exit 1
fi
echo "fuzz: ${#targets[@]} targets, ${seconds}s each, no findings; ${#targets[@]} passed, 0 failed"
