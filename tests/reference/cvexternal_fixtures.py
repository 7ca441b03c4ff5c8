#!/usr/bin/python3
# Regenerate: /usr/bin/python3 tests/reference/cvexternal_fixtures.py   (needs python3-sklearn;
# CI only reads what it writes)
#
# The penalty chosen by external cross validation on Diabetes with CVMETHOD=SPLIT(5) (row i in
# fold i mod 5), written to tests/data/penalized/cvexternal.json, per case:
# - per fold the knots of the path of its training rows, the columns centred and scaled by the
#   training rows' standard deviation (n - 1) and the response centred by their mean, from
#   scikit-learn's lars_path (the elastic net's as the LASSO of the rows augmented with
#   sqrt(L2 (n - 1)) times the identity): lambda over lambda-max, the L1 norm and the held-out
#   rows' ASE on the same centring and scaling;
# - the union of the folds' lambda ratios, the held-out ASE at each averaged over the folds (the
#   path is linear in lambda between knots, so the ASE there is exact; flat beyond a fold's last
#   knot), and the ratio where the average is smallest (the first among equals);
# - the path of all the rows and the knot whose ratio, read on that grid by linear
#   interpolation, has the smallest average: its effects and estimates on the data's scale;
# - for the elastic net, every L2 of a grid search from 0.001 to 1 in 4 values and the L2 whose
#   smallest average is least;
# - for the elastic net, the L2 values a golden-section search from 0 to 2 in 7 tries takes with
#   those smallest averages as its objective, and the L2 it keeps;
# - the same for LAR of age sex bmi bp s3 s5 s6 as for the LASSO (lars_path's "lar" path, whose
#   coefficients too are linear in lambda between knots; its final run reads the grid by its
#   ratios as the LASSO does).
# A loose cross-check against LassoLarsCV and ElasticNetCV on the same folds is printed.
import csv
import json
import os
import warnings

import numpy as np
from sklearn.linear_model import ElasticNetCV, LassoLarsCV, lars_path
from sklearn.model_selection import PredefinedSplit

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.join(HERE, "..", "..")
OUT = os.path.join(HERE, "..", "data", "penalized", "cvexternal.json")
FOLDS = 5
ENET_LOW, ENET_HIGH, ENET_STEPS = 0.001, 1.0, 4  # L2LOW=, L2HIGH=, L2STEPS= of the test
GOLDEN_LOW, GOLDEN_HIGH, GOLDEN_STEPS = 0.0, 2.0, 7  # the same of L2SEARCH=GOLDEN
# LAR's model leaves out s1, s2 and s4: beside them lars_path's "lar" mode leaves the path (its
# lambdas rise again after the eighth knot, where an exact LAR, ours, goes on falling).
LAR_COLUMNS = [0, 1, 2, 3, 6, 8, 9]  # age sex bmi bp s3 s5 s6


def read_diabetes():
    with open(os.path.join(ROOT, "examples", "data", "diabetes.csv")) as f:
        rows = list(csv.reader(f))
    data = np.array([[float(v) for v in r] for r in rows[1:]])
    return rows[0][:-1], data[:, :-1], data[:, -1]


def standardized(X, y, train):
    mean, sd = X[train].mean(axis=0), X[train].std(axis=0, ddof=1)
    return (X - mean) / sd, y - y[train].mean(), mean, sd


def knots(Xs, yc, l2, method="lasso"):
    """The path's knots: lambda ratios, coefficients (columns) and L1 norms."""
    n, p = Xs.shape
    if l2 > 0:
        Xs = np.vstack([Xs, np.sqrt(l2 * (n - 1)) * np.eye(p)])
        yc = np.concatenate([yc, np.zeros(p)])
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        alphas, _, coefs = lars_path(Xs, yc, method=method)
    return alphas / alphas[0], coefs, np.abs(coefs).sum(axis=0)


def ase_at(ratio, ratios, coefs, Xh, yh):
    """The held-out ASE of the path at a ratio: coefficients linear in lambda between knots."""
    if ratio <= ratios[-1]:
        b = coefs[:, -1]
    elif ratio >= ratios[0]:
        b = coefs[:, 0]
    else:
        k = np.searchsorted(-ratios, -ratio)  # first knot at or below the ratio
        t = (ratios[k - 1] - ratio) / (ratios[k - 1] - ratios[k])
        b = coefs[:, k - 1] + t * (coefs[:, k] - coefs[:, k - 1])
    return float(np.mean((yh - Xh @ b) ** 2))


def cross_validate(X, y, l2, method):
    fold = np.arange(len(y)) % FOLDS
    folds = []
    for f in range(FOLDS):
        train, held = fold != f, fold == f
        Xs, yc, _, _ = standardized(X, y, train)
        ratios, coefs, l1 = knots(Xs[train], yc[train], l2, method)
        ase = [ase_at(r, ratios, coefs, Xs[held], yc[held]) for r in ratios]
        folds.append(dict(ratios=ratios, coefs=coefs, l1=l1, ase=ase, Xh=Xs[held], yh=yc[held]))
    grid = sorted({float(r) for f in folds for r in f["ratios"]}, reverse=True)
    average = [float(np.mean([ase_at(g, f["ratios"], f["coefs"], f["Xh"], f["yh"]) for f in folds]))
               for g in grid]
    best = int(np.argmin(average))
    return folds, grid, average, best


