#!/usr/bin/env bash
# The one place that lists what the project needs from Debian: installs the
# packages that are missing (apt-get, when run as root), or names the exact
# apt-get line to run and stops. Used by scripts/run_example.sh,
# scripts/test.sh and .ci/run.
set -euo pipefail

packages=(
  cmake g++ make pkg-config libgtest-dev ghostscript
  libfftw3-dev libtomlplusplus-dev libnlopt-cxx-dev libnlopt-dev libcairo2-dev
  libmseed-dev libpugixml-dev nlohmann-json3-dev libfontconfig-dev libgeographiclib-dev libssl-dev
  fonts-dejavu-core  # the report page's font, which its stored test drawing assumes
  # A single-node Slurm, on which the tests run egffit's job-array recipe
  # (scripts/slurm-local.sh), and GNU parallel for the README's other one
  slurm-wlm munge parallel
)

installed() {
  [ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null)" = "install ok installed" ]
}

missing=()
for p in "${packages[@]}"; do
  installed "$p" || missing+=("$p")
done
[ "${#missing[@]}" -eq 0 ] && exit 0

line="apt-get update && apt-get install -y ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages: ${missing[*]}" >&2
  echo "Run as root:  $line" >&2
  exit 1
fi
echo "Installing: ${missing[*]}" >&2
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq "${missing[@]}"
