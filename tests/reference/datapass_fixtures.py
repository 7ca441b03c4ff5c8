#!/usr/bin/python3
"""Data sets of the data-pass tests and what the stored rows must hold.

Regenerate with:  /usr/bin/python3 tests/reference/datapass_fixtures.py
Writes tests/data/datapass/*.csv. The expected rows, roles, folds, totals, column moments and
crossproducts are worked out here with numpy from the rows themselves:

- rows_*: which observations are stored (FREQ truncated, 0.5 and missing frequencies,
  zero weights, missing values), their weight, frequency, response, role and design row
  (intercept, x1, x2, the CLASS c indicators and x1*c, levels in sorted order);
- block_*: BLOCK folds of the training rows in data order, validation rows between them;
- sscp_*: X'WX of the training rows (w times f), response first, columns in effect order,
  and each column's weighted mean and scale;
- the validation, test and INEST data sets of the binding and estimate tests.
"""
import math
import os

import numpy as np
import pandas as pd

OUT = os.path.join(os.path.dirname(__file__), "..", "data", "datapass")


def write(name, frame):
    frame.to_csv(os.path.join(OUT, name), index=False, na_rep=".")


# ---- rows: one row per rule of the data pass ------------------------------------------------
ROWS = """y,x1,x2,c,w,f,r
1.5,1,0.5,a,1,1,T
2.5,2,1.5,b,2,1,T
3.5,3,-1,c,1,2.7,T
4.5,4,2,a,1,0.5,T
5.5,5,3,b,0,1,T
6.5,.,1,c,1,1,T
.,7,2,a,1,1,T
8.5,8,-2,,1,1,T
9.5,9,4,b,0.5,3,V
10.5,10,1,c,1,1,S
11.5,11,0,a,1,.,T
12.5,12,5,b,2,2,X
13.5,13,6,c,1,1,
14.5,14,7,a,1.5,1,T
15.5,15,-3,b,1,4,T
16.5,16,2,c,3,1,V
"""


def rows_fixtures():
    df = pd.read_csv(pd.io.common.StringIO(ROWS), na_values=["."], keep_default_na=False)
    levels = sorted(v for v in df["c"].unique() if v != "")
    out, totals = [], {"obsRead": len(df), "freqRead": 0.0}
    for _, r in df.iterrows():
        f = r["f"]
        if not math.isnan(f):
            f = math.floor(f)
            if f <= 0:
                continue
            totals["freqRead"] += f
        if math.isnan(f) or r["w"] <= 0 or math.isnan(r["x1"]) or r["c"] == "":
            continue
        if math.isnan(r["y"]):
            continue  # excluded: not stored
        role = {"T": 1, "V": 2, "S": 4}.get(r["r"], 0)
        ind = [1.0 if r["c"] == lv else 0.0 for lv in levels]
        design = [1.0, r["x1"], r["x2"]] + ind + [r["x1"] * v for v in ind]
        out.append([r["w"], f, r["y"], role] + design)
    cols = ["w", "f", "y", "role", "Intercept", "x1", "x2"] + ["c_" + lv for lv in levels] + [
        "x1c_" + lv for lv in levels]
    rows = pd.DataFrame(out, columns=cols)
    train = rows[rows.role == 1]
    a = train.w * train.f
    W, F = a.sum(), train.f.sum()
    X = train[cols[4:]].to_numpy()
    totals.update({
        "rowsStored": float((rows.role != 0).sum()), "freqStored": rows.f[rows.role != 0].sum(),
        "trainRows": float(len(train)), "trainFreq": F, "trainWeight": W,
        "validRows": float((rows.role == 2).sum()), "validFreq": rows.f[rows.role == 2].sum(),
        "validWeight": (rows.w * rows.f)[rows.role == 2].sum(),
        "testRows": float((rows.role == 4).sum()), "testFreq": rows.f[rows.role == 4].sum(),
        "noRoleRows": float((rows.role == 0).sum()), "noRoleFreq": rows.f[rows.role == 0].sum(),
        "sumWy": (a * train.y).sum(), "sumWyy": (a * train.y ** 2).sum(),
        "responseMean": (a * train.y).sum() / W,
    })
    write("rows.csv", df)
    write("rows_expected.csv", rows)
    write("rows_totals.csv", pd.DataFrame(sorted(totals.items()), columns=["name", "value"]))
    write("rows_moments.csv", moments(X, a.to_numpy(), train.f.to_numpy(), cols[4:]))


def moments(X, a, f, names):
    W, F = a.sum(), f.sum()
    s = (a[:, None] * X).sum(axis=0)
    ss = (a[:, None] * X * X).sum(axis=0)
    var = (ss - s * s / W) / (F - 1)
    scale = [1 / math.sqrt(v) if v > 0 else float("nan") for v in var]
    return pd.DataFrame({"column": names, "mean": s / W, "scale": scale})


