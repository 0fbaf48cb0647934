#!/usr/bin/env bash
# Checks completions/orvex.bash against the option table in cli/options.cpp:
# "--" must offer every long option, each exactly once, with "=" after the
# ones that take an argument and nothing that the program does not accept;
# "-" must offer every short option letter; file names are offered for
# other words and nothing is offered where a part number or a column list
# is due.
#
# Usage: completion_test.sh SOURCE_DIR
set -u
src=${1:?usage: completion_test.sh SOURCE_DIR}
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The long options as the program's table has them: "name" for an option
# without argument, "name=" for one with a required argument.
mapfile -t table < <(sed -n '/^const option long_opts\[\]/,/^};/p' "$src/cli/options.cpp" |
  sed -n 's/^ *{"\([a-z-]*\)", *\([a-z_]*\),.*/\1 \2/p' |
  while read -r name kind; do
    case $kind in
      required_argument) echo "--$name=" ;;
      *) echo "--$name" ;;
    esac
  done)
# Entries that are only the prefix spelling of another option (--r and --ro
# keep meaning --rosat beside --rows) are not offered.
aliases=()
for name in "${table[@]}"; do
  for other in "${table[@]}"; do
    [[ $other != "$name" && $other == "$name"* ]] && { aliases+=("$name"); break; }
  done
done
for alias in "${aliases[@]}"; do
  for i in "${!table[@]}"; do [[ ${table[i]} == "$alias" ]] && unset 'table[i]'; done
done
table=("${table[@]}")
short=$(sed -n 's/.*short_opts\[\] = "\([^"]*\)".*/\1/p' "$src/cli/options.h" "$src/cli/options.cpp" | tr -d ':')
[[ ${#table[@]} -ge 10 ]] || fail "could not read long_opts from cli/options.cpp (got ${#table[@]} entries)"
[[ -n $short ]] || fail "could not read short_opts from cli/options.h or cli/options.cpp"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch obs.fits obs.fits.gz "two words.fits"

# Runs the completion for the words given (the last one is being completed)
# and prints what it offers, one per line.
complete_words() {
  bash --norc --noprofile -c '
    source "$1"; shift
    COMP_WORDS=("$@"); COMP_CWORD=$(( $# - 1 ))
    COMP_LINE="$*"; COMP_POINT=${#COMP_LINE}
    _orvex
    printf "%s\n" "${COMPREPLY[@]}"
  ' complete "$src/completions/orvex.bash" "$@"
}

# Every long option of the table, once, and nothing else.
offered=$(complete_words orvex -- | sort)
expected=$(printf '%s\n' "${table[@]}" | sort)
if [[ $offered != "$expected" ]]; then
  fail "'orvex --<TAB>' offers:"$'\n'"$offered"$'\n'"but the option table has:"$'\n'"$expected"
fi

# Each long option is reached from its own unambiguous prefix too.
for opt in "${table[@]}"; do
  got=$(complete_words orvex "${opt%=}")
  grep -qxF -- "$opt" <<<"$got" || fail "'orvex ${opt%=}<TAB>' does not offer $opt (offers: $got)"
done

# Every short option letter after a single dash.
got=$(complete_words orvex -)
for (( i = 0; i < ${#short}; i++ )); do
  letter=-${short:i:1}
  grep -qxF -- "$letter" <<<"$got" || fail "'orvex -<TAB>' does not offer $letter"
done

# File names for an input word, a blank inside a name kept.
got=$(complete_words orvex ob | sort)
[[ $got == $'obs.fits\nobs.fits.gz' ]] || fail "'orvex ob<TAB>' offers '$got', not the two obs files"
got=$(complete_words orvex --header tw)
[[ $got == "two words.fits" ]] || fail "'orvex --header tw<TAB>' offers '$got', not 'two words.fits'"

# Nothing where an option's argument is due.
for words in "orvex -p ''" "orvex -P ob" "orvex --part ob" "orvex --col-name ob" "orvex --part = ob"; do
  eval "got=\$(complete_words $words)"
  [[ -z $got ]] || fail "'$words<TAB>' offers '$got' where an option argument is due"
done

# Directories, and only they, for the folder of -o.
mkdir outdir
for words in "orvex -o ''" "orvex --output-dir ''" "orvex --output-dir = ''"; do
  eval "got=\$(complete_words $words)"
  [[ $got == outdir ]] || fail "'$words<TAB>' offers '$got', not the directory outdir"
done

# After "--" a word that starts with a dash is a file name.
touch -- -odd.fits
got=$(complete_words orvex -- -o)
[[ $got == "-odd.fits" ]] || fail "'orvex -- -o<TAB>' offers '$got', not the file -odd.fits"

if (( failures > 0 )); then
  echo "$failures completion check(s) failed"
  exit 1
fi
echo "completion offers all ${#table[@]} long options and ${#short} short ones"
