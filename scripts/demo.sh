#!/usr/bin/env bash
# Builds the library and shows it working through a real JVM.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)"
ctest --test-dir build -R jvm_tests --output-on-failure -V | grep -E '✔|✘|tests (successful|failed)'
