#!/usr/bin/python3
# The same reading with pandas: read_csv, then one pass over every value.
import sys
import time

import pandas as pd

t0 = time.perf_counter()
df = pd.read_csv(sys.argv[1])
t1 = time.perf_counter()
total = float(df.to_numpy().sum())
t2 = time.perf_counter()
rows = len(df)
print(f"pandas {pd.__version__}: rows {rows} columns {df.shape[1]}")
print(f"read_csv {t1 - t0:.3f} s  {rows / (t1 - t0):.0f} rows/s; sum pass {t2 - t1:.3f} s")
print(f"checksum {total:.6f}")
