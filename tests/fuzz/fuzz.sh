#!/usr/bin/env bash
# Builds the apps.dat fuzzer with clang (libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer) and runs
# it for SECONDS (default 60) on the seed corpus. A long run: tests/fuzz/fuzz.sh 3600
# The corpus that grows from the seeds stays in build/fuzz/corpus between runs.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build/fuzz
mkdir -p "$out/corpus"
clang=$(command -v clang++) || { echo "clang++ is missing (apt-get install clang libclang-rt-dev)"; exit 1; }
"$clang" -std=c++17 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all -I"$root" \
    "$root/tests/fuzz/catalogue_fuzz.cpp" "$root/catalogue/catalogue_file.cpp" "$root/catalogue/records.cpp" \
    "$root/core/text.cpp" -o "$out/catalogue_fuzz"
cd "$out"
rm -f crash-* leak-* timeout-* oom-*  # each run reports what it found itself
./catalogue_fuzz -max_total_time="$seconds" -max_len=8192 -rss_limit_mb=2048 -print_final_stats=1 \
    corpus "$root/tests/fuzz/seeds" 2>&1 | tee fuzz.log | grep -E "^#[0-9]+ +(INITED|DONE)|stat::number_of_executed_units|ERROR|crash-|leak-" || true
grep -q "stat::number_of_executed_units" fuzz.log || { echo "the fuzzer stopped early: see $out/fuzz.log"; exit 1; }
# Any one kind of finding fails the run (ls of all four patterns at once succeeds only when each has a file).
findings=$(find . -maxdepth 1 \( -name 'crash-*' -o -name 'leak-*' -o -name 'timeout-*' -o -name 'oom-*' \) -print)
if [ -n "$findings" ]; then echo "findings in $out:" "$findings"; exit 1; fi
echo "fuzzing passed: $(sed -n 's/stat::number_of_executed_units: *//p' fuzz.log) inputs in ${seconds}s"
