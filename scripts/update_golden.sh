#!/usr/bin/env bash
# Regenerates the checked outputs of every golden case (tests/golden/*/) from
# the built egfsim of a build folder (default: build). Read
# `git diff tests/golden` before committing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=$(readlink -f "${1:-$top/build}")
cmake --build "$build" --target golden_test egfsim
EGF_UPDATE_GOLDEN=1 "$build/tests/golden/golden_test" > /dev/null
