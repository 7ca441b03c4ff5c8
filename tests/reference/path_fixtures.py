#!/usr/bin/python3
# Regenerate: /usr/bin/python3 tests/reference/path_fixtures.py   (needs python3-sklearn and
# r-cran-glmnet; CI only reads what it writes)
#
# Reference knots of the LAR, LASSO and elastic-net paths on Diabetes and on the Boston housing
# data of tests/data/averaging/boston.csv (R's MASS), written into tests/data/penalized/:
# - path_knots.json: per case (data set and method) the knots of the path on the columns
#   centred and scaled by their standard deviation (n - 1): lambda over lambda-max, the model's
#   effects and its estimates on the data's scale, its SSE on the data, and the effect that
#   enters or leaves on the way to the knot; with training and validation rows (Diabetes, sex
#   1 and 2) the path of the training rows and each knot's ASE on both;
# - sis.json: the ranking by |correlation| with the response of the columns of the synthetic
#   300 x 2,000 data that the tests make with the generator below.
#
# The knots come from the homotopy solved anew at every knot with numpy (the active set's
# equations solved, not updated), and are checked against scikit-learn's lars_path wherever
# its path is sound (lambda falling at every knot, the last one at least squares: on Boston its
# LAR path is not, and it is reported), against glmnet at the LASSO knots, and against
# scikit-learn's ElasticNet at the elastic net's knots (alpha * l1_ratio = lambda / n,
# alpha * (1 - l1_ratio) = L2 (n - 1) / n).
import csv
import json
import os
import subprocess
import sys
import tempfile

import numpy as np
from sklearn.linear_model import ElasticNet, lars_path

HERE = os.path.dirname(os.path.abspath(__file__))
TESTS = os.path.join(HERE, "..")
OUT = os.path.join(TESTS, "data", "penalized")


def read_csv(path):
    with open(path) as f:
        rows = list(csv.reader(f))
    return rows[0], np.array([[float(v) for v in r] for r in rows[1:]])


def boston():
    header, rows = read_csv(os.path.join(TESTS, "data", "averaging", "boston.csv"))
    return header[:-1], rows[:, :-1], rows[:, -1]


def diabetes():
    header, rows = read_csv(os.path.join(TESTS, "..", "examples", "data", "diabetes.csv"))
    return header[:-1], rows[:, :-1], rows[:, -1]


def homotopy(G, c, lasso):
    """Knots of min |y - Z b|^2 / 2 + lam |b|_1 (+ the ridge inside G = Z'Z + r I), c = Z'y:
    (lambda, coefficients, the active set on the way to the knot, the event)."""
    p = len(c)
    b, corr = np.zeros(p), c.copy()
    lam = np.max(np.abs(corr))
    active = [int(np.argmax(np.abs(corr)))]
    knots = [(lam, b.copy(), [], None)]
    event = ("+", active[0])
    while True:
        s = np.sign(corr[active])
        d = np.linalg.solve(G[np.ix_(active, active)], s)
        a = G[:, active] @ d
        t_best, nxt = lam, None
        for j in range(p):
            if j in active:
                continue
            for t in ((lam - corr[j]) / (1 - a[j]), (lam + corr[j]) / (1 + a[j])):
                if 1e-12 * lam < t < t_best:
                    t_best, nxt = t, ("+", j)
        if lasso:
            for k, e in enumerate(active):
                t = -b[e] / d[k] if d[k] != 0 else np.inf
                if 1e-12 * lam < t < t_best:
                    t_best, nxt = t, ("-", e)
        b[active] += t_best * d
        corr -= t_best * a
        lam -= t_best
        if nxt is not None and nxt[0] == "-":
            b[nxt[1]] = 0.0
        knots.append((max(lam, 0.0), b.copy(), list(active), event))
        if nxt is None:
            return knots
        if nxt[0] == "+":
            active.append(nxt[1])
        else:
            active.remove(nxt[1])
        event = nxt


def standardized(X, y):
    m, sd = X.mean(0), X.std(0, ddof=1)
    return (X - m) / sd, y - y.mean(), m, sd


def check_close(what, a, b, rel, scale=None):
    """Relative to the larger vector's size, or to the scale given (near a vector of zeros)."""
    size = max(np.max(np.abs(a)), np.max(np.abs(b)))
    scale = max(size, 1e-300) if scale is None else max(size, scale)
    err = np.max(np.abs(np.asarray(a) - np.asarray(b))) / scale
    if err > rel:
        sys.exit("%s: off by %.3g relative" % (what, err))


