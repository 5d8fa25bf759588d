#!/usr/bin/env python3
"""Merge benchmark: tilvaro against the copy floor and the stdio reference.

Started by bench/run after it has built tilvaro, gen_points and stdio_merge.
For each input form (gen_points --form):
    canonical - code TAB x TAB y CR LF, six decimals (the tool's own form);
    survey    - code SPACE x SPACE y LF, 0 to 5 decimals, integer values;
    varied    - signs, exponents, leading zeros, 7 to 17 significant
                digits, blanks and tabs mixed, LF and CR LF mixed;
    long      - full-precision fixed exports, 13 to 20 decimals;
    sci       - 17 significant digits as %.16e and %.17g, TAB, CR LF;
    ints      - whole units;
    mixed     - the canonical form, one long record in ten;
    lead      - leading zeros, 19 and more significant digits, 3-digit
                exponents;
it generates the inputs with fixed seeds in a working directory under the
build directory (on disk), then times alternating rounds of
    floor   - cat of the inputs into one file, then fsync of that file;
    stdio   - bench/stdio_merge (fscanf/fprintf record by record, fsync);
    tilvaro - the tool, fed its answers through a pipe (with --list: its
              command line, the inputs named in a list, -T),
and prints the median wall time and input MB/s of each with the ratios
tilvaro/floor and stdio/tilvaro, and tilvaro's CPU time (user + system) per
GB of input. Every tilvaro result is compared byte for byte with the stdio
reference's; a difference fails the run. A summary table holds every form
against its targets. Finally the peak resident memory of tilvaro is
measured for 1 MB and 1 GB of canonical input, its result checked against
an independent computation of the expected bytes. The generated files are
removed at the end.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time

FOLDER = "bench"
RESULT = "merged"
FORMS = ("canonical", "survey", "varied", "long", "sci", "ints", "mixed", "lead")
# The targets of each form: tilvaro / floor at most, stdio / tilvaro at least.
TARGETS = {"canonical": (1.25, 20), "survey": (1.5, 20), "varied": (3, 10), "long": (3, 6), "sci": (3, 6),
           "ints": (2.5, 10), "mixed": (2, 10), "lead": (3, 5)}


class BenchError(Exception):
    pass


def parse_args():
    p = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    p.add_argument("--build", required=True, help="build directory holding tilvaro and bench/")
    p.add_argument("--mb", type=float, default=100, help="size of each input in MB (10^6 bytes), default 100")
    p.add_argument("--inputs", type=int, default=2, help="number of inputs, default 2")
    p.add_argument("--runs", type=int, default=5, help="timed runs of each contender, default 5")
    p.add_argument("--seed", type=int, default=1, help="seed of the first input (the next ones count up)")
    p.add_argument("--no-gb", action="store_true", help="skip the peak-memory measure on 1 GB of input")
    p.add_argument("--list", action="store_true",
                   help="name the inputs to tilvaro in a list (tilvaro -q -o RESULT -T LIST), for many inputs")
    p.add_argument("--check", action="store_true",
                   help="also time tilvaro --check on the same inputs, in the same alternating rounds")
    p.add_argument("--timeout", type=float, default=900, help="seconds before a single run counts as hung")
    p.add_argument("--form", action="append", choices=FORMS,
                   help="input form to measure (repeatable); default: all of " + ", ".join(FORMS))
    a = p.parse_args()
    a.form = [f for f in FORMS if f in a.form] if a.form else list(FORMS)
    if a.inputs < 1 or a.runs < 1 or a.mb <= 0:
        p.error("--inputs, --runs and --mb must be positive")
    return a


def run_child(build, argv, cwd, stdin_bytes, log_path, timeout):
    """Runs argv under bench/peak_rss; returns (wall seconds, peak RSS in KiB,
    exit code, CPU seconds in user + system mode). The small runner forks the child, so that the child's peak
    memory is not inflated by a copy of this Python process."""
    report = log_path + ".rss"
    runner = [os.path.join(build, "bench", "peak_rss"), report]
    with open(log_path, "wb") as log:
        start = time.perf_counter()
        child = subprocess.Popen(runner + argv, cwd=cwd, stdin=subprocess.PIPE, stdout=log,
                                 stderr=subprocess.STDOUT, start_new_session=True)
        try:
            child.stdin.write(stdin_bytes)
            child.stdin.close()
        except BrokenPipeError:
            pass
        try:
            child.wait(timeout)
        except subprocess.TimeoutExpired:
            os.killpg(child.pid, 9)
            child.wait()
            raise BenchError(f"{argv[0]} still running after {timeout:.0f} s (log: {log_path})")
        wall = time.perf_counter() - start
    try:
        with open(report) as f:
            fields = f.read().split()
        code, rss, cpu = int(fields[0]), int(fields[1]), float(fields[2]) + float(fields[3])
        wall = float(fields[4])  # timed by the runner itself: Popen.wait's polling rounds to 50 ms
    except (OSError, ValueError, IndexError):
        raise BenchError(f"peak_rss gave no report for {argv[0]} (log: {log_path}):\n{tail(log_path)}")
    return wall, rss, code, cpu


def tail(path, lines=15):
    try:
        with open(path, "rb") as f:
            return b"\n".join(f.read().splitlines()[-lines:]).decode(errors="replace")
    except OSError:
        return ""


class Workspace:
    """Inputs in <work>/images/<FOLDER>/, the layout tilvaro expects."""

    def __init__(self, root, build):
        self.root = root
        self.build = build
        self.folder = os.path.join(root, "images", FOLDER)
        self.inputs = []

    def generate(self, count, each_bytes, seed, form="canonical"):
        shutil.rmtree(self.root, ignore_errors=True)
        os.makedirs(self.folder)
        self.inputs = []
        for i in range(count):
            path = os.path.join(self.folder, f"in{i + 1}.zqd")
            subprocess.run([os.path.join(self.build, "bench", "gen_points"), "--form", form, path, str(each_bytes),
                            str(seed + i)], check=True)
            self.inputs.append(path)
        return sum(os.path.getsize(p) for p in self.inputs)

    def tilvaro_result(self):
        return os.path.join(self.folder, RESULT + ".zqd")

    def answers(self):
        names = [os.path.basename(p)[:-4] for p in self.inputs]
        return ("\n".join([FOLDER, str(len(names))] + names + [RESULT]) + "\n").encode()

    def remove(self):
        shutil.rmtree(self.root, ignore_errors=True)

    def remove_data(self):
        """Removes the point files (they can be large) but keeps the logs."""
        for top, _, files in os.walk(self.root):
            for name in files:
                if name.endswith(".zqd"):
                    remove_file(os.path.join(top, name))


def remove_file(path):
    try:
        os.remove(path)
    except FileNotFoundError:
        pass


def settle():
    """Writes back everything pending so that no run pays for the previous."""
    os.sync()


def run_floor(ws, timeout):
    out = os.path.join(ws.root, "floor.zqd")
    remove_file(out)
    settle()
    start = time.perf_counter()
    with open(out, "wb") as f:
        # No timeout: a wait with one polls, in steps of up to 50 ms.
        subprocess.run(["cat"] + ws.inputs, stdout=f, check=True)
        os.fsync(f.fileno())
    wall = time.perf_counter() - start
    remove_file(out)
    return wall


def run_stdio(ws, timeout):
    out = os.path.join(ws.root, "stdio.zqd")
    remove_file(out)
    settle()
    log = os.path.join(ws.root, "stdio.log")
    wall, _, code, _ = run_child(ws.build, [os.path.join(ws.build, "bench", "stdio_merge"), out] + ws.inputs, ws.root,
                                 b"", log, timeout)
    if code != 0:
        raise BenchError(f"stdio_merge failed with exit code {code}:\n{tail(log)}")
    return wall, out


def run_tilvaro(ws, timeout, listed=False):
    out = ws.tilvaro_result()
    remove_file(out)
    settle()
    log = os.path.join(ws.root, "tilvaro.log")
    argv, answers = [os.path.join(ws.build, "tilvaro")], ws.answers()
    if listed:
        listing = os.path.join(ws.root, "inputs.txt")
        with open(listing, "w") as f:
            f.write("".join(p + "\n" for p in ws.inputs))
        argv, answers = argv + ["-q", "-o", out, "-T", listing], b""
    wall, rss, code, cpu = run_child(ws.build, argv, ws.root, answers, log, timeout)
    if code != 0:
        raise BenchError(f"tilvaro failed with exit code {code}:\n{tail(log)}")
    if not os.path.exists(out):
        raise BenchError(f"tilvaro wrote no {out}:\n{tail(log)}")
    return wall, rss, out, cpu


def run_check(ws, timeout):
    """tilvaro --check on the inputs: (wall seconds, CPU seconds)."""
    settle()
    log = os.path.join(ws.root, "check.log")
    wall, _, code, cpu = run_child(ws.build, [os.path.join(ws.build, "tilvaro"), "-q", "--check"] + ws.inputs,
                                   ws.root, b"", log, timeout)
    if code != 0:
        raise BenchError(f"tilvaro --check found the inputs not whole (exit code {code}):\n{tail(log)}")
    return wall, cpu


def compare(a, b):
    """None when a and b hold the same bytes, else cmp's description."""
    r = subprocess.run(["cmp", a, b], stdout=subprocess.PIPE, stderr=subprocess.STDOUT)
    return None if r.returncode == 0 else r.stdout.decode(errors="replace").strip()


