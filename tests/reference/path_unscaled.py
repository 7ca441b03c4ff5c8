#!/usr/bin/python3
# Regenerate: /usr/bin/python3 tests/reference/path_unscaled.py   (needs python3-sklearn; CI
# only reads what it writes)
#
# Reference of LAR and LASSO under NOSTANDARDIZE$ on Diabetes (y = age sex bmi bp s1-s6, every
# column numeric), written to tests/data/penalized/unscaled_knots.json: the columns and the
# response centred on their means and left unscaled, the knots of scikit-learn's lars_path, and
# at each knot the estimates on the data's scale with the intercept mean(y) - mean(x) b.
# - "lasso": every knot of the LASSO path;
# - "lar": the LAR knots while scikit-learn's path is sound on these unscaled columns (the
#   first nine: its later knots do not end at least squares), and "lar_end", the least-squares
#   fit (numpy's lstsq on the centred columns) where the whole LAR path ends.
import csv
import json
import os

import numpy as np
from sklearn.linear_model import lars_path

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..", "..")
OUT = os.path.join(ROOT, "tests", "data", "penalized", "unscaled_knots.json")

with open(os.path.join(ROOT, "examples", "data", "diabetes.csv")) as f:
    rows = list(csv.reader(f))
names = rows[0][:-1]
data = np.array([[float(v) for v in r] for r in rows[1:]])
x, y = data[:, :-1], data[:, -1]
xm, ym = x.mean(axis=0), y.mean()


def estimates(b):
    out = {"Intercept": float(ym - xm @ b)}
    out.update({n: float(v) for n, v in zip(names, b) if v != 0})
    return out


reference = {}
for method, knots in (("lasso", None), ("lar", 9)):
    _, _, coefs = lars_path(x - xm, y - ym, method=method)
    count = coefs.shape[1] if knots is None else knots
    reference[method] = [estimates(coefs[:, k]) for k in range(count)]
ols = np.linalg.lstsq(x - xm, y - ym, rcond=None)[0]
reference["lar_end"] = estimates(ols)

with open(OUT, "w") as f:
    json.dump(reference, f, indent=1)
    f.write("\n")
