#!/usr/bin/python3
"""Writes the CSV of the memory benchmark: ROWS rows of y, x1..x50 and the CLASS variables c1
(1,000 levels), c2 (20) and c3 (5), 1% of the x values missing.

  bench/memsize_data.py FILE [ROWS]
"""
import sys

import numpy as np


def main():
    path = sys.argv[1]
    rows = int(sys.argv[2]) if len(sys.argv) > 2 else 200_000
    rng = np.random.default_rng(53)
    with open(path, "w") as f:
        f.write(",".join(["y"] + [f"x{j + 1}" for j in range(50)] + ["c1", "c2", "c3"]) + "\n")
        chunk = 50_000
        for start in range(0, rows, chunk):
            n = min(chunk, rows - start)
            x = np.round(rng.uniform(-1.0, 1.0, size=(n, 50)), 4)
            c1 = rng.integers(0, 1000, n)
            c2 = rng.integers(0, 20, n)
            c3 = rng.integers(0, 5, n)
            y = x[:, :10] @ np.linspace(0.5, 1.4, 10) + 0.002 * c1 + 0.1 * c3
            y = np.round(y + rng.standard_normal(n), 6)
            x[rng.random((n, 50)) < 0.01] = np.nan
            for i in range(n):
                xs = ["" if np.isnan(v) else f"{v:.4g}" for v in x[i]]
                f.write(f"{y[i]:.6g}," + ",".join(xs) + f",L{c1[i]},K{c2[i]},{c3[i]}\n")


if __name__ == "__main__":
    main()
