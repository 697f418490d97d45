#!/usr/bin/env bash
# Builds and runs every test: the native and JVM tests with warnings as errors, then the
# native tests again under AddressSanitizer + UndefinedBehaviorSanitizer and under
# ThreadSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
jobs=$(nproc)

run() {  # run <build dir> <cmake options...>
  local dir=$1
  shift
  echo "== $dir" >&2
  cmake -S . -B "$dir" -G Ninja -DCHORDSMITH_WERROR=ON "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

run build
run build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCHORDSMITH_SANITIZE=address,undefined \
  -DCHORDSMITH_JAVA=OFF -DCHORDSMITH_BENCH=OFF
TSAN_OPTIONS="halt_on_error=1" \
  run build-tsan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCHORDSMITH_SANITIZE=thread \
  -DCHORDSMITH_JAVA=OFF -DCHORDSMITH_BENCH=OFF
