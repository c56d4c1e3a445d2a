#!/usr/bin/env bash
# Installs what is needed, builds the program and starts it on the given config
# file, or on the sample config set when none is given.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
"$root/tools/install-deps.sh"
cmake -S "$root" -B "$root/build-run" -G Ninja -DONDREL_TESTS=OFF
cmake --build "$root/build-run" --target ondrel
exec "$root/build-run/app/ondrel" "${1:-$root/samples/@quarn.zu}"
