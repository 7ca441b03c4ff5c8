#!/usr/bin/python3
# Regenerate: /usr/bin/python3 tests/reference/exact_least_squares.py
#
# Writes tests/data/e2e/longley.csv (R's datasets::longley, "_" for "." in the names),
# six_rows.csv and large_means.csv, and tests/data/e2e/exact_least_squares.csv: for each model,
# the least-squares estimates, their standard errors and the error sum of squares in exact
# rational arithmetic on the data's decimal text, so that the program is held to the data and not
# to another program's rounding. A column that is a linear combination of the others (an
# aliased one) is listed with DF 0.
import csv
import os
import subprocess
from decimal import Decimal, getcontext
from fractions import Fraction

getcontext().prec = 40
HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "data", "e2e")


def write_longley():
    path = os.path.join(OUT, "longley.csv")
    subprocess.run(["Rscript", "-e",
                    'd <- datasets::longley; names(d) <- gsub(".", "_", names(d), fixed = TRUE);'
                    f' write.csv(d, "{path}", row.names = FALSE, quote = FALSE)'], check=True)


def write_csv(name, header, rows):
    with open(os.path.join(OUT, name), "w", newline="") as f:
        w = csv.writer(f, lineterminator="\n")
        w.writerow(header)
        w.writerows(rows)


def write_six_rows():
    y = ["3", "1", "4", "1", "5", "9"]
    x = ["1.1", "1.9", "3.0", "4.1", "4.9", "6.0"]
    write_csv("six_rows.csv", ["y", "x", "year", "t"],
              [[y[i], x[i], str(2001 + i), str(1 + i)] for i in range(6)])


# Columns far from 0 next to their spread, all but f exact in binary: c = a + b and k constant
# are combinations of the others whatever their means, f = b + e / 10 is one up to the rounding
# of its decimal text; d and e carry information that is a small share of their raw sums of
# squares. The centred copy holds the same columns less their first values.
def write_large_means():
    rows = []
    for i in range(12):
        a = Fraction(100000000) + Fraction((i * 37) % 11, 4) + Fraction(i, 8)
        b = Fraction(2000) + Fraction((i * 5) % 7, 8)
        d = Fraction(5000000) + Fraction((i * i) % 13, 8)
        e = Fraction(1954 + i)
        y = Fraction(7 * ((i * 3) % 5), 10) + Fraction(13 * ((i * i) % 7), 100) + Fraction(i, 20)
        rows.append([y, a, b, a + b, Fraction(246913579, 2), d, e, b + e / 10])
    header = ["y", "a", "b", "c", "k", "d", "e", "f"]
    write_csv("large_means.csv", header, [[dec(v) for v in r] for r in rows])
    write_csv("large_means_centred.csv", header,
              [[dec(v - f) if j > 0 else dec(v) for j, (v, f) in enumerate(zip(r, rows[0]))]
               for r in rows])


def dec(f, places=3):
    return format(round(Decimal(f.numerator) / Decimal(f.denominator), places).normalize(), "f")


def read(name):
    with open(os.path.join(OUT, name)) as f:
        r = list(csv.reader(f))
    return r[0], r[1:]


# Exact least squares of y on the columns (with the intercept first unless noint): columns that
# the earlier ones span exactly are left out, as the sweep leaves them out.
def fit(name, ycol, xcols, noint=False):
    names, rows = read(name)
    y = [Fraction(r[names.index(ycol)]) for r in rows]
    cols = ([] if noint else [("Intercept", [Fraction(1)] * len(rows))]) + [
        (c, [Fraction(r[names.index(c)]) for r in rows]) for c in xcols]
    kept, basis = [], []
    for label, v in cols:
        resid = v[:]
        for q in basis:
            qq = sum(a * a for a in q)
            proj = sum(a * b for a, b in zip(resid, q)) / qq
            resid = [a - proj * b for a, b in zip(resid, q)]
        if any(a != 0 for a in resid):
            basis.append(resid)
            kept.append((label, v))
    return kept, y


def solve(kept, y):
    n, p = len(y), len(kept)
    X = [[v[i] for _, v in kept] for i in range(n)]
    A = [[sum(X[i][a] * X[i][b] for i in range(n)) for b in range(p)] for a in range(p)]
    c = [sum(X[i][a] * y[i] for i in range(n)) for a in range(p)]
    M = [row[:] + [Fraction(int(i == j)) for j in range(p)] for i, row in enumerate(A)]
    for k in range(p):
        piv = next(i for i in range(k, p) if M[i][k] != 0)
        M[k], M[piv] = M[piv], M[k]
        d = M[k][k]
        M[k] = [v / d for v in M[k]]
        for i in range(p):
            if i != k and M[i][k] != 0:
                f = M[i][k]
                M[i] = [a - f * b for a, b in zip(M[i], M[k])]
    inv = [row[p:] for row in M]
    b = [sum(inv[a][j] * c[j] for j in range(p)) for a in range(p)]
    sse = sum((y[i] - sum(X[i][a] * b[a] for a in range(p))) ** 2 for i in range(n))
    s2 = sse / (n - p)
    se = [(to_dec(s2) * to_dec(inv[a][a])).sqrt() for a in range(p)]
    return b, se, sse


def to_dec(f):
    return Decimal(f.numerator) / Decimal(f.denominator)


def main():
    write_longley()
    write_six_rows()
    write_large_means()
    longley = "GNP_deflator GNP Unemployed Armed_Forces Population Year".split()
    cases = [
        ("longley_full", "longley.csv", "Employed", longley, False),
        ("longley_sbc", "longley.csv", "Employed", "GNP Unemployed Armed_Forces Year".split(),
         False),
        ("longley_noint", "longley.csv", "Employed", longley, True),
        ("six_year", "six_rows.csv", "y", ["x", "year"], False),
        ("six_t", "six_rows.csv", "y", ["x", "t"], False),
        ("six_noint", "six_rows.csv", "y", ["x", "year"], True),
        ("large_means", "large_means.csv", "y", "a b c k d e f".split(), False),
        ("large_means_centred", "large_means_centred.csv", "y", "a b c k d e f".split(), False),
    ]
    with open(os.path.join(OUT, "exact_least_squares.csv"), "w", newline="") as f:
        w = csv.writer(f, lineterminator="\n")
        w.writerow(["case", "data", "response", "effects", "noint", "term", "df", "estimate",
                    "stderr"])
        for case, data, ycol, xcols, noint in cases:
            kept, y = fit(data, ycol, xcols, noint)
            b, se, sse = solve(kept, y)
            est = {label: (bb, s) for (label, _), bb, s in zip(kept, b, se)}
            head = [case, data[:-4], ycol, " ".join(xcols), int(noint)]
            for label in ([] if noint else ["Intercept"]) + xcols:
                if label in est:
                    bb, s = est[label]
                    w.writerow(head + [label, 1, "%.17g" % float(to_dec(bb)),
                                       "%.17g" % float(s)])
                else:
                    w.writerow(head + [label, 0, 0, ""])
            w.writerow(head + ["Error SS", len(y) - len(kept), "%.17g" % float(to_dec(sse)),
                               ""])


if __name__ == "__main__":
    main()
