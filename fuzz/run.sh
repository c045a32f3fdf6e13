#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs each for the given seconds (default
# 15); any crash, leak, sanitizer report, timeout or out-of-memory fails the run. A longer run
# before a release, an hour per target:
#   fuzz/run.sh 3600
# New inputs go to build/fuzz/corpus/<target>/, never into the checked-in seeds; a finding is
# saved in build/fuzz/artifacts/<target>/ and belongs in fuzz/corpus/seeds/ as crash-<name>
# (fuzz/corpus/compat/ for an old/new pair). tools/make_corpus.py regenerates the seeds.
# Without clang or libFuzzer it skips, except in CI (CI=true), where that is a failure.
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-15}"
build="${BRENVALE_FUZZ_BUILD:-build/fuzz}"
targets=(json_reader emit zod compat)

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

cmake -S . -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBRENVALE_FUZZ=ON -DBRENVALE_TESTS=OFF >/dev/null
cmake --build "$build"

# Leaks count as findings; UBSan reports stop the run with a trace.
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
for target in "${targets[@]}"; do
  work="$build/corpus/$target"
  artifacts="$build/artifacts/$target"
  mkdir -p "$work" "$artifacts"
  seeds=(fuzz/corpus/seeds)
  [[ -d fuzz/corpus/$target ]] && seeds+=(fuzz/corpus/"$target")
  log="$build/$target.log"
  echo "fuzz: $target for ${seconds}s"
  # The first directory receives new inputs; the seeds are only read.
  if ! "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -max_len=65536 -dict=fuzz/bundle.dict -print_final_stats=1 -artifact_prefix="$artifacts/" \
    "$work" "${seeds[@]}" >"$log" 2>&1; then
    tail -n 60 "$log" >&2
    echo "fuzz: $target found a problem; inputs in $artifacts/, full log $log" >&2
    exit 1
  fi
  grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | sed "s/^/fuzz: $target /" || true
done
echo "fuzz: ${#targets[@]} targets, ${seconds}s each, no findings; ${#targets[@]} passed, 0 failed"
