#!/usr/bin/python3
# Regenerate: /usr/bin/python3 tests/reference/cvexternal_refits.py   (needs python3-sklearn;
# CI only reads what it writes)
#
# The CV Ex PRESS value that external cross validation shows at each step of the whole data's
# path on Diabetes (model y = age sex bmi bp s1-s6, CVMETHOD=SPLIT(5): training row i falls in
# fold i mod 5, as the data pass deals them), by refits of every fold at the penalties, written
# to tests/data/penalized/cvexternal_refits.csv (case, step, ratio, cvexpress). Per case:
# - each fold's training rows centred and scaled by their own mean and standard deviation
#   (n - 1), the response centred by their mean, the held-out rows by the same; for the adaptive
#   LASSO every column then multiplied by the magnitude of its least-squares estimate on those
#   training columns; for the elastic net the rows augmented by sqrt(L2 (n - 1)) times the
#   identity (its path coefficients, unscaled, judge the held-out rows);
# - the fold's knots (lambda over its own lambda-max) from scikit-learn's lars_path: the grid
#   is the union of every fold's ratios, as the folds' points are lined up;
# - at every grid ratio r and every fold, scikit-learn's coordinate-descent lasso_path refits
#   the fold at the penalty r times the fold's lambda-max (least squares at r = 0), and the
#   held-out ASE of that fit is averaged over the folds;
# - the whole data's path (lars_path on all rows, treated alike) gives each step's ratio, and
#   the value shown there is the grid's average read linearly between the two grid ratios
#   around it.
# The values do not depend on STOP=: a fold's path runs to its end whatever STOP says, and a
# stopped run shows the first steps of this list. The average of the refits at each step's own
# ratio is printed beside them: the grid reading departs from it where the two grid ratios
# around a step lie far apart (by up to 0.3% on these data).
import csv
import os
import warnings

import numpy as np
from sklearn.linear_model import lars_path, lasso_path

# The data's reading, and the final run's reading of the grid: linear between the grid ratios
# around a step.
from cvexternal_fixtures import on_grid, read_diabetes

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "data", "penalized", "cvexternal_refits.csv")
FOLDS = 5
CASES = [("lasso", 0.0, False), ("elasticnet_l2_0.1", 0.1, False), ("adaptive", 0.0, True)]


def prepared(X, y, train, l2, adaptive):
    """The rows as the path of the training rows sees them: (training X, y), (held-out X, y)."""
    mean, sd = X[train].mean(axis=0), X[train].std(axis=0, ddof=1)
    Xs, yc = (X - mean) / sd, y - y[train].mean()
    if adaptive:
        b = np.linalg.lstsq(Xs[train], yc[train], rcond=None)[0]
        Xs = Xs * np.abs(b)
    Xt, yt = Xs[train], yc[train]
    if l2 > 0:
        n, p = Xt.shape
        Xt = np.vstack([Xt, np.sqrt(l2 * (n - 1)) * np.eye(p)])
        yt = np.concatenate([yt, np.zeros(p)])
    return (Xt, yt), (Xs[~train], yc[~train])


def knot_ratios(Xt, yt):
    """lambda over lambda-max at the path's knots, and lambda-max as lars_path scales it."""
    with warnings.catch_warnings():
        warnings.simplefilter("ignore")
        alphas, _, _ = lars_path(Xt, yt, method="lasso")
    return alphas / alphas[0], alphas[0]


def refits(Xt, yt, alpha_max, ratios):
    """Coefficients at each ratio (descending) by coordinate descent; least squares at 0."""
    positive = [r for r in ratios if r > 0]
    _, coefs, _ = lasso_path(Xt, yt, alphas=np.array(positive) * alpha_max, tol=1e-14,
                             max_iter=1000000)
    out = list(coefs.T)
    for r in ratios[len(positive):]:
        out.append(np.linalg.lstsq(Xt, yt, rcond=None)[0])
    return out


def held_out_ase(b, held):
    Xh, yh = held
    return float(np.mean((yh - Xh @ b) ** 2))


def case(X, y, l2, adaptive):
    fold = np.arange(len(y)) % FOLDS
    folds = []
    for f in range(FOLDS):
        training, held = prepared(X, y, fold != f, l2, adaptive)
        ratios, alpha_max = knot_ratios(*training)
        folds.append((training, held, ratios, alpha_max))
    grid = sorted({float(r) for _, _, ratios, _ in folds for r in ratios}, reverse=True)
    average = np.zeros(len(grid))
    for training, held, _, alpha_max in folds:
        average += [held_out_ase(b, held) for b in refits(*training, alpha_max, grid)]
    average /= FOLDS
    whole, _ = prepared(X, y, np.ones(len(y), bool), l2, adaptive)
    steps, _ = knot_ratios(*whole)
    shown = [on_grid(r, grid, average) for r in steps]
    at_step = np.zeros(len(steps))
    for training, held, _, alpha_max in folds:
        at_step += [held_out_ase(b, held) for b in refits(*training, alpha_max, list(steps))]
    return steps, shown, at_step / FOLDS


def main():
    _, X, y = read_diabetes()
    with open(OUT, "w", newline="") as f:
        w = csv.writer(f, lineterminator="\n")
        w.writerow(["case", "step", "ratio", "cvexpress"])
        for name, l2, adaptive in CASES:
            steps, shown, at_step = case(X, y, l2, adaptive)
            for k, (r, v, a) in enumerate(zip(steps, shown, at_step)):
                w.writerow([name, k, repr(float(r)), repr(float(v))])
                print("%-18s step %2d ratio %.6f shown %.5f refit at the step %.5f" %
                      (name, k, r, v, a))


if __name__ == "__main__":
    main()
