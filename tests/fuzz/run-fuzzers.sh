#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each of them.
#   tests/fuzz/run-fuzzers.sh --smoke        a few seconds each (what ./test runs)
#   tests/fuzz/run-fuzzers.sh [SECONDS]      a longer run, 300 s each by default
# Each target starts from its seed corpus in tests/fuzz/corpus/<target> and
# from the regression inputs in tests/fuzz/regressions/<target>; new inputs go
# to build-fuzz/corpus/<target>, crashes to build-fuzz/crashes.
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds=300
if [[ "${1:-}" == "--smoke" ]]; then seconds=${FUZZ_SMOKE_SECONDS:-3}; elif [[ -n "${1:-}" ]]; then seconds=$1; fi

CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVARNELO_FUZZ=ON -DVARNELO_GUI=OFF -DVARNELO_TESTS=OFF -DVARNELO_BENCH=OFF >/dev/null
cmake --build build-fuzz -j "$(nproc)"

mkdir -p build-fuzz/crashes
status=0
for target in build-fuzz/tests/fuzz/*_fuzz; do
  name=$(basename "$target")
  corpus=build-fuzz/corpus/$name
  mkdir -p "$corpus"
  dirs=("$corpus")
  [[ -d tests/fuzz/corpus/$name ]] && dirs+=("tests/fuzz/corpus/$name")
  # Regression inputs must pass on their own first.
  if [[ -d tests/fuzz/regressions/$name ]] && compgen -G "tests/fuzz/regressions/$name/*" >/dev/null; then
    if ! "$target" tests/fuzz/regressions/"$name"/* >/dev/null 2>&1; then
      echo "FAIL $name: a regression input fails"; status=1; continue
    fi
  fi
  if "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=65536 -print_final_stats=1 \
       -artifact_prefix=build-fuzz/crashes/"$name"- "${dirs[@]}" >build-fuzz/"$name".log 2>&1; then
    echo "ok   $name ($(grep -o 'stat::number_of_executed_units: [0-9]*' build-fuzz/"$name".log | awk '{print $2}') runs)"
  else
    echo "FAIL $name: see build-fuzz/$name.log"; tail -30 build-fuzz/"$name".log; status=1
  fi
done
exit $status
