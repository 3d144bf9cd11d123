#!/usr/bin/env bash
# Regenerates the golden outputs of the bundled example from a built egfsim
# (default build/egfsim). Read `git diff tests/golden` before committing.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
program=$(readlink -f "${1:-$top/build/egfsim}")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$top/examples/params.txt" "$top/examples/target.kib" "$top/examples/element.kib" "$work"
(cd "$work" && "$program" < "$top/examples/answers.txt" > transcript.txt 2> stderr.txt)
cp "$work/transcript.txt" "$work/stderr.txt" "$work/fort.21" "$work/fort.22" "$top/tests/golden/example/"
