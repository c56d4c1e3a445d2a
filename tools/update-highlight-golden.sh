#!/bin/sh
# Writes the highlighter's token references (tests/highlight/data/*.tokens)
# from the current code. Run it only on purpose and review the diff.
set -e
cd "$(dirname "$0")/.."
build=${1:-build}
cmake --build "$build" --target test_highlight
ONDREL_UPDATE_GOLDEN=1 ONDREL_SOURCE_DIR="$PWD" "$build/tests/test_highlight" --gtest_filter='Samples/HighlightGolden.*:Builtin/SchemeGolden.*'
