#!/usr/bin/python3
"""Data sets of the levelization tests and the levels each BY group must give.

Regenerate with:  /usr/bin/python3 tests/reference/levelize_data.py
Writes tests/data/levelize/{groups,ref,orders,readobs}.csv and groups_levels.json. The
expected levels are counted here with pandas from the rows themselves: which rows are usable,
each level's frequency (the truncated FREQ value, 0 when it is missing or below 1), the order in
which the levels first appear, the least raw value behind each level, and each continuous
variable's range.
"""
import json
import math
import os

import pandas as pd

OUT = os.path.join(os.path.dirname(__file__), "..", "data", "levelize")

# BY group 1 exercises usability and the frequency rules, group 2 has no usable row (x is
# missing throughout), group 3 is plain.
GROUPS = """g,c,n,f,x,y
1,b,3,1,1.5,10
1,a,1,2.7,2,11
1,c,2,0.5,-1,12
1,a,1,1,.,13
1,,2,1,4,14
1,b,.,1,3,15
1,a,3,.,0.5,16
1,c,10,3,2.5,17
2,d,1,1,.,1
2,e,2,1,.,2
3,b,10,1,5,1
3,a,9,3,6,2
3,b,10,1,7,3
"""

REF = """g,r
1,A
1,B
1,C
2,A
2,C
3,C
3,B
3,B
"""

# s: character levels " 9" and "10" (a right-aligned 9 sorts before 10), frequency ties;
# v: numbers whose text order differs from their value order, with a missing value;
# t: 1.04 and 1.01 read in 3 characters are one level.
ORDERS = """s,v,t
" 9",3,1.04
10,10,1.01
b,2.5,2
a,10,2
10,.,2
b,-1,2
b,3,2
a,3,2
"""

# Rows for the observation reader: CLASS c and d, continuous x and z, response y, weights
# w1 and w2, frequency f.
READOBS = """c,d,x,z,y,w1,w2,f
a,1,0,10,5,2,4,1
b,2,4,30,6,1,1,2
a,2,2,20,.,1,1,1
,1,2,20,7,1,1,1
b,.,2,20,7,1,1,1
a,1,.,20,7,1,1,1
a,1,2,20,7,0,1,1
a,1,2,20,7,-1,1,1
a,1,2,20,7,1,1,0
a,1,2,20,7,.,1,1
"""


def write(name, text):
    with open(os.path.join(OUT, name), "w", newline="") as f:
        f.write(text)


def freq_count(f):
    if f is None or (isinstance(f, float) and math.isnan(f)) or not f >= 1:
        return 0
    return int(math.floor(f))


def number_text(x):
    if x is None or (isinstance(x, float) and math.isnan(x)):
        return "."
    return str(int(x)) if float(x).is_integer() else repr(float(x))


def levels_of(rows, column, missing_ok, numeric):
    """Levels in byte order of their texts: [text, count, first seen, least raw value]."""
    found = {}
    for _, r in rows.iterrows():
        raw = r[column]
        text = number_text(raw) if numeric else ("" if pd.isna(raw) else str(raw))
        if text in (".", "") and not missing_ok:
            continue
        entry = found.get(text)
        if entry is None:
            entry = found[text] = [text, 0, len(found), raw]
        entry[1] += freq_count(r["f"])
        if numeric:
            least = entry[3]
            if pd.isna(raw) or (not pd.isna(least) and raw < least):
                entry[3] = raw
    out = []
    for text in sorted(found, key=lambda t: t.encode()):
        t, count, first, value = found[text]
        if numeric:
            value = None if pd.isna(value) else float(value)
        else:
            value = t
        out.append([t, count, first, value])
    return out


def combinations(rows, c_levels, n_levels):
    """The distinct (c, n) level-index pairs met in rows whose frequency is usable (present
    and above 0), in ascending order: c levels in byte order of their texts, n levels by value
    (a missing value first)."""
    c_index = {l[0]: k for k, l in enumerate(c_levels)}
    by_value = sorted(n_levels, key=lambda l: (l[3] is not None, l[3] or 0))
    n_index = {l[0]: k for k, l in enumerate(by_value)}
    pairs = set()
    for _, r in rows.iterrows():
        if pd.isna(r["f"]) or not r["f"] > 0:
            continue
        c = "" if pd.isna(r["c"]) else str(r["c"])
        pairs.add((c_index[c], n_index[number_text(r["n"])]))
    return sorted(pairs)


def usable(r, missing_c, missing_n):
    if pd.isna(r["x"]):
        return False
    if pd.isna(r["c"]) and not missing_c:
        return False
    if pd.isna(r["n"]) and not missing_n:
        return False
    return True


def main():
    os.makedirs(OUT, exist_ok=True)
    write("groups.csv", GROUPS)
    write("ref.csv", REF)
    write("orders.csv", ORDERS)
    write("readobs.csv", READOBS)
    df = pd.read_csv(os.path.join(OUT, "groups.csv"), na_values=["."], keep_default_na=False,
                     dtype={"c": str})
    df["c"] = df["c"].replace("", float("nan"))
    expected = {}
    for option in ("plain", "missing"):
        miss = option == "missing"
        per_group = []
        for g, rows in df.groupby("g", sort=True):
            keep = rows[[usable(r, miss, miss) for _, r in rows.iterrows()]]
            x = keep["x"]
            c_levels = levels_of(keep, "c", miss, False)
            n_levels = levels_of(keep, "n", miss, True)
            per_group.append({
                "g": int(g),
                "c": c_levels,
                "n": n_levels,
                "x": [float(x.min()), float(x.max())] if len(x) else None,
                "cn": combinations(keep, c_levels, n_levels),
            })
        expected[option] = per_group
    with open(os.path.join(OUT, "groups_levels.json"), "w") as f:
        json.dump(expected, f, indent=1)
        f.write("\n")


if __name__ == "__main__":
    main()