def expected_header(inputs):
    """The result header from the inputs' headers, computed independently."""
    minx, miny, minz = 4000000.0, 4000000.0, 100000.0
    maxx = maxy = maxz = 0.0
    for path in inputs:
        with open(path, "rb") as f:
            h = [f.readline().split() for _ in range(3)]
        lo_x, lo_y = float(h[0][1]), float(h[0][2])
        hi_x, hi_y = float(h[1][1]), float(h[1][2])
        lo_z, hi_z = float(h[2][1]), float(h[2][2])
        minx, miny, minz = min(minx, lo_x), min(miny, lo_y), min(minz, lo_z)
        maxx, maxy, maxz = max(maxx, hi_x), max(maxy, hi_y), max(maxz, hi_z)
    return ("4\t%.6f\t%.6f\r\n5\t%.6f\t%.6f\r\n6\t%.6f\t%.6f\r\n" % (minx, miny, maxx, maxy, minz, maxz)).encode()


def check_result(inputs, result):
    """The result must be the expected header followed by the inputs' data
    records, which gen_points already writes in the result's exact form."""
    chunk = 1 << 22
    with open(result, "rb") as r:
        header = expected_header(inputs)
        if r.read(len(header)) != header:
            raise BenchError(f"{result}: header differs from the expected one")
        for path in inputs:
            with open(path, "rb") as f:
                for _ in range(3):
                    f.readline()
                offset = 0
                while True:
                    want = f.read(chunk)
                    if not want:
                        break
                    got = r.read(len(want))
                    if got != want:
                        at = next((i for i, (x, y) in enumerate(zip(got, want)) if x != y), len(got))
                        raise BenchError(f"{result}: differs from the data of {path} at its byte {offset + at} "
                                         "(counted after its header)")
                    offset += len(want)
        if r.read(1):
            raise BenchError(f"{result}: longer than expected")


