#!/usr/bin/env bash
# Installs what is needed, builds everything and runs every test.
# Usage: tools/test.sh [build-folder] [extra cmake options...]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh"
build="${1:-$root/build}"
shift || true
cmake -S "$root" -B "$build" -G Ninja "$@"
cmake --build "$build"
export QT_QPA_PLATFORM="${QT_QPA_PLATFORM:-offscreen}"
ctest --test-dir "$build" --output-on-failure -j "$(nproc)" --timeout 600
