#!/usr/bin/env bash
# Builds and runs every test: the native and JVM tests with warnings as errors, then the
# native tests again under AddressSanitizer + UndefinedBehaviorSanitizer and under
# ThreadSanitizer, the tests with threads under clang's ThreadSanitizer as well, and the fuzzer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)

configure() {  # configure <build dir> <cmake options...>
  local dir=$1
  shift
  echo "== $dir" >&2
  cmake -S . -B "$dir" -G Ninja -DCHORDSMITH_WERROR=ON "$@" >/dev/null
}

run() {  # run <build dir> <cmake options...>
  configure "$@"
  cmake --build "$1" -j "$jobs"
  ctest --test-dir "$1" --output-on-failure -j "$jobs"
}

run build
run build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCHORDSMITH_SANITIZE=address,undefined \
  -DCHORDSMITH_JAVA=OFF -DCHORDSMITH_BENCH=OFF
TSAN_OPTIONS="halt_on_error=1" \
  run build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCHORDSMITH_SANITIZE=thread \
  -DCHORDSMITH_JAVA=OFF -DCHORDSMITH_BENCH=OFF

# The two compilers instrument differently optimised code, so the tests with threads run under
# clang's ThreadSanitizer too.
race_tests=(dsp_test eq_test iirfilter_test spectrum_test vocoder_test)
CC=clang CXX=clang++ configure build-tsan-clang -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCHORDSMITH_SANITIZE=thread -DCHORDSMITH_JAVA=OFF -DCHORDSMITH_BENCH=OFF
cmake --build build-tsan-clang -j "$jobs" --target "${race_tests[@]}"
TSAN_OPTIONS="halt_on_error=1" ctest --test-dir build-tsan-clang --output-on-failure -j "$jobs" \
  -R "^($(IFS='|'; echo "${race_tests[*]}"))(\.|$)"

# The fuzzer under AddressSanitizer + UndefinedBehaviorSanitizer: the committed seed corpus once,
# then 60 seconds of new inputs (kept out of the tree; a failing one lands in build-fuzz/).
CC=clang CXX=clang++ configure build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCHORDSMITH_SANITIZE=address,undefined -DCHORDSMITH_FUZZ=ON -DCHORDSMITH_JAVA=OFF -DCHORDSMITH_BENCH=OFF
cmake --build build-fuzz -j "$jobs" --target engine_fuzz
ctest --test-dir build-fuzz --output-on-failure -R '^fuzz_corpus_replay$'
scratch=$(mktemp -d)
log=build-fuzz/fuzz.log
if ! build-fuzz/tests/fuzz/engine_fuzz -max_total_time=60 -max_len=8192 -timeout=30 \
  -artifact_prefix=build-fuzz/ -print_final_stats=1 "$scratch" tests/fuzz/corpus >"$log" 2>&1; then
  tail -n 60 "$log"
  rm -rf "$scratch"
  exit 1
fi
tail -n 12 "$log"
rm -rf "$scratch"