def measure_speed(args, ws, form):
    each = int(args.mb * 1e6)
    print(f"== form {form}: generating {args.inputs} inputs of {args.mb:g} MB "
          f"(seeds {args.seed}..{args.seed + args.inputs - 1})", flush=True)
    total = ws.generate(args.inputs, each, args.seed, form)
    times = {"floor": [], "stdio": [], "tilvaro": []}
    if args.check:
        times["check"] = []
    rss = []
    cpu = []
    check_cpu = []
    for i in range(args.runs):
        times["floor"].append(run_floor(ws, args.timeout))
        wall, stdio_out = run_stdio(ws, args.timeout)
        times["stdio"].append(wall)
        wall, peak, result, seconds = run_tilvaro(ws, args.timeout, args.list)
        times["tilvaro"].append(wall)
        rss.append(peak)
        cpu.append(seconds)
        diff = compare(result, stdio_out)
        if diff:
            raise BenchError(f"{form}, run {i + 1}: tilvaro's result differs from the stdio reference: {diff}")
        print(f"  round {i + 1}/{args.runs}: floor {times['floor'][-1]:.3f} s, stdio {times['stdio'][-1]:.3f} s, "
              f"tilvaro {times['tilvaro'][-1]:.3f} s (CPU {seconds:.3f} s), results identical", flush=True)
        remove_file(stdio_out)
        remove_file(result)
        if args.check:
            wall, seconds = run_check(ws, args.timeout)
            times["check"].append(wall)
            check_cpu.append(seconds)
            print(f"  round {i + 1}/{args.runs}: tilvaro --check {wall:.3f} s (CPU {seconds:.3f} s)", flush=True)
    med = {k: statistics.median(v) for k, v in times.items()}
    mb = total / 1e6
    gb = total / 1e9
    r = {"form": form, "mb": mb, "med": med, "ratio": med["tilvaro"] / med["floor"],
         "speedup": med["stdio"] / med["tilvaro"], "cpu_per_gb": statistics.median(cpu) / gb, "rss": max(rss)}
    if args.check:
        r["check_cpu_per_gb"] = statistics.median(check_cpu) / gb
    print(f"input: {args.inputs} files, {mb:.1f} MB in all; median of {args.runs} alternating runs (wall time)")
    labels = {"floor": "copy floor (cat + fsync)", "stdio": "stdio reference merge", "tilvaro": "tilvaro"}
    print(f"  {'':26}{'median s':>10}{'min s':>10}{'max s':>10}{'MB/s':>10}")
    if args.check:
        labels["check"] = "tilvaro --check"
    for k in labels:
        print(f"  {labels[k]:26}{med[k]:10.3f}{min(times[k]):10.3f}{max(times[k]):10.3f}{mb / med[k]:10.1f}")
    print(f"  tilvaro / floor : {r['ratio']:.2f}x the copy floor's time")
    print(f"  stdio / tilvaro : {r['speedup']:.2f}x (tilvaro's speed-up over stdio)")
    print(f"  tilvaro CPU     : {r['cpu_per_gb']:.2f} s per GB of input (user + system, median)")
    print(f"  tilvaro peak RSS: {r['rss'] / 1024:.1f} MiB on {mb:.0f} MB")
    print("  every tilvaro result was byte-identical to the stdio reference's\n", flush=True)
    return r


