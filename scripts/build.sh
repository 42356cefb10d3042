#!/usr/bin/env bash
# Configures and builds one build folder: scripts/build.sh DIR [cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
# Status lines are left out; CMake's warnings and errors show.
# OSTREL_WERROR=ON in the environment (CI sets it) makes every compiler warning an error.
cmake -S . -B "$dir" -G Ninja --log-level=WARNING ${OSTREL_WERROR:+"-DOSTREL_WERROR=$OSTREL_WERROR"} "$@"
cmake --build "$dir" -j "$(nproc)"
