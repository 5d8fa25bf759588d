#!/usr/bin/env python3
"""Record shapes beyond the eight forms: tilvaro's CPU time per GB of input
for a whole merge of each shape, beside the varied form of gen_points as the
yardstick (the costliest of the eight).

Started by bench/shapes after it has built tilvaro, gen_points and peak_rss,
or directly with --build for a build made elsewhere (an older revision).
Each shape is one input file: a block of distinct records (from a fixed
seed) repeated up to --mb megabytes. CPU per byte of input is the measure,
so a shape of very short records (shortexp: "12 5E3 1e-7", written as some
25 bytes) costs more per byte than any of long ones, whatever its fields;
tiny ("7 1 2", 6 bytes written as 21, every field copied as text) shows that
floor. Every run's result must hold one line
per record and the header. Each shape's runs alternate with runs of the
varied form, so that both meet the same load on a busy machine; the CPU
time (user + system) of each one's median run is printed per GB of input,
and the ratio of the two; and the ratio of their user times alone, which
leaves out the system's work of reading, writing and syncing, which grows
with the result's size (a shape of short records has a result twice as
large as its input, varied's is nearly the size of its input).
"""

import argparse
import os
import random
import statistics
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from merge_bench import BenchError, Workspace, remove_file, run_tilvaro  # noqa: E402

HEADER = b"4 600000 2400000\n5 700000 2500000\n6 100 900\n"
BLOCK_RECORDS = 50000


def coord(r):
    """A coordinate in metres with 0 to 6 decimals, as text digits."""
    whole = r.randrange(600000, 700000)
    d = r.randrange(0, 7)
    return f"{whole}.{r.randrange(10 ** d):0{d}d}" if d else str(whole)


def exponent_text(r):
    """A coordinate as exporters write it in exponent form: %e, an integer
    mantissa with E, millimetres with e-3; and one value in eight a short
    one such as 5E3 or 1e-7."""
    v = r.uniform(6e5, 7e5)
    pick = r.randrange(8)
    if pick == 0:
        return f"{r.randrange(1, 10)}E{r.randrange(0, 6)}" if r.randrange(2) else f"{r.randrange(1, 10)}e-{r.randrange(1, 9)}"
    if pick < 4:
        return f"{v:.6e}"                                   # 6.123456e+05
    if pick < 6:
        return f"{round(v * 10)}E-1"                        # 6123456E-1
    return f"{round(v * 1000)}e-003"                         # 612345678e-003


def short_exponent_text(r):
    """Short exponent values alone: 5E3, 1e-7, 2.5e+2."""
    pick = r.randrange(3)
    if pick == 0:
        return f"{r.randrange(1, 10)}E{r.randrange(0, 6)}"
    if pick == 1:
        return f"{r.randrange(1, 10)}e-{r.randrange(1, 9)}"
    return f"{r.randrange(1, 10)}.{r.randrange(10)}e+{r.randrange(0, 4)}"


def long_digits(r, low, high):
    n = r.randrange(low, high + 1)
    text = str(r.randrange(1, 10)) + "".join(str(r.randrange(10)) for _ in range(n - 1))
    point = r.randrange(1, n)
    return text[:point] + "." + text[point:]


def bare_cr(text):
    """A CR byte inside the field: removed, it joins the two sides."""
    return text[:3] + "\r" + text[3:]


def code(r):
    return str(r.randrange(0, 1000))


# Each shape: one record's text (with its line end) from a random generator.
SHAPES = {
    "exponent": lambda r: f"{code(r)} {exponent_text(r)} {exponent_text(r)}\n",
    "shortexp": lambda r: f"{code(r)} {short_exponent_text(r)} {short_exponent_text(r)}\n",
    "tiny": lambda r: f"{r.randrange(10)} {r.randrange(10)} {r.randrange(10)}\n",
    "plus": lambda r: f"+{code(r)} +{coord(r)} +{coord(r)}\n",
    "leadzero": lambda r: f"{code(r)} 00{coord(r)} {'0' * r.randrange(1, 5)}{r.randrange(1, 10 ** 7)}\n",
    "code11-15": lambda r: f"{r.randrange(10 ** 10, 10 ** 15)} {coord(r)} {coord(r)}\n",
    "code16-40": lambda r: f"{r.randrange(10 ** 15, 10 ** 40)} {coord(r)} {coord(r)}\n",
    "codezero": lambda r: f"{'0' * r.randrange(1, 4)}{code(r)} {coord(r)} {coord(r)}\n",
    "digits20-40": lambda r: f"{code(r)} {long_digits(r, 20, 40)} {long_digits(r, 20, 40)}\n",
    "infnan": lambda r: f"{code(r)} {r.choice(['+INF', '-INF', '+NAN', '-NAN', coord(r)])} {coord(r)}\n",
    "joined": lambda r: f"{code(r)} {coord(r)}-{coord(r)}\n",
    "barecr": lambda r: f"{code(r)} {bare_cr(coord(r))} {coord(r)}\r\n",
    "blank": lambda r: f"{code(r)} {coord(r)} {coord(r)}\n",
    "blankruns": lambda r: "".join([code(r), r.choice(["  ", "\t\t", " \t ", "    "]), coord(r),
                                    r.choice(["  ", "\t\t", " \t", "\t "]), coord(r), "\n"]),
    "lines": lambda r: f"{code(r)}\n{coord(r)}\n{coord(r)}\n",
    "lf": lambda r: f"{code(r)}\t{coord(r)}\t{coord(r)}\n",
    "crlf": lambda r: f"{code(r)}\t{coord(r)}\t{coord(r)}\r\n",
}


