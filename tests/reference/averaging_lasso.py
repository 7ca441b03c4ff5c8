#!/usr/bin/python3
# Regenerate: ./tools/build.sh && /usr/bin/python3 tests/reference/averaging_lasso.py build/app/varsifter
# Writes tests/data/averaging/average_lasso_reference.csv, the reference of the end-to-end
# model averaging test with LASSO samples, in the layout of averaging_fixtures.R. The command
# runs the test's program once to export each sample's drawn counts (OUTPUT SAMPLEFREQ); every
# sample is then refitted here on the diabetes rows replicated by their counts: scikit-learn's
# lars_path (method="lasso") on the columns centred and scaled, each knot's estimates taken
# back to the data's scale, the path stopped at the first knot that does not lower
# SBC = n log(SSE/n) + p log(n) and the model of the knot before it selected. An effect whose
# coefficient reaches 0 at a knot leaves the model on the way to the next one: it is counted in
# p at that knot. Quantiles are numpy's "averaged_inverted_cdf".
import csv
import os
import shutil
import subprocess
import sys
import tempfile

import numpy as np
from sklearn.linear_model import lars_path

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "data", "averaging")
EFFECTS = ["age", "sex", "bmi", "bp", "s1", "s2", "s3", "s4", "s5", "s6"]


def read(path):
    with open(path) as f:
        rows = list(csv.reader(f))
    return rows[0], np.array([[float(v) for v in r] for r in rows[1:]])


def export_counts(binary, lib):
    shutil.copy(os.path.join(HERE, "..", "..", "examples", "data", "diabetes.csv"), lib)
    with open(os.path.join(OUT, "average_lasso_program.vsf")) as f:
        program = f.read()
    prog = os.path.join(lib, "program.vsf")
    with open(prog, "w") as f:
        f.write(program + "output out=work.counts samplefreq;\nrun;\n")
    subprocess.run([binary, prog, "--lib", lib], check=True, stdout=subprocess.DEVNULL)
    return read(os.path.join(lib, "counts.csv"))


def lasso_by_sbc(X, y):
    """Estimates (intercept first) of the knot where SBC stops falling along the LASSO path."""
    n = len(y)
    mx, sx, my = X.mean(0), X.std(0, ddof=1), y.mean()
    _, _, coefs = lars_path((X - mx) / sx, y - my, method="lasso")

    def knot(k):
        b = coefs[:, k] / sx
        est = np.concatenate([[my - b @ mx], b])
        sse = np.sum((y - est[0] - X @ b) ** 2)
        leaving = k > 0 and np.any((coefs[:, k] == 0) & (coefs[:, k - 1] != 0))
        p = 1 + np.count_nonzero(coefs[:, k]) + leaving
        return est, n * np.log(sse / n) + p * np.log(n)

    best, sbc = knot(0)
    for k in range(1, coefs.shape[1]):
        est, s = knot(k)
        if s >= sbc:
            break
        best, sbc = est, s
    return best


def main():
    lib = tempfile.mkdtemp()
    try:
        header, counts = export_counts(os.path.abspath(sys.argv[1]), lib)
    finally:
        shutil.rmtree(lib)
    X = counts[:, [header.index(e) for e in EFFECTS]]
    y = counts[:, header.index("y")]
    samples = [header.index(h) for h in header if h.startswith("sampleFreq")]
    names = ["Intercept"] + EFFECTS
    est = np.zeros((len(samples), len(names)))
    for s, col in enumerate(samples):
        rep = counts[:, col].astype(int)
        est[s] = lasso_by_sbc(np.repeat(X, rep, axis=0), np.repeat(y, rep))
    chosen = est != 0
    chosen[:, 0] = True
    models = [" ".join(n for n, c in zip(names, row) if c) for row in chosen]
    share = chosen.mean(0)
    rows = [["effect", e, 100 * share[j]] + [""] * 5 for j, e in enumerate(names)]
    for m in dict.fromkeys(models):
        times = models.count(m)
        members = [names.index(e) for e in m.split()]
        rows.append(["model", m, times, times + share[members].mean()] + [""] * 4)
    for j, e in enumerate(names):
        v = est[:, j]
        q = np.quantile(v, [0.25, 0.75], method="averaged_inverted_cdf")
        rows.append(["parm", e, v.mean(), v.std(ddof=1), np.median(v), q[0], q[1],
                     np.count_nonzero(v)])
    with open(os.path.join(OUT, "average_lasso_reference.csv"), "w", newline="") as f:
        w = csv.writer(f)
        w.writerow(["kind", "name", "v1", "v2", "v3", "v4", "v5", "v6"])
        for r in rows:
            w.writerow([repr(float(v)) if isinstance(v, (float, np.floating)) else v for v in r])


main()
