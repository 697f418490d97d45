#!/usr/bin/env bash
# Builds and runs every test: the native and JVM tests with warnings as errors, then the
# native tests again under AddressSanitizer + UndefinedBehaviorSanitizer and under
# ThreadSanitizer, the tests with threads under clang's ThreadSanitizer as well, and the fuzzer.
# Then 64-bit ARM: cross-built with GCC and the arm64 Highway package, every native test under
# qemu-user (the engine's digests there, on the portable and the NEON path, must equal the build
# machine's, bit for bit); with clang, the Android NDK's compiler family, the library alone,
# checked for its exports and for fused multiply-adds.
# Every suite runs even when one before it failed; the last line sums them all up:
# "N passed, N failed", counting each test that ctest runs and each other check, in every build.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)

passed=0
failed=0
finish() {
  local status=$?
  # Stopped by a command outside the counted steps (a build that failed): that counts too.
  if [ "$status" -ne 0 ] && [ "$failed" -eq 0 ]; then failed=1; fi
  echo "$passed passed, $failed failed"
  if [ "$failed" -ne 0 ]; then exit 1; fi
}
trap finish EXIT

tests() {  # tests <ctest arguments...>: runs ctest and counts its tests
  local log
  log=$(mktemp)
  # A test that hangs fails after 15 minutes instead of holding up the whole run.
  ctest --timeout 900 "$@" 2>&1 | tee "$log" || true
  # "100% tests passed, 0 tests failed out of 18"
  local line
  line=$(grep -E '[0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1 || true)
  rm -f "$log"
  if [ -z "$line" ]; then
    failed=$((failed + 1))
    return
  fi
  local bad all
  bad=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
  all=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
  passed=$((passed + all - bad))
  failed=$((failed + bad))
}

check() {  # check <command...>: a check that is not a ctest test, counted as one
  if "$@"; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
}

configure() {  # configure <build dir> <cmake options...>
  local dir=$1
  shift
  echo "== $dir" >&2
  started=$SECONDS
  cmake -S . -B "$dir" -G Ninja -DCHORDSMITH_WERROR=ON "$@" >/dev/null
}

took() { echo "== $1: $((SECONDS - started)) s" >&2; }

run() {  # run <build dir> <cmake options...>
  configure "$@"
  cmake --build "$1" -j "$jobs"
  tests --test-dir "$1" --output-on-failure -j "$jobs"
  took "$1"
}

# The digest program's report in a build's last test run, and each session's digests alone,
# whichever code path gave them.
digests() { sed -n '/^Engine digests on /,/ passed, .* failed$/p' "$1/Testing/Temporary/LastTest.log"; }
session_digests() { digests "$1" | sed -nE 's/^  (same|DIFFERS) +([^ ]+) +[^ ]+ +/\2 /p' | sort -u; }

# The C++ sources as clang-format lays them out (.clang-format); the JNI header is javac's.
formatted() {
  git ls-files '*.cpp' '*.h' ':!jni/velmora_chordsmith_NativeInterface.h' |
    xargs clang-format --dry-run -Werror
}
check formatted

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
TSAN_OPTIONS="halt_on_error=1" tests --test-dir build-tsan-clang --output-on-failure -j "$jobs" \
  -R "^($(IFS='|'; echo "${race_tests[*]}"))(\.|$)"
took build-tsan-clang

# The fuzzer under AddressSanitizer + UndefinedBehaviorSanitizer: the committed seed corpus once,
# then 60 seconds of new inputs (kept out of the tree; a failing one lands in build-fuzz/).
CC=clang CXX=clang++ configure build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCHORDSMITH_SANITIZE=address,undefined -DCHORDSMITH_FUZZ=ON -DCHORDSMITH_JAVA=OFF -DCHORDSMITH_BENCH=OFF
cmake --build build-fuzz -j "$jobs" --target engine_fuzz
tests --test-dir build-fuzz --output-on-failure -R '^fuzz_corpus_replay$'
fuzz() {
  local scratch log=build-fuzz/fuzz.log
  scratch=$(mktemp -d)
  if ! build-fuzz/tests/fuzz/engine_fuzz -max_total_time=60 -max_len=8192 -timeout=30 \
    -artifact_prefix=build-fuzz/ -print_final_stats=1 "$scratch" tests/fuzz/corpus >"$log" 2>&1; then
    tail -n 60 "$log"
    rm -rf "$scratch"
    return 1
  fi
  tail -n 12 "$log"
  rm -rf "$scratch"
}
check fuzz
took build-fuzz

# 64-bit ARM, every native test under qemu-user (cmake/toolchains/).
run build-aarch64 -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/aarch64-linux-gnu-gcc.cmake
echo "== The engine's digests, on the build machine and on 64-bit ARM under qemu-user:" >&2
digests build >&2
digests build-aarch64 >&2
has_neon() {
  if ! digests build-aarch64 | grep -q ' neon '; then
    echo "== The 64-bit ARM build has no NEON path: is libhwy-dev:arm64 installed?" >&2
    return 1
  fi
}
check has_neon
same_digests() {
  if ! diff <(session_digests build) <(session_digests build-aarch64) >&2; then
    echo "== The digests differ between the build machine and 64-bit ARM" >&2
    return 1
  fi
  echo "== Bit-identical output on both" >&2
}
check same_digests

configure build-aarch64-clang -DCMAKE_TOOLCHAIN_FILE=cmake/toolchains/aarch64-linux-gnu-clang.cmake
cmake --build build-aarch64-clang -j "$jobs" --target chordsmith
tests --test-dir build-aarch64-clang --output-on-failure -R '^(exported_symbols|no_fused_multiply_add)$'
took build-aarch64-clang
