#!/usr/bin/env bash
# Builds the library and runs its main job through a real JVM: the command-line tool makes a
# short example song, slows it to 0.75x through the native engine and draws its spectrum, then
# says where the files are (./chordsmith-example/ of the folder it was run from). Works from any
# folder; options and files go to the tool as given, relative to that folder:
#   scripts/demo.sh --remove-voice 1       the example, without the voice
#   scripts/demo.sh song.mp3 --speed 0.6   your own recording
#   scripts/demo.sh --play [song.wav]      the practice player's window instead
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/deps.sh"
build=${CHORDSMITH_BUILD_DIR:-$root/build}
cmake -S "$root" -B "$build" -G Ninja >/dev/null
cmake --build "$build" -j "$(nproc)" --target chordsmith chordsmith_java >&2
if [ "${1:-}" = --play ]; then
  shift
  exec "$build/chordsmith" play "$@"
fi
exec "$build/chordsmith" "$@"