# ---- BLOCK folds: 200 rows, every 7th a validation row --------------------------------------
def block_fixtures():
    rng = np.random.default_rng(7)
    n = 200
    role = ["V" if i % 7 == 3 else "T" for i in range(n)]
    df = pd.DataFrame({"y": np.round(rng.normal(size=n), 6), "x": np.round(rng.normal(size=n), 6),
                       "r": role})
    write("block.csv", df)
    folds = 3
    ntrain = role.count("T")
    size, rest = divmod(ntrain, folds)
    bounds, b = [], 0
    for k in range(folds):
        b += size + (1 if k < rest else 0)
        bounds.append(b)
    fold, count, out = 0, 0, []
    for rl in role:
        out.append(fold)  # the fold current at the row's place
        if rl == "T":
            count += 1
            if count == bounds[fold] and fold < folds - 1:
                fold += 1
    write("block_expected.csv", pd.DataFrame({"fold": out, "role": [1 if r == "T" else 2
                                                                    for r in role]}))
    # Ten training rows in three folds, validation rows among them.
    write("block10.csv", pd.DataFrame({"y": np.arange(13.0), "x": np.arange(13.0) % 5,
                                       "r": list("TTVTTTTVTTTVT")}))


# ---- crossproducts: 3000 rows, a CLASS variable stored sparse -------------------------------
def sscp_fixtures():
    rng = np.random.default_rng(11)
    n = 3000
    c6 = rng.choice(list("abcdef"), size=n)
    k3 = rng.choice(["p", "q", "r"], size=n)
    x = np.round(rng.normal(size=(n, 4)) * [1, 2, 3, 0.5], 6)
    w = rng.choice([0.5, 1.0, 2.0], size=n)
    f = rng.choice([1, 2, 3], size=n)
    role = np.where(np.arange(n) % 10 == 9, "V", "T")
    y = np.round(1 + x @ [0.5, -1, 0.25, 2] + (c6 == "b") * 1.5 + rng.normal(size=n), 6)
    df = pd.DataFrame({"y": y, "x1": x[:, 0], "x2": x[:, 1], "x3": x[:, 2], "x4": x[:, 3],
                       "k": k3, "c": c6, "w": w, "f": f, "r": role})
    write("sscp.csv", df)
    t = role == "T"
    cols = [np.ones(n), x[:, 0], x[:, 1], x[:, 2], x[:, 3]]
    cols += [(k3 == v).astype(float) for v in "pqr"]
    cols += [(c6 == v).astype(float) for v in "abcdef"]
    X = np.column_stack(cols)[t]
    Z = np.column_stack([y[t], X])
    a = (w * f)[t]
    A = Z.T @ (a[:, None] * Z)
    names = ["y", "Intercept", "x1", "x2", "x3", "x4"] + ["k_" + v for v in "pqr"] + [
        "c_" + v for v in "abcdef"]
    write("sscp_xtwx.csv", pd.DataFrame(A, columns=names))
    write("sscp_moments.csv", moments(X, a, f[t].astype(float), names[1:]))


# ---- other data sets: validation and test variants, INEST ----------------------------------
def binding_fixtures():
    base = pd.DataFrame({"y": [1.0, 2, 3, 4], "x1": [1.0, 2, 3, 4], "x2": [0.5, 1, 2, 3],
                         "c": ["a", "b", "a", "c"], "w": [1.0, 2, 1, 1], "f": [1.0, 1, 2, 1]})
    write("valid.csv", base)
    write("valid_nox2.csv", base.drop(columns=["x2"]))
    write("valid_charx2.csv", base.assign(x2=["u", "v", "w", "z"]))
    write("valid_charw.csv", base.assign(w=["u", "v", "w", "z"]))
    write("valid_noy.csv", base.drop(columns=["y"]))
    write("valid_newlevel.csv", base.assign(c=["a", "b", "zz", "c"]))
    # BY group 2 has no training row; _ROLE_ assigns the roles.
    write("bygroups.csv", pd.DataFrame({"g": [1, 1, 1, 1, 2, 2, 2], "y": [1.0, 2, 4, 3, 5, 6, 7],
                                        "x1": [1.0, 3, 2, 3, 1, 2, 3],
                                        "_ROLE_": ["TRAIN", "TRAIN", "TRAIN", "TEST", "VALIDATE",
                                                   "VALIDATE", "TEST"]}))
    # CLASS variables of 6, 7 and 8 levels for the storage of coded effects.
    n = 40
    write("codings.csv", pd.DataFrame({"y": np.arange(n, dtype=float), "x": np.arange(n) % 3 * 1.0,
                                       "c6": [f"l{i % 6}" for i in range(n)],
                                       "c7": [f"l{i % 7}" for i in range(n)],
                                       "c8": [f"l{i % 8}" for i in range(n)]}))
    write("inest.csv", pd.DataFrame({"_TYPE_": ["COV", "PARMS", "PARMS"],
                                     "Intercept": [9.0, 0.5, 7], "x1": [9.0, np.nan, 7],
                                     "x2": [9.0, 2.5, 7]}))
    write("inest_noparms.csv", pd.DataFrame({"_TYPE_": ["COV", "EST"], "Intercept": [1.0, 2],
                                             "x1": [1.0, 2], "x2": [1.0, 2]}))


if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    rows_fixtures()
    block_fixtures()
    sscp_fixtures()
    binding_fixtures()
