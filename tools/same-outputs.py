#!/usr/bin/env python3
"""Compares the runs two builds' end-to-end tests kept (VSF_E2E_KEEP): for every program both
ran, the listing and log, the JSON document and the library's CSV files must be the same once
the temporary and source paths of each side stand as placeholders. Random seeds drawn from the
clock (SYSRANDOM, SYSRANEND), the times of the Timing table and the process ids in the names of
the host's files are left out; a listing line that names a path loses its leading blanks, which
the path's length sets.

  tools/same-outputs.py BASE_DIR NEW_DIR --roots BASE_SRC BASE_TMP NEW_SRC NEW_TMP
Exit status 0 when every common run is the same, 1 otherwise."""
import argparse
import json
import os
import re
import sys

LEFT_OUT = {"SYSRANDOM", "SYSRANEND", "time"}
SECONDS = re.compile(r"\s+[0-9.]+$")
# The host's utility and scratch files carry the process id, a counter and a random part in
# their names (the random part absent in outputs of earlier builds).
HOST_FILE = re.compile(r"vsf_\d+_\d+(_[A-Za-z0-9]{6})?")


def normalizer(src, tmp):
    below_tmp = re.compile(re.escape(tmp) + r"/[^/\s\"']*")

    def normal(text):
        text = below_tmp.sub("<TMP>/X", text).replace(tmp, "<TMP>").replace(src, "<SRC>")
        text = HOST_FILE.sub("vsf_<N>", text)
        lines, timing = [], 0  # 1 in the Timing table's title, 2 in its rows
        for l in text.split("\n"):
            # The listing's Timing table: its task names stay, its seconds go.
            if "Timing Breakdown" in l:
                timing = 1
            elif timing and l.strip():
                timing = 2
                l = SECONDS.sub("", l).strip()
            elif timing == 2:
                timing = 0
            lines.append(l.lstrip() if "<TMP>" in l or "<SRC>" in l else l)
        return "\n".join(lines)

    return normal


def walk(value, normal):
    if isinstance(value, str):
        return normal(value)
    if isinstance(value, list):
        return [walk(v, normal) for v in value]
    if isinstance(value, dict):
        return {k: walk(v, normal) for k, v in value.items() if k not in LEFT_OUT}
    return value


def read(directory, name, normal):
    path = os.path.join(directory, name)
    if not os.path.exists(path):
        return None
    with open(path, encoding="utf-8", errors="replace") as f:
        text = f.read()
    if name.endswith(".json"):
        try:
            return walk(json.loads(text), normal)
        except ValueError:
            return normal(text)
    return normal(text)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("base")
    ap.add_argument("new")
    # Four paths, not two pairs joined by a colon: a checkout's path may hold one.
    ap.add_argument("--roots", nargs=4, required=True)
    a = ap.parse_args()
    normals = [normalizer(*a.roots[:2]), normalizer(*a.roots[2:])]
    runs = lambda d: {f.rsplit(".", 1)[0] for f in os.listdir(d) if f.endswith(".out")}
    common = sorted(runs(a.base) & runs(a.new))
    differ = []
    for run in common:
        for kind in (".out", ".json", ".files"):
            x = read(a.base, run + kind, normals[0])
            y = read(a.new, run + kind, normals[1])
            if x != y:
                differ.append(run + kind)
    print(f"same-outputs: {len(common)} programs run by both builds "
          f"({len(runs(a.base)) - len(common)} only by the base, "
          f"{len(runs(a.new)) - len(common)} only by the new); {len(differ)} differ")
    for d in differ[:50]:
        print(f"  differs: {d}")
    return 1 if differ else 0


if __name__ == "__main__":
    sys.exit(main())