def print_summary(results):
    print("summary (median wall times; CPU = tilvaro's user + system time per GB of input)")
    print(f"  {'form':10}{'floor s':>9}{'stdio s':>9}{'tilvaro s':>11}{'t/floor':>9}{'goal':>7}"
          f"{'stdio/t':>9}{'goal':>7}{'CPU s/GB':>10}{'RSS MiB':>9}  targets")
    for r in results:
        most, least = TARGETS[r["form"]]
        met = r["ratio"] <= most and r["speedup"] >= least
        print(f"  {r['form']:10}{r['med']['floor']:9.3f}{r['med']['stdio']:9.3f}{r['med']['tilvaro']:11.3f}"
              f"{r['ratio']:9.2f}{'<=' + format(most, 'g'):>7}{r['speedup']:9.1f}{'>=' + format(least, 'g'):>7}"
              f"{r['cpu_per_gb']:10.2f}{r['rss'] / 1024:9.1f}  {'met' if met else 'missed'}")
    if any("check" in r["med"] for r in results):
        print("tilvaro --check against the merge, same rounds (median wall times, CPU per GB)")
        print(f"  {'form':10}{'merge s':>9}{'check s':>9}{'check/merge':>13}{'merge CPU':>11}{'check CPU':>11}")
        for r in results:
            print(f"  {r['form']:10}{r['med']['tilvaro']:9.3f}{r['med']['check']:9.3f}"
                  f"{r['med']['check'] / r['med']['tilvaro']:13.2f}{r['cpu_per_gb']:11.2f}{r['check_cpu_per_gb']:11.2f}")


def measure_memory(args, ws, total_bytes, label, with_stdio):
    each = max(1, total_bytes // args.inputs)
    print(f"peak memory on {label} of input: generating...", flush=True)
    ws.generate(args.inputs, each, args.seed + 100)
    _, peak, result, _ = run_tilvaro(ws, args.timeout)
    check_result(ws.inputs, result)
    checked = "result checked"
    if with_stdio:
        _, stdio_out = run_stdio(ws, args.timeout)
        diff = compare(result, stdio_out)
        if diff:
            raise BenchError(f"{label}: tilvaro's result differs from the stdio reference: {diff}")
        checked += ", identical to stdio"
    print(f"  tilvaro peak RSS on {label}: {peak / 1024:.1f} MiB ({peak} KiB); {checked}")
    ws.remove()
    return peak


def main():
    args = parse_args()
    build = os.path.abspath(args.build)
    for exe in ("tilvaro", "bench/gen_points", "bench/stdio_merge", "bench/peak_rss"):
        if not os.access(os.path.join(build, exe), os.X_OK):
            print(f"merge_bench: {os.path.join(build, exe)} is missing: build it first (bench/run does)",
                  file=sys.stderr)
            return 2
    ws = Workspace(os.path.join(build, "bench-work"), build)
    started = time.perf_counter()
    try:
        results = []
        for form in args.form:
            results.append(measure_speed(args, ws, form))
            ws.remove()
        print_summary(results)
        os.makedirs(ws.root, exist_ok=True)
        _, floor_rss, _, _ = run_child(build, ["true"], ws.root, b"", os.path.join(ws.root, "true.log"), 60)
        print(f"\npeak RSS measured with bench/peak_rss (its floor, running 'true': {floor_rss / 1024:.1f} MiB), "
              "canonical form")
        measure_memory(args, ws, 1000000, "1 MB", True)
        if not args.no_gb:
            measure_memory(args, ws, 1000000000, "1 GB", False)
    except (BenchError, subprocess.CalledProcessError, subprocess.TimeoutExpired) as e:
        print(f"\nBENCHMARK FAILED: {e}", file=sys.stderr)
        ws.remove_data()
        print(f"(point files removed; the logs of the last runs are in {ws.root})", file=sys.stderr)
        return 1
    except BaseException:
        ws.remove()
        raise
    ws.remove()
    print(f"\ndone in {time.perf_counter() - started:.0f} s")
    return 0


if __name__ == "__main__":
    sys.exit(main())
