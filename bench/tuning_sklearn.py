#!/usr/bin/python3
"""scikit-learn's ElasticNetCV (l1_ratio 0.5, 100 alphas) on the tuning benchmark's data as
bench/tuning_glmnet.R writes it, over the folds of CVMETHOD=SPLIT(5) (row i in fold i mod 5),
the columns standardized first (not timed), the cross validation timed.

  /usr/bin/python3 bench/tuning_sklearn.py FILE.bin ROWS COLUMNS
"""
import sys
import time

import numpy as np
from sklearn.linear_model import ElasticNetCV
from sklearn.model_selection import PredefinedSplit


def main():
    path, rows, q = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    data = np.fromfile(path, dtype=np.float64)
    X = np.ascontiguousarray(data[: rows * q].reshape(q, rows).T)
    y = data[rows * q:].copy()
    del data
    X -= X.mean(axis=0)
    X /= X.std(axis=0, ddof=1)
    t0 = time.perf_counter()
    fit = ElasticNetCV(l1_ratio=0.5, n_alphas=100, cv=PredefinedSplit(np.arange(rows) % 5),
                       n_jobs=1).fit(X, y)
    t1 = time.perf_counter()
    print("ElasticNetCV (l1_ratio 0.5, 5 folds, 100 alphas): %d rows, %d columns, %.2f s elapsed, "
          "alpha %.6g" % (rows, q, t1 - t0, fit.alpha_))


if __name__ == "__main__":
    main()
