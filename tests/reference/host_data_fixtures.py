#!/usr/bin/python3
# Fixtures of the host's data-set tests. Regenerate with:
#   /usr/bin/python3 tests/reference/host_data_fixtures.py
# best_format.csv: the "best" text of values, from an independent implementation of the rule
#   (Python's repr for the shortest round trip, its correctly rounded %f and %e otherwise).
# quoted.csv / quoted_expected.json: a CSV file with RFC 4180 quoting and the fields Python's
#   csv module reads from it.
import csv
import json
import math
import os
from decimal import Decimal

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "host")


def exp_form(s):
    """'1.5e+07' -> '1.5E7', '2E-05' -> '2E-5'."""
    mant, _, exp = s.upper().partition("E")
    e = int(exp)
    return f"{mant}E{e}"


def trim_fraction(s):
    mant, sep, exp = s.partition("E")
    if "." in mant:
        mant = mant.rstrip("0").rstrip(".")
    return mant + sep + exp


def shortest_fixed(x):
    return format(Decimal(repr(x)).normalize(), "f")


def shortest_sci(x):
    d = Decimal(repr(x)).normalize()
    sign, digits, exponent = d.as_tuple()
    ds = "".join(map(str, digits))
    e = exponent + len(ds) - 1
    mant = ds[0] + ("." + ds[1:] if len(ds) > 1 else "")
    return ("-" if sign else "") + f"{mant}E{e}"


def rounded(x, kind, width):
    for p in range(width, -1, -1):
        s = ("%.*f" % (p, x)) if kind == "f" else exp_form("%.*e" % (p, x))
        s = trim_fraction(s)
        if len(s) <= width:
            return s
    return ""


def best(x, width):
    if x == 0:
        return "0"
    f = shortest_fixed(x)
    if len(f) <= width:
        return f
    e = shortest_sci(x)
    if len(e) <= width:
        return e
    f, e = rounded(x, "f", width), rounded(x, "e", width)
    if not f and not e:
        return "*" * width
    if not e:
        return f
    if not f:
        return e
    return f if abs(float(f) - x) <= abs(float(e) - x) else e


VALUES = [0.1, 1 / 3, 2 / 3, -1 / 7, 1e15, 1e16, 1e-5, 1.5e-7, 1e-11, -123456789012.0,
          1234567890123.0, 123456789012.0, 12345678901.25, 0.000123456789012, 100.0, -0.5,
          math.pi, 1e100, -1e-100, 5e-324, 1.7976931348623157e308, 999999999999.5,
          99999999999.95, 0.1 + 0.2, 12345.6789, 2.0 ** 53, 2.0 ** 63, 1e21, 123456.78901234,
          2.00000000000001, 1e-7, 123456789.123456789, -9.87654321e-13]
WIDTHS = [12, 8, 5]


def best_format():
    with open(os.path.join(OUT, "best_format.csv"), "w", newline="") as f:
        w = csv.writer(f, lineterminator="\n")
        w.writerow(["value", "width", "text"])
        for x in VALUES:
            for width in WIDTHS:
                w.writerow([repr(x), width, best(x, width)])


QUOTED = (b'name,note,x\r\n'
          b'"Smith, John","said ""hi""",1\r\n'
          b'plain,"two\nlines",2.5\n'
          b'"","",.\n'
          b'"a""b",",",".A"\n'
          b'"  padded  ",x,"3"\n'
          b'\n'
          b'last,"line one\r\nline two",._')


def quoted():
    with open(os.path.join(OUT, "quoted.csv"), "wb") as f:
        f.write(QUOTED)
    with open(os.path.join(OUT, "quoted.csv"), newline="") as f:
        rows = [r for r in csv.reader(f) if r]  # csv skips nothing; blank lines are skipped
    with open(os.path.join(OUT, "quoted_expected.json"), "w") as f:
        json.dump({"header": rows[0], "rows": rows[1:]}, f, indent=1)
        f.write("\n")


if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    best_format()
    quoted()
