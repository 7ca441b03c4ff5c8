#!/usr/bin/python3
"""Writes the CSV of the whole-run benchmark: ROWS rows of y and x1..xQ.

  bench/whole_run_data.py FILE [ROWS] [Q]

x uniform on [-1, 1) with four decimals; y is 20 of them (every Q/20-th, coefficients 0.5 to
1.45) plus standard normal noise, so that a forward selection by SBC takes 20 steps or a few more.
"""
import sys

import numpy as np


def main():
    path = sys.argv[1]
    rows = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    q = int(sys.argv[3]) if len(sys.argv) > 3 else 100
    rng = np.random.default_rng(20240601)
    chosen = np.arange(q // 20 - 1, q, q // 20)[:20]
    coef = 0.5 + 0.05 * np.arange(len(chosen))
    with open(path, "w") as f:
        f.write(",".join(["y"] + [f"x{j + 1}" for j in range(q)]) + "\n")
        chunk = 50_000
        for start in range(0, rows, chunk):
            n = min(chunk, rows - start)
            x = np.round(rng.uniform(-1.0, 1.0, size=(n, q)), 4)
            y = x[:, chosen] @ coef + rng.standard_normal(n)
            np.savetxt(f, np.column_stack([np.round(y, 6), x]), fmt="%.6g", delimiter=",")


if __name__ == "__main__":
    main()
