#!/usr/bin/env python3
"""Writes the whole-run mutations of the small run into fuzz/corpus/run/.

Each mutation changes one thing of fuzz/corpus/run/small_run (parameter file,
target record, element record, separated by "~~~~" lines): a truncation at a
line or inside one, a flipped bit, an extreme or non-numeric value, a sample
count that disagrees with the samples, carriage returns before every newline.
The fuzz-replay test runs each through the whole program, which must end
with status 0 and complete figures free of nan and inf, with status 1 and the
fatal report, or with status 2 and one line. Rerun after changing small_run:
    python3 fuzz/mutations.py
"""
import os
import random

here = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "run")
base = open(os.path.join(here, "small_run"), encoding="latin-1").read().split("~~~~\n")
names = ["params", "target", "element"]
for old in os.listdir(here):
    if old.startswith("mutation_"):
        os.remove(os.path.join(here, old))
count = 0


def write(what, f, text):
    global count
    parts = list(base)
    parts[f] = text
    count += 1
    name = "mutation_%03d_%s_%s" % (count, names[f], what)
    with open(os.path.join(here, name), "w", encoding="latin-1", newline="") as out:
        out.write("~~~~\n".join(parts))


def lines(f):
    return base[f].split("\n")[:-1]


def join(ls):
    return "".join(l + "\n" for l in ls)


# Truncation: every line of the parameter file and of the record headers, a
# few of the samples; and half of each header line.
for f in range(3):
    ls = lines(f)
    for k in range(0, len(ls), 1 if f == 0 else 1):
        if f > 0 and k >= 19 and k % 12:
            continue
        write("first_%d_lines" % k, f, join(ls[:k]))
        if k < 19 and ls[k]:
            write("cut_in_line_%d" % (k + 1), f, join(ls[:k]) + ls[k][: len(ls[k]) // 2])

# Flipped bits, the same ones on every run; in the records three in four
# land in the header.
rng = random.Random(20261206)
for f in range(3):
    text = base[f]
    header_end = len(text) if f == 0 else text.find("\n", 330)
    for n in range(20):
        limit = len(text) if n % 4 == 3 else header_end
        pos, bit = rng.randrange(limit), rng.randrange(8)
        flipped = text[:pos] + chr(ord(text[pos]) ^ (1 << bit)) + text[pos + 1:]
        write("bit_%d_of_byte_%d" % (bit, pos), f, flipped)

# Extreme and non-numeric values: one per parameter, cycling; in the records
# the rate (line 5), the scale factor (line 11) and a sample.
values = ["1e39", "-1e39", "3.4e38", "1e-45", "1e-50", "2147483648", "-2147483649",
          "99999999999", "nan", "inf", "-Infinity", "NaN", "0", "-0.0"]
ls = lines(0)
pick = 0
for k, line in enumerate(ls):
    if k in (11, 12, 15, 16):  # file names and titles
        continue
    tokens = line.split()
    for i in range(len(tokens)):
        v = values[pick % len(values)]
        pick += 1
        changed = list(ls)
        changed[k] = " ".join(v if j == i else t for j, t in enumerate(tokens))
        write("line_%d_value_%d" % (k + 1, i + 1), 0, join(changed))
for f, sample_line, width in ((1, 20, 8), (2, 21, 10)):
    ls = lines(f)
    for v in values:
        for at, field in ((4, "isps"), (10, "scale")):
            changed = list(ls)
            changed[at] = v.rjust(10)
            write("%s_%s" % (field, v), f, join(changed))
        changed = list(ls)
        row = changed[sample_line]
        changed[sample_line] = row[: 2 * width] + v.rjust(width)[:width] + row[3 * width:]
        write("sample_%s" % v, f, join(changed))

# Sample counts that disagree with the samples.
for f, n in ((1, 400), (2, 300)):
    for v in (n - 1, n + 1, 2 * n, 1, 0, -1, 15000, 15001, 2147483647, 2147483648):
        ls = lines(f)
        ls[5] = str(v).rjust(10)
        write("npts_%d" % v, f, join(ls))

# Carriage returns before every newline of one file.
for f in range(3):
    write("crlf", f, base[f].replace("\n", "\r\n"))
print(count, "mutations written to", here)
