#!/usr/bin/python3
# numpy's X'X (OpenBLAS) for the shapes of bench/sscp_bench.cpp: n = 1,000,000 rows of the
# response and q = 20, 100, 500 columns, on 1 and 8 BLAS threads.
# Run: /usr/bin/python3 bench/sscp_numpy.py
import os
import subprocess
import sys

CHILD = """
import time, numpy as np
n, q = 1000000, {q}
x = np.random.default_rng(1).random((n, q + 1)) - 0.5
x.T @ x
best = float("inf")
for _ in range(3):
    t = time.perf_counter()
    a = x.T @ x
    best = min(best, time.perf_counter() - t)
print(f"{{best * 1000:.1f}}")
"""

if __name__ == "__main__":
    print("| q | BLAS threads | numpy X'X (ms) |")
    print("|---|---|---|")
    for q in (20, 100, 500):
        for threads in (1, 8):
            env = dict(os.environ, OPENBLAS_NUM_THREADS=str(threads))
            out = subprocess.run([sys.executable, "-c", CHILD.format(q=q)], env=env,
                                 capture_output=True, text=True, check=True).stdout.strip()
            print(f"| {q} | {threads} | {out} |")
