#!/bin/sh
# Writes the printed pages' reference (tests/editor/data/*.pages) from the
# current code. Run it only on purpose and review the diff.
set -e
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target test_editor
ONDREL_UPDATE_GOLDEN=1 ONDREL_SOURCE_DIR="$PWD" "$build/tests/test_editor" --gtest_filter='PrintGolden.*'
