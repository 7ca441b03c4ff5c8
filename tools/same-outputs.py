#!/usr/bin/env python3
"""Compares the runs two builds' end-to-end tests kept (VSF_E2E_KEEP): for every program both
ran, the listing and log, the JSON document and the library's CSV files must be the same once
the temporary and source paths of each side stand as placeholders. Random seeds drawn from the
clock (SYSRANDOM, SYSRANEND) are left out.

  tools/same-outputs.py BASE_DIR NEW_DIR --roots BASE_SRC:BASE_TMP NEW_SRC:NEW_TMP
Exit status 0 when every common run is the same, 1 otherwise."""
import argparse
import json
import os
import re
import sys

CLOCK_MACROS = {"SYSRANDOM", "SYSRANEND"}


def normalizer(src, tmp):
    below_tmp = re.compile(re.escape(tmp) + r"/[^/\s\"']*")

    def normal(text):
        text = below_tmp.sub("<TMP>/X", text).replace(tmp, "<TMP>")
        return text.replace(src, "<SRC>")

    return normal


def walk(value, normal):
    if isinstance(value, str):
        return normal(value)
    if isinstance(value, list):
        return [walk(v, normal) for v in value]
    if isinstance(value, dict):
        return {k: walk(v, normal) for k, v in value.items() if k not in CLOCK_MACROS}
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
    ap.add_argument("--roots", nargs=2, required=True)
    a = ap.parse_args()
    normals = [normalizer(*r.split(":", 1)) for r in a.roots]
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