def check_sklearn(name, Z, yc, knots, method):
    alphas, _, coefs = lars_path(Z, yc, method=method)
    ols = np.linalg.lstsq(Z, yc, rcond=None)[0]
    sound = np.all(np.diff(alphas) < 0) and np.allclose(coefs[:, -1], ols, rtol=1e-10, atol=0)
    if not sound:
        print("%s: scikit-learn's lars_path(method=%r) is not sound here (lambda rises, or the "
              "last knot is not least squares: off by %.3g); the solved knots end at least "
              "squares" % (name, method, np.max(np.abs(coefs[:, -1] - ols)) / np.max(np.abs(ols))))
        check_close(name + " last knot against least squares", knots[-1][1], ols, 1e-10)
        return
    if coefs.shape[1] != len(knots):
        sys.exit("%s: %d knots, scikit-learn %d" % (name, len(knots), coefs.shape[1]))
    for k, (lam, b, _, _) in enumerate(knots):
        check_close("%s knot %d against lars_path" % (name, k), b, coefs[:, k], 1e-9,
                    np.max(np.abs(knots[-1][1])))
        check_close("%s lambda %d against lars_path" % (name, k), lam / knots[0][0],
                    alphas[k] / alphas[0], 1e-9)


def check_glmnet(name, Z, yc, knots):
    n = len(yc)
    lams = [lam / n for lam, _, _, _ in knots if lam > 0]
    with tempfile.TemporaryDirectory() as d:
        np.savetxt(os.path.join(d, "z.csv"), Z, delimiter=",", fmt="%.17g")
        np.savetxt(os.path.join(d, "y.csv"), yc, fmt="%.17g")
        np.savetxt(os.path.join(d, "l.csv"), lams, fmt="%.17g")
        script = (
            "suppressMessages(library(glmnet));"
            "z <- as.matrix(read.csv('%s/z.csv', header = FALSE));"
            "y <- scan('%s/y.csv', quiet = TRUE); l <- scan('%s/l.csv', quiet = TRUE);"
            "f <- glmnet(z, y, lambda = l, standardize = FALSE, intercept = FALSE,"
            " thresh = 1e-22, maxit = 1e8);"
            "write.table(as.matrix(f$beta), '%s/b.csv', sep = ',', row.names = FALSE,"
            " col.names = FALSE)") % (d, d, d, d)
        subprocess.run(["Rscript", "-e", script], check=True)
        beta = np.loadtxt(os.path.join(d, "b.csv"), delimiter=",", ndmin=2)
    for k in range(len(lams)):
        check_close("%s knot %d against glmnet" % (name, k), knots[k][1], beta[:, k], 1e-8,
                    np.max(np.abs(knots[-1][1])))


def check_elastic_net(name, Z, yc, knots, ridge):
    n = len(yc)
    for k, (lam, b, _, _) in enumerate(knots):
        if lam <= 0:
            continue
        alpha = (lam + ridge) / n
        f = ElasticNet(alpha=alpha, l1_ratio=lam / (lam + ridge), fit_intercept=False,
                       tol=1e-16, max_iter=10**7)
        f.fit(Z, yc)
        check_close("%s knot %d against ElasticNet" % (name, k), b, f.coef_, 1e-8,
                    np.max(np.abs(knots[-1][1])))


def record(names, X, y, m, sd, knots, scale=1.0, weights=None, least_squares=False,
           validation=None):
    """The knots on the data's scale; with validation rows (X, y) their ASE too."""
    n = len(y)
    out = []
    lam0 = knots[0][0]
    for lam, b, model, event in knots:
        coef = b * scale * (weights if weights is not None else 1.0)
        if least_squares and model:
            D = np.column_stack([np.ones(n), X[:, model]])
            fit = np.linalg.lstsq(D, y, rcond=None)[0]
            beta = np.zeros(len(names))
            beta[model] = fit[1:]
            intercept = fit[0]
        else:
            beta = coef / sd
            intercept = y.mean() - beta @ m
        resid = y - intercept - X @ beta
        estimates = {"Intercept": intercept}
        for j in model:
            estimates[names[j]] = beta[j]
        out.append({
            "ratio": lam / lam0,
            "sse": float(resid @ resid),
            "event": "" if event is None else event[0] + names[event[1]],
            "estimates": estimates,
        })
        if validation is not None:
            r = validation[1] - intercept - validation[0] @ beta
            out[-1]["ase"] = float(resid @ resid) / n
            out[-1]["valid_ase"] = float(r @ r) / len(r)
    return out


