#!/usr/bin/python3
# Regenerate: /usr/bin/python3 tests/reference/distribution_fixtures.py build/app/varsifter
# Writes tests/data/graphs/distribution_stats.csv, the reference of the box plots and histograms
# of the parameter-distribution graphs: for each sample of values its quartiles and median
# (numpy.percentile, linear), the whiskers as box plots draw them (the most extreme values within
# 1.5 IQR of the box, never inside it), the mean, and numpy.histogram(values, bins="sturges").
# The samples are edge cases written here and the estimates that the program exports (the
# Coeffs table) for tests/data/e2e/averaging_plots.vsf, one sample per parameter column.
#   set, values, q1, median, q3, low, high, mean, edges, counts   numbers space separated
import csv
import json
import os
import subprocess
import sys
import tempfile

import numpy as np

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.join(here, "..", "..")
program = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build", "app", "varsifter")

samples = {
    "one value": [3.5],
    "two values": [-1.0, 2.0],
    "all equal": [0.25] * 7,
    "odd count": [5.0, 1.0, 4.0, 2.0, 3.0],
    "even count with ties": [1.0, 2.0, 2.0, 2.0, 3.0, 10.0],
    "outliers both ways": [-40.0, -1.0, 0.0, 0.5, 1.0, 1.5, 2.0, 2.5, 60.0],
    "values on bin edges": [0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0, 8.0],
    "spread of 101": [((k * 37) % 101) / 7.0 - 3.0 for k in range(101)],
}

with tempfile.TemporaryDirectory() as tmp:
    doc = os.path.join(tmp, "run.json")
    subprocess.run([program, os.path.join(root, "tests", "data", "e2e", "averaging_plots.vsf"),
                    "--lib", os.path.join(root, "examples", "data"), "--json", doc],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    with open(doc) as f:
        document = json.load(f)


def tables(items):
    for item in items:
        if item.get("type") == "group":
            yield from tables(item["items"])
        elif item.get("name") == "Coeffs":
            yield item


coeffs = next(tables(document["output"]))
for column in coeffs["columns"][1:]:
    name = column["name"]
    values = [row[name] for row in coeffs["rows"] if isinstance(row[name], (int, float))]
    if values:
        samples["averaging_plots " + name] = values


def text(values):
    return " ".join(repr(float(v)) for v in values)


with open(os.path.join(root, "tests", "data", "graphs", "distribution_stats.csv"), "w",
          newline="") as out:
    w = csv.writer(out)
    w.writerow(["set", "values", "q1", "median", "q3", "low", "high", "mean", "edges", "counts"])
    for name, values in samples.items():
        v = np.sort(np.array(values, dtype=float))
        q1, median, q3 = np.percentile(v, [25, 50, 75])
        reach = 1.5 * (q3 - q1)
        inside_low = v[v >= q1 - reach]
        inside_high = v[v <= q3 + reach]
        low = min(inside_low.min(), q1) if inside_low.size else q1
        high = max(inside_high.max(), q3) if inside_high.size else q3
        counts, edges = np.histogram(v, bins="sturges")
        w.writerow([name, text(values), repr(q1), repr(median), repr(q3), repr(low), repr(high),
                    repr(float(np.mean(v))), text(edges), text(counts)])
