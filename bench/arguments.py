"""How every benchmark script reads its command line before it does anything:
-h or --help prints the script's own description (its docstring) and exits;
any other word that starts with "-" and that the script does not know stops it
with status 2, so a mistyped option is never taken for a folder or a count."""
import sys


def check(known=()):
    import __main__
    words = sys.argv[1:]
    if "-h" in words or "--help" in words:
        print((__main__.__doc__ or "").strip())
        sys.exit(0)
    for word in words:
        if len(word) > 1 and word.startswith("-") and word not in known:
            print(f"{sys.argv[0]}: unknown option: {word} (see {sys.argv[0]} --help)", file=sys.stderr)
            sys.exit(2)