def cases():
    out = {}
    for data, (names, X, y) in (("diabetes", diabetes()), ("boston", boston())):
        Z, yc, m, sd = standardized(X, y)
        n, p = Z.shape
        G, c = Z.T @ Z, Z.T @ yc
        for method, lasso in (("lar", False), ("lasso", True)):
            knots = homotopy(G, c, lasso)
            check_sklearn("%s %s" % (data, method), Z, yc, knots, method)
            if lasso:
                check_glmnet("%s %s" % (data, method), Z, yc, knots)
            out["%s_%s" % (data, method)] = record(names, X, y, m, sd, knots)
            out["%s_%s_ls" % (data, method)] = record(names, X, y, m, sd, knots,
                                                      least_squares=True)
        for l2 in (0.5, 0.02):
            ridge = l2 * (n - 1)
            knots = homotopy(G + ridge * np.eye(p), c, True)
            check_elastic_net("%s elastic net L2=%g" % (data, l2), Z, yc, knots, ridge)
            tag = "%s_enet_%g" % (data, l2)
            out[tag] = record(names, X, y, m, sd, knots)
            # ENSCALE undoes the ridge's shrinkage: 1 + L2 on columns of norm 1.
            out[tag + "_enscale"] = record(names, X, y, m, sd, knots, scale=1 + l2)
        for gamma in (1.0, 0.5):
            w = np.abs(np.linalg.lstsq(Z, yc, rcond=None)[0]) ** gamma
            Zw = Z * w
            knots = homotopy(Zw.T @ Zw, Zw.T @ yc, True)
            check_sklearn("%s adaptive gamma=%g" % (data, gamma), Zw, yc, knots, "lasso")
            out["%s_adaptive_%g" % (data, gamma)] = record(names, X, y, m, sd, knots,
                                                          weights=w)
    # Training rows of sex 1, validation rows of sex 2; sex is the role, not an effect.
    names, X, y = diabetes()
    train, valid = X[:, 1] == 1, X[:, 1] == 2
    keep = [j for j in range(len(names)) if names[j] != "sex"]
    names = [names[j] for j in keep]
    Xt, yt = X[train][:, keep], y[train]
    Z, yc, m, sd = standardized(Xt, yt)
    knots = homotopy(Z.T @ Z, Z.T @ yc, True)
    check_sklearn("diabetes roles lasso", Z, yc, knots, "lasso")
    out["diabetes_roles_lasso"] = record(names, Xt, yt, m, sd, knots,
                                         validation=(X[valid][:, keep], y[valid]))
    return out


# ---- The synthetic data of the screening tests: 300 rows, 2,000 columns ----
MASK = (1 << 64) - 1


def splitmix(z):
    z = (z + np.uint64(0x9E3779B97F4A7C15)) & np.uint64(MASK)
    z = ((z ^ (z >> np.uint64(30))) * np.uint64(0xBF58476D1CE4E5B9)) & np.uint64(MASK)
    z = ((z ^ (z >> np.uint64(27))) * np.uint64(0x94D049BB133111EB)) & np.uint64(MASK)
    return z ^ (z >> np.uint64(31))


def uniform(i, j):
    """A uniform value in [-0.5, 0.5) for row i and column j: the tests make the same."""
    z = splitmix(np.uint64(i) * np.uint64(4096) + np.uint64(j))
    return (z >> np.uint64(11)).astype(np.float64) * 2.0**-53 - 0.5


def synthetic(rows=300, columns=2000):
    i = np.arange(rows, dtype=np.uint64)[:, None]
    j = np.arange(columns, dtype=np.uint64)[None, :]
    X = uniform(i, j)
    y = 0.5 * uniform(np.arange(rows, dtype=np.uint64), 4095)
    for k in range(8):
        y = y + 0.3 * (k + 1) * X[:, 7 * k]
    return X, y


def sis():
    X, y = synthetic()
    Xc, yc = X - X.mean(0), y - y.mean()
    corr = np.abs(Xc.T @ yc) / np.sqrt((Xc * Xc).sum(0) * (yc @ yc))
    order = np.argsort(-corr, kind="stable")[:150]
    return {"columns": [int(k) + 1 for k in order], "correlations": [float(corr[k]) for k in order],
            "first": [float(v) for v in X[0, :3]] + [float(y[0])]}


def main():
    os.makedirs(OUT, exist_ok=True)
    with open(os.path.join(OUT, "path_knots.json"), "w") as f:
        json.dump(cases(), f, indent=1)
    with open(os.path.join(OUT, "sis.json"), "w") as f:
        json.dump(sis(), f, indent=1)


if __name__ == "__main__":
    main()