def parse_args():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build", required=True, help="build directory holding tilvaro, bench/gen_points, bench/peak_rss")
    p.add_argument("--mb", type=float, default=100, help="size of each shape's input in MB (10^6 bytes), default 100")
    p.add_argument("--runs", type=int, default=3, help="runs of each shape, default 3")
    p.add_argument("--timeout", type=float, default=600, help="seconds before a single run counts as hung")
    p.add_argument("--shape", action="append", choices=list(SHAPES),
                   help="shape to measure (repeatable); default: all of " + ", ".join(SHAPES))
    a = p.parse_args()
    a.shape = a.shape or list(SHAPES)
    if a.runs < 1 or a.mb <= 0:
        p.error("--runs and --mb must be positive")
    return a


def write_shape(path, shape, size):
    """The shape's input: its block repeated up to size bytes; returns the
    number of data records."""
    r = random.Random(shape)
    records = [SHAPES[shape](r).encode() for _ in range(BLOCK_RECORDS)]
    block = b"".join(records)
    repeats = max(1, round(size / len(block)))
    with open(path, "wb") as f:
        f.write(HEADER)
        for _ in range(repeats):
            f.write(block)
    return repeats * BLOCK_RECORDS


def run_once(args, ws, path, name, records):
    """One merge of the input at path: its CPU seconds (user + system) and
    its user seconds, after checking its result holds a line per record
    (records None: not checked)."""
    ws.inputs = [path]
    _, _, result, seconds = run_tilvaro(ws, args.timeout)
    with open(os.path.join(ws.root, "tilvaro.log.rss")) as f:  # run_tilvaro's peak_rss report
        user = float(f.read().split()[2])
    with open(result, "rb") as f:
        lines = sum(chunk.count(b"\n") for chunk in iter(lambda: f.read(1 << 22), b""))
    remove_file(result)
    if records is not None and lines != records + 3:
        raise BenchError(f"{name}: the result holds {lines} lines, not {records + 3}")
    return seconds, user


def measure(args, ws, varied_path, shape, records):
    """The shape's and the varied form's median CPU s/GB, and the ratio of
    their median user s/GB, from runs that alternate between the two, so
    that both meet the same load."""
    path = os.path.join(ws.folder, "shape.zqd")
    size = os.path.getsize(path) / 1e9
    varied_size = os.path.getsize(varied_path) / 1e9
    runs, varied = [], []
    for _ in range(args.runs):
        varied.append(run_once(args, ws, varied_path, "varied", None))
        runs.append(run_once(args, ws, path, shape, records))
    def median(pairs, i, gb):
        return statistics.median(pair[i] for pair in pairs) / gb
    user_ratio = median(runs, 1, size) / median(varied, 1, varied_size)
    return median(runs, 0, size), median(varied, 0, varied_size), user_ratio


def main():
    args = parse_args()
    build = os.path.abspath(args.build)
    ws = Workspace(os.path.join(build, "shape-work"), build)
    rows = []
    try:
        ws.generate(1, int(args.mb * 1e6), 1, "varied")
        varied_path = ws.inputs[0]
        print(f"  {'shape':14}{'CPU s/GB':>9}{'varied':>9}  against varied  user time alone"
              "  (runs alternating with varied)", flush=True)
        for shape in args.shape:
            records = write_shape(os.path.join(ws.folder, "shape.zqd"), shape, args.mb * 1e6)
            cpu, varied, user_ratio = measure(args, ws, varied_path, shape, records)
            rows.append((shape, cpu, cpu / varied))
            print(f"  {shape:14}{cpu:9.2f}{varied:9.2f}  {cpu / varied:13.2f}x  {user_ratio:14.2f}x", flush=True)
    except BenchError as e:
        print(f"\nSHAPE BENCHMARK FAILED: {e}", file=sys.stderr)
        ws.remove()
        return 1
    ws.remove()
    worst = max(rows, key=lambda row: row[2]) if rows else None
    if worst:
        print(f"costliest shape against varied: {worst[0]}, {worst[2]:.2f}x")
    return 0


if __name__ == "__main__":
    sys.exit(main())
