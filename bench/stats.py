"""How every benchmark prints a figure: the median of its runs with the
smallest and largest run beside it, and the number of runs, so that a figure
read off one machine can be checked on another within its spread.

Usage (for the shell scripts): stats.py <unit> <digits> <value>..., where a
value may be a fraction such as 1234/1000."""
import os
import statistics
import sys


def spread(values, unit="s", digits=3, scale=1.0):
    """'0.931 s (0.902–0.977, 5 runs)': the median, then min–max and the count."""
    shown = [v * scale for v in values]
    space = "" if unit == "%" else " "
    return "%.*f%s%s (%.*f–%.*f, %d run%s)" % (digits, statistics.median(shown), space, unit, digits, min(shown),
                                                 digits, max(shown), len(shown), "" if len(shown) == 1 else "s")


def ratios(ours, theirs):
    """Round-by-round ratios of two lists timed in turns: their spread is the
    spread of the comparison itself, which a ratio of medians hides."""
    return [a / b for a, b in zip(ours, theirs)]


def load():
    """'load average 3.2, 3.0, 2.9 (1, 5, 15 min), 8 processors'."""
    one, five, fifteen = os.getloadavg()
    return "load average %.1f, %.1f, %.1f (1, 5, 15 min), %d processors" % (one, five, fifteen, os.cpu_count())


if __name__ == "__main__":
    from arguments import check
    check()

    def number(text):
        top, _, bottom = text.partition("/")
        return float(top) / float(bottom or 1)

    print(spread([number(v) for v in sys.argv[3:]], sys.argv[1], int(sys.argv[2])))
