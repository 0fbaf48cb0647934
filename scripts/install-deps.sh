#!/usr/bin/env bash
# Installs the Debian packages that building, testing, fuzzing and packaging
# orvex need, as root or through sudo. Packages already installed are left
# alone, so that a machine that has them all spends no time here.
#
#   scripts/install-deps.sh          # everything make test, sanitize, tsan and fuzz use
set -euo pipefail
packages=(
  g++ make cmake ninja-build zlib1g-dev libgtest-dev groff-base python3 dpkg-dev
  clang libclang-rt-14-dev
  libisal-dev libbz2-dev liblzma-dev
  bzip2 xz-utils ncompress libcfitsio-bin fitsverify python3-astropy python3-pandas
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]} == 0)); then
  echo "install-deps: every package is installed"
  exit 0
fi
run=()
if [[ $(id -u) -ne 0 ]]; then run=(sudo); fi
echo "install-deps: installing ${missing[*]}"
"${run[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${run[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