def on_grid(x, grid, average):
    """The engine's reading of the averaged ASE at a ratio: linear between grid points."""
    g = np.array(grid)
    if x <= g[-1]:
        return average[-1]
    if x >= g[0]:
        return average[0]
    hi = int(np.searchsorted(-g, -x))  # first grid point at or below x
    lo = hi - 1
    return average[hi] + (x - g[hi]) * (average[lo] - average[hi]) / (g[lo] - g[hi])


def final_fit(X, y, l2, grid, average, method):
    Xs, yc, mean, sd = standardized(X, y, np.ones(len(y), bool))
    ratios, coefs, _ = knots(Xs, yc, l2, method)
    values = [on_grid(r, grid, average) for r in ratios]
    k = int(np.argmin(values))
    est = coefs[:, k] / sd
    intercept = y.mean() - float(est @ mean)
    return dict(step=k, ratio=float(ratios[k]), estimates=[intercept] + est.tolist(),
                effects=[int(j) for j in np.nonzero(coefs[:, k])[0]])


def l2_grid(low, high, n):
    """The grid search's L2 values from low > 0: evenly spaced in the logarithm."""
    s = (np.log10(high) - np.log10(low)) / (n - 1)
    return [low] + [10 ** (np.log10(low) + k * s) for k in range(1, n)]


def golden(low, high, n, f):
    """The golden-section search over L2 (L2SEARCH=GOLDEN): a, b = a + (c - a) / phi^2 and c,
    then the longer side of b cut at 2 - phi; a point replaces b only when strictly better, and
    the best value tried wins (the earlier among equals)."""
    phi2, step = (3 + 5 ** 0.5) / 2, (3 - 5 ** 0.5) / 2
    a, c = low, high
    b = a + (c - a) / phi2
    tried = [(x, f(x)) for x in (a, b, c)]
    fb = tried[1][1]
    for _ in range(3, n):
        right, left = c - b, b - a
        x = b + step * right if right > left else b - step * left
        if 1e-8 * (abs(b) + abs(x)) > abs(c - a):
            break
        fx = f(x)
        tried.append((x, fx))
        if fx < fb:
            if right > left:
                a = b
            else:
                c = b
            b, fb = x, fx
        elif right > left:
            c = x
        else:
            a = x
    best = min(range(len(tried)), key=lambda k: (tried[k][1], k))
    return tried, tried[best][0]


def case(X, y, l2, method="lasso"):
    folds, grid, average, best = cross_validate(X, y, l2, method)
    return dict(l2=l2, folds=[dict(ratios=f["ratios"].tolist(), l1=f["l1"].tolist(), ase=f["ase"])
                              for f in folds],
                grid=grid, average=average, chosenRatio=grid[best], bestAverage=average[best],
                final=final_fit(X, y, l2, grid, average, method))


def main():
    names, X, y = read_diabetes()
    out = {"names": names, "lasso": case(X, y, 0.0)}
    out["lar"] = dict(names=[names[j] for j in LAR_COLUMNS],
                      **case(X[:, LAR_COLUMNS], y, 0.0, "lar"))
    tries = [case(X, y, l2) for l2 in l2_grid(ENET_LOW, ENET_HIGH, ENET_STEPS)]
    best = min(range(len(tries)), key=lambda k: (tries[k]["bestAverage"], k))
    out["enet"] = dict(tries=[dict(l2=t["l2"], chosenRatio=t["chosenRatio"],
                                   bestAverage=t["bestAverage"]) for t in tries],
                       chosen=tries[best])
    tried, chosen = golden(GOLDEN_LOW, GOLDEN_HIGH, GOLDEN_STEPS,
                           lambda l2: case(X, y, l2)["bestAverage"])
    out["golden"] = dict(tries=[dict(l2=x, bestAverage=v) for x, v in tried], chosen=chosen)
    with open(OUT, "w") as f:
        json.dump(out, f, indent=1)

    # The loose cross-check: the libraries' own cross validation on the same folds (they
    # centre per fold but do not scale, and choose on their own alpha grids).
    split = PredefinedSplit(np.arange(len(y)) % FOLDS)
    Xs, yc, _, _ = standardized(X, y, np.ones(len(y), bool))
    lars = LassoLarsCV(cv=split).fit(Xs, yc)
    print("LassoLarsCV alpha ratio %.4f, ours %.4f" %
          (lars.alpha_ / lars.cv_alphas_.max(), out["lasso"]["chosenRatio"]))
    enet = ElasticNetCV(cv=split, l1_ratio=0.5, n_alphas=200).fit(Xs, yc)
    print("ElasticNetCV (l1_ratio 0.5) mean held-out MSE %.2f, ours at L2 %.3g %.2f" %
          (enet.mse_path_.mean(axis=1).min(), out["enet"]["chosen"]["l2"],
           out["enet"]["chosen"]["bestAverage"]))


if __name__ == "__main__":
    main()
