#!/usr/bin/env bash
# Installs what a fresh Debian machine lacks (scripts/install-deps.sh),
# builds the program and the record converter kibconv, and runs the program
# on the bundled example in a fresh folder (default example-run/), leaving
# there the console transcript, the two figures fort.21 and fort.22 and,
# when Ghostscript is installed, PDF copies of the figures.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out=${1:-"$root/example-run"}

"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build" -j"$(nproc)" --target egfsim kibconv

rm -rf "$out"
mkdir -p "$out"
# The parameter file names the records relative to the working folder.
find "$root/examples" -maxdepth 1 -type f ! -name 'README*' -exec cp {} "$out" \;
cd "$out"
status=0
"$root/build/egfsim" < answers.txt > transcript.txt || status=$?
if [ "$status" -ne 0 ]; then
  echo "egfsim ended with status $status; see $out/transcript.txt" >&2
  exit "$status"
fi

if command -v ps2pdf >/dev/null && command -v gs >/dev/null; then
  for f in fort.21 fort.22; do
    # The figures are drawn turned on a portrait A4 sheet; the PDF page is
    # marked as rotated by 270 degrees so that viewers show it as an upright
    # landscape page.
    [ -f "$f" ] && gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=pdfwrite -sPAPERSIZE=a4 \
      -dAutoRotatePages=/None -sOutputFile="$f.pdf" -c "[/Rotate 270 /PAGES pdfmark" -f "$f"
  done
fi
echo "Example run complete in $out:"
ls -1 "$out"
