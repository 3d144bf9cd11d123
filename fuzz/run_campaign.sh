#!/bin/sh
# Runs a libFuzzer campaign over every fuzz target.
#
#   fuzz/run_campaign.sh SECONDS [TARGET...]
#
# Builds the targets with clang++ (-fsanitize=fuzzer,address,undefined) in
# their own build folder (build-libfuzzer, or $EGF_FUZZ_BUILD), then gives
# each target SECONDS of fuzzing, starting from a copy of its seed corpus in
# fuzz/corpus/<target>. New inputs stay in the build folder; crashes, leaks,
# timeouts and out-of-memory inputs are written to
# <build>/findings/<target>/, and a summary line per target (executions,
# findings) is printed at the end. Copy a finding into fuzz/corpus/<target>
# once it is fixed: the replay tests then keep it fixed.
set -eu

if [ $# -lt 1 ]; then
  echo "usage: $0 SECONDS [TARGET...]" >&2
  exit 2
fi
seconds=$1
shift

here=$(cd "$(dirname "$0")" && pwd)
source_dir=$(dirname "$here")
build=${EGF_FUZZ_BUILD:-$source_dir/build-libfuzzer}
cxx=${CXX_FUZZ:-clang++-14}
command -v "$cxx" >/dev/null 2>&1 || cxx=clang++
jobs=${EGF_FUZZ_JOBS:-2}

targets=${*:-"list_read fixed_read network_read record_read run"}

flags="-g -O1 -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer"
cmake -S "$source_dir" -B "$build" -DCMAKE_CXX_COMPILER="$cxx" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="$flags" -DEGF_LIBFUZZER=ON -DEGF_SANITIZE=OFF >/dev/null
for t in $targets; do
  cmake --build "$build" --target "fuzz_$t" -j "$jobs"
done

status=0
summary=""
for t in $targets; do
  work="$build/corpus/$t"
  found="$build/findings/$t"
  mkdir -p "$work" "$found"
  cp "$here/corpus/$t"/* "$work"/ 2>/dev/null || true
  log="$build/fuzz_$t.log"
  # -timeout: a reader that takes 5 s over one input hangs. A whole run
  # with the largest grid and synthetic (30 x 30 subfaults, 500 copies,
  # 15000 samples) is honest work of a minute under the sanitizers.
  timeout=5
  [ "$t" = run ] && timeout=120
  if ! "$build/fuzz/fuzz_$t" "$work" -max_total_time="$seconds" -timeout="$timeout" -rss_limit_mb=2048 \
      -max_len=65536 -print_final_stats=1 -artifact_prefix="$found/" >"$log" 2>&1; then
    status=1
  fi
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  n=$(find "$found" -type f | wc -l)
  summary="$summary$t: ${execs:-?} executions, $n findings (log $log)
"
done
printf '%s' "$summary"
exit $status
