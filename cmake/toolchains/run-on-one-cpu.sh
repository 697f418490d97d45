#!/bin/sh
# Runs a command pinned to one CPU: the one this script started on, which the scheduler picks,
# so that programs started side by side (ctest -j) still spread over the machine.
# Usage: run-on-one-cpu.sh COMMAND [ARG...]
cpu=$(cut -d' ' -f39 /proc/$$/stat 2>/dev/null)
exec taskset -c "${cpu:-0}" "$@"
