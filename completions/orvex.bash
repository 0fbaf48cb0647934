# bash completion for orvex, the FITS-to-text decoder.
#
# Offers the long options after "--" and "-", nothing where an option
# waits for its argument (a part number, a list of column names),
# directories for the folder of -o, and file names everywhere else, since
# every other word is an input file. Needs
# nothing but bash itself; installed as share/bash-completion/completions/orvex.
# The results are read with mapfile, not $(...) in an array, so that a file
# name with blanks stays one word and "-?" is never taken as a glob.

_orvex_long_options="--debug --no-comments --header --part= --col-name= --rosat --chandra --quiet --silent --help
--threads= --full --output-dir= --exact --csv --ecsv --list --version --rows= --where= --null= --no-logfile --whole-name"
_orvex_short_options="-d -D -h -H -p -P -o -?"

_orvex()
{
    local cur prev word i
    cur=${COMP_WORDS[COMP_CWORD]}
    prev=${COMP_WORDS[COMP_CWORD-1]}
    COMPREPLY=()

    # After a bare "--" every word is a file name, even one that starts
    # with a dash.
    for (( i = 1; i < COMP_CWORD; i++ )); do
        if [[ ${COMP_WORDS[i]} == -- ]]; then
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return 0
        fi
    done

    # Words that are the argument of the option before them. bash splits
    # "--part=2" at the "=" (COMP_WORDBREAKS), so "--part" "=" "2" counts too.
    case $prev in
        -p|-P|--part|--col-name|--threads|--rows|--where|--null)
            return 0
            ;;
        -o|--output-dir)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            return 0
            ;;
        =)
            word=${COMP_WORDS[COMP_CWORD-2]}
            [[ $word == --part || $word == --col-name || $word == --threads || $word == --rows || $word == --where || $word == --null ]] &&
                return 0
            if [[ $word == --output-dir ]]; then
                compopt -o filenames 2>/dev/null
                mapfile -t COMPREPLY < <(compgen -d -- "$cur")
                return 0
            fi
            ;;
    esac
    case $cur in
        --part=*|--col-name=*|--threads=*|--rows=*|--where=*|--null=*)
            return 0
            ;;
        --output-dir=*)
            mapfile -t COMPREPLY < <(compgen -d -P --output-dir= -- "${cur#--output-dir=}")
            return 0
            ;;
        --*)
            mapfile -t COMPREPLY < <(compgen -W "$_orvex_long_options" -- "$cur")
            # An option that takes its argument after "=" must not be
            # followed by a blank.
            [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null
            return 0
            ;;
        -*)
            mapfile -t COMPREPLY < <(compgen -W "$_orvex_short_options $_orvex_long_options" -- "$cur")
            [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *= ]] && compopt -o nospace 2>/dev/null
            return 0
            ;;
    esac

    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    return 0
}

complete -F _orvex orvex
