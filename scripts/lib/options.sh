# Sourced by the scripts in scripts/ and bench/ before they do anything, to
# read their options:
#   script_options <known option>... -- "$@"
# -h or --help prints the comment at the top of the script and exits. Any
# other word that starts with "-" and is not a known option (a pattern such as
# "-D*" stands for many) stops the script with status 2, so a mistyped option
# is never taken for a folder, a count or a tree to build.
script_options() {
    local known=() word pattern
    while (($#)) && [[ $1 != -- ]]; do
        known+=("$1")
        shift
    done
    shift
    for word in "$@"; do
        if [[ $word == -h || $word == --help ]]; then
            awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0"
            exit 0
        fi
    done
    for word in "$@"; do
        [[ $word == -?* ]] || continue
        for pattern in "${known[@]}"; do
            # shellcheck disable=SC2053 # the pattern is meant as a pattern
            [[ $word == $pattern ]] && continue 2
        done
        echo "$0: unknown option: $word (see $0 --help)" >&2
        exit 2
    done
}
