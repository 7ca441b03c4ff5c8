#!/usr/bin/python3
# Regenerate: /usr/bin/python3 tests/reference/poly_terms.py > tests/data/effects/poly_terms.json
#
# Term labels of POLYNOMIAL effects: every monomial of degree 1..d over the variables, by
# degree, then in lexicographic order of the variable positions (itertools' multisets), with
# the label written from the variables' powers.
import itertools
import json
import math


def label(names, term, prefix, exponent, product, expand):
    pieces = []
    for pos, group in itertools.groupby(term):
        p = len(list(group))
        piece = prefix + names[pos]
        if p == 1:
            pieces.append(piece)
        elif expand:
            pieces.append(product.join([piece] * p))
        else:
            pieces.append(piece + exponent + str(p))
    return product.join(pieces)


CASES = [
    dict(vars=["x", "y"], degree=2),
    dict(vars=["x", "y"], degree=1),
    dict(vars=["x"], degree=4),
    dict(vars=["u", "v", "w"], degree=3),
    dict(vars=["x", "y"], degree=3, expand=True),
    dict(vars=["x", "y"], degree=2, exponent="**", product="."),
    dict(vars=["x", "y"], degree=2, product=""),
    dict(vars=["m1", "m2", "m3", "m4"], degree=2, prefix="s_"),
    dict(vars=["m1", "m2", "m3", "m4", "m5"], degree=4),
]

out = []
for c in CASES:
    names, d = c["vars"], c["degree"]
    prefix, exponent = c.get("prefix", ""), c.get("exponent", "^")
    product, expand = c.get("product", "*"), c.get("expand", False)
    labels = [label(names, t, prefix, exponent, product, expand)
              for k in range(1, d + 1)
              for t in itertools.combinations_with_replacement(range(len(names)), k)]
    assert len(labels) == math.comb(len(names) + d, d) - 1
    out.append(dict(c, labels=labels))
print(json.dumps(out, indent=1))
