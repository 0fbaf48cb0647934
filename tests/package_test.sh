#!/usr/bin/env bash
# Builds the Debian package from a configured and built tree, as
# `make package` does, unpacks it into a scratch root with dpkg -x and runs
# the installed binary on the bundled sample: its outputs, standard output,
# standard error and exit status must equal those of the build's own binary.
# Also checks the package's name, control fields and file list, and that
# `cmake --install --prefix` lays out the same three files.
#
# Usage: package_test.sh BUILD_DIR SOURCE_DIR VERSION
# Exits 77 (skipped) where the Debian tools are missing.
set -u
build=${1:?usage: package_test.sh BUILD_DIR SOURCE_DIR VERSION}
src=${2:?usage: package_test.sh BUILD_DIR SOURCE_DIR VERSION}
version=${3:?usage: package_test.sh BUILD_DIR SOURCE_DIR VERSION}
build=$(cd "$build" && pwd)
src=$(cd "$src" && pwd)

for tool in cpack dpkg-deb dpkg; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed"
    exit 77
  fi
done

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# The package, built into the scratch folder so that a concurrent
# `make package` in the same tree is not disturbed.
if ! cpack --config "$build/CPackConfig.cmake" -B "$scratch/pkg" >"$scratch/cpack.log" 2>&1; then
  cat "$scratch/cpack.log"
  echo "FAIL: cpack did not build the package"
  exit 1
fi
deb=$scratch/pkg/orvex_${version}_amd64.deb
if [[ ! -f $deb ]]; then
  echo "FAIL: no $(basename "$deb"); cpack made: $(cd "$scratch/pkg" && ls -- *.deb 2>/dev/null)"
  exit 1
fi

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[[ $(field Package) == orvex ]] || fail "Package is '$(field Package)', not orvex"
[[ $(field Version) == "$version" ]] || fail "Version is '$(field Version)', not $version"
[[ $(field Architecture) == amd64 ]] || fail "Architecture is '$(field Architecture)', not amd64"
depends=$(field Depends)
for lib in zlib1g libc6; do
  grep -qE "(^|, )$lib( |,|$)" <<<"$depends" || fail "Depends '$depends' does not name $lib"
done

# File list: exactly the program, its manual page and its completion.
listed=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sort)
expected=$(printf '%s\n' ./usr/bin/orvex ./usr/share/bash-completion/completions/orvex \
  ./usr/share/man/man1/orvex.1 | sort)
[[ $listed == "$expected" ]] || fail "the package holds:"$'\n'"$listed"$'\n'"instead of:"$'\n'"$expected"

root=$scratch/root
dpkg -x "$deb" "$root" || fail "dpkg -x failed"
installed=$root/usr/bin/orvex
[[ -x $installed ]] || { fail "no executable usr/bin/orvex after dpkg -x"; exit 1; }
cmp -s "$root/usr/share/man/man1/orvex.1" "$src/man/orvex.1" || fail "the packaged manual page differs from man/orvex.1"
cmp -s "$root/usr/share/bash-completion/completions/orvex" "$src/completions/orvex.bash" ||
  fail "the packaged completion differs from completions/orvex.bash"
got=$(bash --norc --noprofile -c 'source "$1" && complete -p orvex' sh "$root/usr/share/bash-completion/completions/orvex" 2>&1)
[[ $got == "complete -F _orvex orvex" ]] || fail "sourcing the packaged completion gives '$got'"

# The input: the bundled sample, or a small image and table made here
# when the sample is not in the tree.
sample=$src/examples/sample.fits
if [[ ! -f $sample ]]; then
  sample=$scratch/sample.fits
  # Cards of 80 characters, padded with blank cards to a 2880-byte block.
  header() {
    local cards
    cards=$(printf '%-80s' "$@" END)
    printf '%s%*s' "$cards" $(( (2880 - ${#cards} % 2880) % 2880 )) ''
  }
  {
    header 'SIMPLE  =                    T' 'BITPIX  =                   16' \
      'NAXIS   =                    2' 'NAXIS1  =                    2' 'NAXIS2  =                    2' \
      'EXTEND  =                    T'
    printf '\000\001\000\002\000\003\000\004'
    head -c 2872 /dev/zero
    header "XTENSION= 'BINTABLE'" 'BITPIX  =                    8' 'NAXIS   =                    2' \
      'NAXIS1  =                    2' 'NAXIS2  =                    1' 'PCOUNT  =                    0' \
      'GCOUNT  =                    1' 'TFIELDS =                    1' "TTYPE1  = 'N       '" \
      "TFORM1  = '1I      '"
    printf '\000\052'
    head -c 2878 /dev/zero
  } >"$sample"
fi

# One run of a binary in a fresh folder: its files, and stdout, stderr and
# the exit status in files beside them.
run_in() {
  local binary=$1 folder=$2
  mkdir -p "$folder"
  (cd "$folder" && "$binary" "$sample" >../"$(basename "$folder")".out 2>../"$(basename "$folder")".err
   echo $? >../"$(basename "$folder")".status)
}
run_in "$installed" "$scratch/run_package"
run_in "$build/orvex" "$scratch/run_build"

[[ $(cat "$scratch/run_package.status") == 0 ]] ||
  fail "the installed binary exited $(cat "$scratch/run_package.status"): $(cat "$scratch/run_package.err")"
for stream in out err status; do
  cmp -s "$scratch/run_package.$stream" "$scratch/run_build.$stream" ||
    fail "the installed binary's $stream differs from the build's"
done
package_files=$(cd "$scratch/run_package" && ls)
build_files=$(cd "$scratch/run_build" && ls)
[[ $package_files == "$build_files" ]] ||
  fail "the installed binary wrote '$package_files', the build's '$build_files'"
stem=$(basename "$sample" .fits)
[[ -s $scratch/run_package/$stem.000 ]] || fail "the installed binary wrote no $stem.000"
for f in $build_files; do
  [[ $f == logfile ]] && continue
  cmp -s "$scratch/run_package/$f" "$scratch/run_build/$f" || fail "$f differs between the installed and the build's binary"
done
grep -qE "^[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} $installed $sample\$" "$scratch/run_package/logfile" ||
  fail "the installed binary's logfile line is '$(cat "$scratch/run_package/logfile")'"

# cmake --install lays out the same files under any prefix.
prefix=$scratch/prefix
if cmake --install "$build" --prefix "$prefix" >"$scratch/install.log" 2>&1; then
  for f in bin/orvex share/man/man1/orvex.1 share/bash-completion/completions/orvex; do
    [[ -f $prefix/$f ]] || fail "cmake --install put no $f under the prefix"
  done
  [[ -x $prefix/bin/orvex ]] || fail "cmake --install put no executable bin/orvex"
else
  cat "$scratch/install.log"
  fail "cmake --install failed"
fi

if (( failures > 0 )); then
  echo "$failures package check(s) failed"
  exit 1
fi
echo "orvex_${version}_amd64.deb installs and decodes the sample like the build's binary"
