#!/usr/bin/python3
"""Writes the CSV of the many-BY-groups benchmark: GROUPS groups of ROWS rows of g, y and x1..x10.

  bench/many_by_data.py FILE [GROUPS] [ROWS]

x uniform on [-1, 1) with four decimals; y is a group's own mix of x1, x2 and x3 (coefficients
drawn per group) plus standard normal noise, so that each group's forward selection stops after a
few steps. The rows are sorted by g, as BY needs them.
"""
import sys

import numpy as np


def main():
    path = sys.argv[1]
    groups = int(sys.argv[2]) if len(sys.argv) > 2 else 10_000
    rows = int(sys.argv[3]) if len(sys.argv) > 3 else 100
    rng = np.random.default_rng(20240655)
    with open(path, "w") as f:
        f.write("g,y," + ",".join(f"x{j + 1}" for j in range(10)) + "\n")
        chunk = max(1, 50_000 // rows)
        for start in range(0, groups, chunk):
            k = min(chunk, groups - start)
            n = k * rows
            g = np.repeat(np.arange(start, start + k), rows)
            coef = np.repeat(rng.uniform(0.0, 2.0, size=(k, 3)), rows, axis=0)
            x = np.round(rng.uniform(-1.0, 1.0, size=(n, 10)), 4)
            y = np.round((x[:, :3] * coef).sum(axis=1) + rng.standard_normal(n), 6)
            np.savetxt(f, np.column_stack([g, y, x]), fmt=["%d"] + ["%.6g"] * 11, delimiter=",")


if __name__ == "__main__":
    main()
