#!/usr/bin/python3
"""Writes the CSV of the wide benchmark: ROWS rows of y and x1..xQ (default 1,000 x 20,000).

  bench/wide_data.py FILE [ROWS] [Q] [SEED]

The x are standard normal with four decimals, correlated: each is 0.6 of its left neighbour
plus fresh noise, and all share a common factor of weight 0.3. y is ten of them (every Q/10-th,
coefficients 1 to 0.55) plus standard normal noise. Seeded (SEED, default 20240651): the same
file on every machine, and another set of the same shape for another SEED.
"""
import sys

import numpy as np


def main():
    path = sys.argv[1]
    rows = int(sys.argv[2]) if len(sys.argv) > 2 else 1000
    q = int(sys.argv[3]) if len(sys.argv) > 3 else 20000
    seed = int(sys.argv[4]) if len(sys.argv) > 4 else 20240651
    rng = np.random.default_rng(seed)
    chosen = np.arange(q // 20, q, q // 10)[:10]
    coef = 1.0 - 0.05 * np.arange(len(chosen))
    with open(path, "w") as f:
        f.write(",".join(["y"] + [f"x{j + 1}" for j in range(q)]) + "\n")
        chunk = 100
        for start in range(0, rows, chunk):
            n = min(chunk, rows - start)
            e = rng.standard_normal((n, q))
            x = np.empty((n, q))
            x[:, 0] = e[:, 0]
            for j in range(1, q):
                x[:, j] = 0.6 * x[:, j - 1] + 0.8 * e[:, j]
            x = 0.95 * x + 0.3 * rng.standard_normal((n, 1))
            x = np.round(x, 4)
            y = x[:, chosen] @ coef + rng.standard_normal(n)
            np.savetxt(f, np.column_stack([np.round(y, 4), x]), fmt="%.4f", delimiter=",")


if __name__ == "__main__":
    main()
