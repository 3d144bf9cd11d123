#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks (scripts/install-deps.sh), then
# builds and runs every test: the Release build, then the whole suite again
# under AddressSanitizer and UndefinedBehaviorSanitizer, then the tests that
# run work on several threads (label threaded) under ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

werror=OFF
if [ "${CI:-}" = true ]; then werror=ON; fi
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DEGF_WERROR="$werror" -DEGF_BUILD_TESTS=ON
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
# Why tests were skipped (the real records' folder, a missing instruction set ...).
grep -h -A1 ': Skipped$' build/Testing/Temporary/LastTest.log 2>/dev/null |
  grep -v -e ': Skipped$' -e '^--$' | sort | uniq -c || true

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEGF_SANITIZE=ON -DEGF_WERROR="$werror" -DEGF_BUILD_TESTS=ON
cmake --build build-sanitize -j"$jobs"
ctest --test-dir build-sanitize --output-on-failure -j"$jobs"

# ThreadSanitizer excludes the other two; only the threaded tests' programs
# are built for it.
cmake -S . -B build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DEGF_SANITIZE_THREAD=ON -DEGF_WERROR="$werror" -DEGF_BUILD_TESTS=ON
cmake --build build-tsan -j"$jobs" --target threaded_tests
ctest --test-dir build-tsan --output-on-failure -j"$jobs" -L threaded
