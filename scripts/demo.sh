#!/usr/bin/env bash
# Builds the library and runs its main job through a real JVM: the command-line tool makes a
# short example song, slows it to 0.75x through the native engine and draws its spectrum, then
# says where the files are (out/example/ by default). Options go to the tool, for example
#   scripts/demo.sh --remove-voice 1       the same, without the voice
#   scripts/demo.sh song.wav --speed 0.6   your own recording
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
build=${CHORDSMITH_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j "$(nproc)" --target chordsmith chordsmith_java
# The JVM that CMake found is the one the jar was compiled for.
java=$(sed -n 's/^Java_JAVA_EXECUTABLE:FILEPATH=//p' "$build/CMakeCache.txt")
"${java:-java}" -Djava.library.path="$build" -jar "$build/chordsmith.jar" "$@"
