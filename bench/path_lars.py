#!/usr/bin/python3
"""scikit-learn's LASSO path on a precomputed Gram (lars_path_gram, lars_path's own road) on
the benchmark's data as bench/path_glmnet.R writes it: the same work as the varsifter fit, the
columns centred and scaled (n - 1), their Gram and X'y (numpy, BLAS threads as
OPENBLAS_NUM_THREADS says), then the path, each timed.

  /usr/bin/python3 bench/path_lars.py FILE.bin ROWS COLUMNS
"""
import sys
import time

import numpy as np
from sklearn.linear_model import lars_path_gram


def main():
    path, rows, q = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
    data = np.fromfile(path, dtype=np.float64)
    # R writes column by column; numpy is fastest on rows.
    X = np.ascontiguousarray(data[: rows * q].reshape(q, rows).T)
    y = data[rows * q:].copy()
    del data
    t0 = time.perf_counter()
    Z = X - X.mean(axis=0)
    Z /= Z.std(axis=0, ddof=1)
    yc = y - y.mean()
    t1 = time.perf_counter()
    gram = Z.T @ Z
    xy = Z.T @ yc
    t2 = time.perf_counter()
    _, _, coefs = lars_path_gram(xy, gram, n_samples=rows, method="lasso")
    t3 = time.perf_counter()
    print("lars_path: %d rows, %d columns, %d knots; standardizing %.2f s, Gram and X'y %.2f s, "
          "path %.2f s, total %.2f s" % (rows, q, coefs.shape[1], t1 - t0, t2 - t1, t3 - t2,
                                         t3 - t0))


if __name__ == "__main__":
    main()
