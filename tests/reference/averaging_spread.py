#!/usr/bin/python3
# Regenerate: cmake --build build --target varsifter && /usr/bin/python3 tests/reference/averaging_spread.py build/app/varsifter
# Writes tests/data/averaging/spread_reference.csv: per observation and program the standard
# deviation numpy.std(ddof=1) gives of the OUTPUT SAMPLEPRED columns of model averaging, on
# mtcars with mpg + 1e6 (data set mtbig). Program "same": SRS(PERCENT=100), every sample the
# whole data, so the sample predictions are identical and their spread 0; program "urs": 40
# samples with replacement. The command writes the sample predictions; numpy takes their spread.
import csv
import os
import subprocess
import sys
import tempfile

import numpy as np

HERE = os.path.dirname(os.path.abspath(__file__))
OUT = os.path.join(HERE, "..", "data", "averaging")
MODEL = "model mpg = disp hp drat wt qsec am / selection=forward(select=sbc);"
PROGRAMS = {
    "same": "modelaverage nsamples=30 sampling=srs(percent=100);",
    "urs": "modelaverage nsamples=40 sampling=urs;",
}


def write_shifted(lib):
    with open(os.path.join(HERE, "..", "..", "examples", "data", "mtcars.csv")) as f:
        rows = list(csv.reader(f))
    c = rows[0].index("mpg")
    for r in rows[1:]:
        r[c] = repr(float(r[c]) + 1e6)
    with open(os.path.join(lib, "mtbig.csv"), "w", newline="") as f:
        csv.writer(f, quoting=csv.QUOTE_MINIMAL).writerows(rows)


def main(binary):
    out = [["program", "obs", "sd"]]
    with tempfile.TemporaryDirectory() as lib:
        write_shifted(lib)
        for name, averaging in PROGRAMS.items():
            prog = os.path.join(lib, name + ".vsf")
            with open(prog, "w") as f:
                f.write("proc varsifter data=mtbig seed=5;\n  %s\n  %s\n"
                        "  output out=o samplepred=sp;\nrun;\n" % (MODEL, averaging))
            subprocess.run([binary, prog, "--lib", lib], check=True, stdout=subprocess.DEVNULL)
            with open(os.path.join(lib, "o.csv")) as f:
                rows = list(csv.reader(f))
            cols = [j for j, n in enumerate(rows[0]) if n.startswith("sp")]
            for i, r in enumerate(rows[1:]):
                sd = np.std(np.array([float(r[j]) for j in cols]), ddof=1)
                out.append([name, str(i + 1), repr(float(sd))])
    with open(os.path.join(OUT, "spread_reference.csv"), "w", newline="") as f:
        csv.writer(f).writerows(out)


if __name__ == "__main__":
    main(os.path.abspath(sys.argv[1]))
