#!/usr/bin/env python3
"""Times orvex on a large event file and images against what the work costs.

Run by `make bench` (never by `make test`). Builds a Release tree with the
benchmark programs, writes the input files once (kept in the build tree),
runs every command a few times after a warm-up and prints one table of
median wall times, ratios to references measured in the same run, and the
peak resident memory of each command (read by GNU time in its first,
untimed run); then the "%.16g" formatter against to_chars per value, and a
row-scaling table. See bench/README.md for what each
row means.

Settings, all optional, from the environment:
  ORVEX_BENCH_ROWS        rows of the main event file              (1000000)
  ORVEX_BENCH_REPS        timed runs per command, after warm-up     (5)
  ORVEX_BENCH_WARMUP      untimed runs before them, at least 1      (1)
  ORVEX_BENCH_SCALE_ROWS  row counts timed per row                  ("100000 3000000")
  ORVEX_BENCH_RSS_ROWS    row counts whose peak memory is shown     ("10000 3000000")
  ORVEX_BENCH_IMAGE       0 leaves out the 4096 x 4096 images       (1)
  ORVEX_BENCH_RESPONSE_MB heap of the response matrix in MB, 0: none (100)
  ORVEX_BENCH_VERIFY      0 leaves out the floor's printf self-check (1)
  ORVEX_BENCH_TIMEOUT     seconds after which one run is stopped    (900)
  ORVEX_BENCH_BUILD       build tree, relative to the repository    (build-bench)
ORVEX_BENCH_SCALE_ROWS and ORVEX_BENCH_RSS_ROWS may be empty to skip the
scaling runs.

A run of orvex that fails, is missing, or writes rows other than the floor's
is reported as such in the tables; the script itself fails only when it
cannot build or run the generator and the floor.
"""

import datetime
import os
import shutil
import statistics
import subprocess
import sys
import threading
import time
from dataclasses import dataclass, field
from pathlib import Path
from typing import List, Optional, Sequence, Tuple

ROOT = Path(__file__).resolve().parent.parent


def env_int(name: str, default: int, minimum: int = 0) -> int:
    text = os.environ.get(name, "").strip()
    if not text:
        return default
    try:
        value = int(text.replace("_", "").replace(",", ""))
    except ValueError:
        sys.exit(f"run_bench: {name}={text!r} is not a whole number")
    if value < minimum:
        sys.exit(f"run_bench: {name} must be at least {minimum}")
    return value


def env_rows(name: str, default: str) -> List[int]:
    text = os.environ.get(name, default)
    rows = []
    for word in text.replace(",", " ").split():
        try:
            rows.append(int(word.replace("_", "")))
        except ValueError:
            sys.exit(f"run_bench: {name} holds {word!r}, not a row count")
        if rows[-1] < 1:
            sys.exit(f"run_bench: {name}: row counts must be at least 1")
    return rows


ROWS = env_int("ORVEX_BENCH_ROWS", 1_000_000, 1)
REPS = env_int("ORVEX_BENCH_REPS", 5, 1)
WARMUP = env_int("ORVEX_BENCH_WARMUP", 1, 1)
SCALE_ROWS = env_rows("ORVEX_BENCH_SCALE_ROWS", "100000 3000000")
RSS_ROWS = env_rows("ORVEX_BENCH_RSS_ROWS", "10000 3000000")
WITH_IMAGE = env_int("ORVEX_BENCH_IMAGE", 1) != 0
RESPONSE_MB = env_int("ORVEX_BENCH_RESPONSE_MB", 100)
VERIFY = env_int("ORVEX_BENCH_VERIFY", 1) != 0
TIMEOUT = env_int("ORVEX_BENCH_TIMEOUT", 900, 1)
BUILD = ROOT / os.environ.get("ORVEX_BENCH_BUILD", "build-bench")
JOBS = str(min(2, len(os.sched_getaffinity(0))))


def note(text: str) -> None:
    print(f"run_bench: {text}", file=sys.stderr, flush=True)


# ---------------------------------------------------------------- building


@dataclass
class Programs:
    make_events: Path
    floor: Path
    orvex: Optional[Path]
    orvex_note: str = ""
    format_bench: Optional[Path] = None


def run_logged(argv: List[str], log: Path) -> bool:
    with open(log, "ab") as out:
        out.write(("$ " + " ".join(argv) + "\n").encode())
        out.flush()
        return subprocess.run(argv, stdout=out, stderr=subprocess.STDOUT).returncode == 0


def log_tail(log: Path, lines: int = 15) -> str:
    try:
        text = log.read_text(errors="replace").splitlines()
    except OSError:
        return ""
    return "\n".join("    " + line for line in text[-lines:])


def build() -> Programs:
    BUILD.mkdir(parents=True, exist_ok=True)
    log = BUILD / "bench-build.log"
    log.write_text("")
    base = ["-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release"]
    note(f"building in {BUILD} (log: {log})")
    whole = run_logged(
        ["cmake", "-S", str(ROOT), "-B", str(BUILD), *base, "-DORVEX_BENCH=ON", "-DORVEX_TESTS=OFF"], log)
    if whole and run_logged(["cmake", "--build", str(BUILD), "-j", JOBS, "--target", "make_events", "floor"], log):
        bench_dir = BUILD / "bench"
        why = ""
    else:
        # The rest of the tree may be half-written: the bench programs build
        # on their own, and orvex is then reported as missing.
        why = "not built: the project does not configure or build"
        note(f"{why} (see {log}); building the bench programs on their own")
        bench_dir = BUILD / "bench-only"
        if not (run_logged(["cmake", "-S", str(ROOT / "bench"), "-B", str(bench_dir), *base], log)
                and run_logged(["cmake", "--build", str(bench_dir), "-j", JOBS], log)):
            sys.exit("run_bench: cannot build make_events and floor:\n" + log_tail(log))
        whole = False
    programs = Programs(bench_dir / "make_events", bench_dir / "floor", None, why)
    if whole:
        if run_logged(["cmake", "--build", str(BUILD), "-j", JOBS, "--target", "orvex"], log):
            programs.orvex = BUILD / "orvex"
        else:
            programs.orvex_note = "not built: orvex does not build"
            note(f"{programs.orvex_note} (see {log})")
    tree = BUILD if whole else bench_dir
    if run_logged(["cmake", "--build", str(tree), "-j", JOBS, "--target", "format_bench"], log):
        programs.format_bench = bench_dir / "format_bench"
    else:
        note(f"format_bench does not build (see {log})")
    return programs


# ------------------------------------------------------------------ inputs


def cached(path: Path, generator: Path) -> bool:
    """A data file is reused while it is newer than the generator."""
    return path.exists() and path.stat().st_mtime >= generator.stat().st_mtime


def event_file(programs: Programs, rows: int, with_gzip: bool) -> Path:
    data = BUILD / "data"
    data.mkdir(exist_ok=True)
    path = data / f"events_{rows}.fits"
    gz = Path(str(path) + ".gz")
    if cached(path, programs.make_events) and (not with_gzip or cached(gz, programs.make_events)):
        return path
    note(f"writing {path.name}{' and its gzip twin' if with_gzip else ''}")
    partial = data / ("partial-" + path.name)
    argv = [str(programs.make_events)] + ([] if with_gzip else ["--no-gzip"]) + [str(partial), str(rows)]
    if subprocess.run(argv).returncode != 0:
        sys.exit(f"run_bench: make_events failed for {rows} rows")
    if with_gzip:
        os.replace(str(partial) + ".gz", gz)
    os.replace(partial, path)
    return path


# The event file's other compressed forms, each made by its own program and
# read back, in the timing, by that program's decompressor (gzip -dc reads
# .Z). A form whose program is not installed is left out.
PACKINGS = [
    ("bz2", ["bzip2", "-c"], ["bzip2", "-dc"]),
    ("xz", ["xz", "-c", "-T1"], ["xz", "-dc", "-T1"]),
    ("Z", ["compress", "-c"], ["gzip", "-dc"]),
]


def packed_twin(plain: Path, suffix: str, pack: List[str]) -> Optional[Path]:
    path = Path(f"{plain}.{suffix}")
    if path.exists() and path.stat().st_mtime >= plain.stat().st_mtime:
        return path
    if shutil.which(pack[0]) is None:
        note(f"{pack[0]} is not installed: no {path.name}")
        return None
    note(f"writing {path.name}")
    partial = path.parent / ("partial-" + path.name)
    with open(plain, "rb") as src, open(partial, "wb") as out:
        # compress says 2 when the output is no smaller; it is written all the same.
        if subprocess.run(pack, stdin=src, stdout=out).returncode not in (0, 2):
            sys.exit(f"run_bench: {' '.join(pack)} failed")
    os.replace(partial, path)
    return path


def response_file(programs: Programs, megabytes: int) -> Path:
    path = BUILD / "data" / f"response_{megabytes}.fits"
    path.parent.mkdir(exist_ok=True)
    if cached(path, programs.make_events):
        return path
    note(f"writing {path.name}")
    partial = path.parent / ("partial-" + path.name)
    if subprocess.run([str(programs.make_events), "--response", str(partial), str(megabytes)]).returncode != 0:
        sys.exit("run_bench: make_events --response failed")
    os.replace(partial, path)
    return path


# The images: BITPIX, file name, and the options orvex writes them with (the
# 16-bit one is today's default dump; the others need --full).
# Keeps about 1 % of the rows of make_events' file (10,046 of 1,000,000).
WHERE_1PCT = "--where=energy = 500:700 && ccd_id == 7"

IMAGES = [(16, "image.fits", []), (-32, "image_f32.fits", ["--full"]), (64, "image_i64.fits", ["--full"])]


def image_file(programs: Programs, bitpix: int, name: str) -> Path:
    path = BUILD / "data" / name
    path.parent.mkdir(exist_ok=True)
    if not cached(path, programs.make_events):
        note(f"writing {path.name}")
        partial = path.with_name("partial-" + path.name)
        argv = [str(programs.make_events), "--image", str(partial), str(bitpix)]
        if subprocess.run(argv).returncode != 0:
            sys.exit(f"run_bench: make_events --image {bitpix} failed")
        os.replace(partial, path)
    return path


# Tile-compressed forms of two of the images, by fpack's Rice coding (the
# float one quantized, as fpack does by default), and the images funpack
# restores from them: orvex --full on the compressed file is timed against
# orvex --full on the same image stored uncompressed.
COMPRESSED = [("image_f32.fits", "rice_f32"), ("image.fits", "rice_i16")]


def compressed_pair(source: Path, stem: str) -> Optional[Tuple[Path, Path]]:
    fpack, funpack = shutil.which("fpack"), shutil.which("funpack")
    if not fpack or not funpack:
        return None
    packed = source.with_name(stem + ".fz")
    plain = source.with_name(stem + ".fits")
    if not (packed.exists() and plain.exists() and packed.stat().st_mtime >= source.stat().st_mtime):
        note(f"writing {packed.name} with fpack -r")
        remove(packed, plain)
        if subprocess.run([fpack, "-r", "-O", str(packed), str(source)]).returncode != 0 or \
                subprocess.run([funpack, "-O", str(plain), str(packed)]).returncode != 0:
            return None
    return packed, plain


def same_image_lines(a: Path, b: Path) -> str:
    """Whether two outputs hold the same lines apart from their "!" lines."""
    if not a.exists() or not b.exists():
        return f"missing output: {a.name if not a.exists() else b.name}"
    with open(a, "rb") as fa, open(b, "rb") as fb:
        la = (line for line in fa if not line.startswith(b"!"))
        lb = (line for line in fb if not line.startswith(b"!"))
        for n, (x, y) in enumerate(zip(la, lb), 1):
            if x != y:
                return f"line {n} differs: {short(x)} / {short(y)}"
        if next(la, None) is not None or next(lb, None) is not None:
            return "different line counts"
    return "identical"


# --------------------------------------------------------------- measuring


@dataclass
class Measure:
    label: str
    times: List[float] = field(default_factory=list)
    peak_kib: int = 0
    problem: str = ""  # why the command is missing or did not run cleanly

    @property
    def median(self) -> Optional[float]:
        return statistics.median(self.times) if self.times else None


def gnu_time() -> Optional[str]:
    """GNU time, which reads the peak RSS of exactly the command it runs."""
    path = shutil.which("time", path="/usr/bin:/bin") or shutil.which("gtime")
    if not path:
        return None
    probe = subprocess.run([path, "--version"], capture_output=True, text=True)
    return path if "GNU" in probe.stdout + probe.stderr else None


# A child of this script starts as a copy of it and keeps the script's peak
# RSS through exec, so the peak of a plain run is at least that of the
# Python interpreter. GNU time forks from its own small image instead.
TIME = gnu_time()


def run_once(argv: List[str], cwd: Path, read_rss: bool):
    """One run: wall seconds, peak RSS in KiB (0 when not read) and the
    outcome in words (empty when it exited with status 0)."""
    rss_file = cwd / ".peak-rss"
    if read_rss and TIME:
        argv = [TIME, "-f", "%M", "-o", str(rss_file), "--"] + argv
    start = time.perf_counter()
    proc = subprocess.Popen(argv, cwd=cwd, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL, start_new_session=True)
    timed_out = threading.Event()

    def stop():
        timed_out.set()
        try:
            os.killpg(proc.pid, 9)
        except ProcessLookupError:
            pass

    timer = threading.Timer(TIMEOUT, stop)
    timer.start()
    try:
        proc.wait()
    finally:
        timer.cancel()
    wall = time.perf_counter() - start
    kib = 0
    if read_rss and TIME:
        try:
            # The last line is the figure; a line about a failing status may
            # stand before it.
            kib = int(rss_file.read_text().split()[-1])
        except (OSError, ValueError, IndexError):
            kib = 0
        remove(rss_file)
    if timed_out.is_set():
        outcome = f"stopped after {TIMEOUT} s"
    elif proc.returncode < 0:
        outcome = f"killed by signal {-proc.returncode}"
    elif proc.returncode > 0:
        outcome = f"exit status {proc.returncode}"
    else:
        outcome = ""
    return wall, kib, outcome


def measure(label: str, argv: List[str], cwd: Path, missing: str = "", outputs: Sequence[Path] = ()) -> Measure:
    """WARMUP untimed runs, the first of which reads the peak RSS, then REPS
    timed runs. A failing run ends the measure: its time is the figure.
    The files `outputs` are removed before every run, so that each run
    writes new files, as a first decoding does, rather than overwriting the
    last run's (the filesystem then frees the old pages first: about 0.1 s
    for 170 MB here, whoever writes)."""
    m = Measure(label)
    if missing:
        m.problem = missing
        return m
    note(f"timing {label}: {WARMUP} warm-up + {REPS} runs")
    for i in range(WARMUP + REPS):
        remove(*outputs)
        wall, kib, outcome = run_once(argv, cwd, read_rss=(i == 0))
        m.peak_kib = max(m.peak_kib, kib)
        if i >= WARMUP or outcome:
            m.times.append(wall)
        if outcome:
            m.problem = outcome
            break
    return m


def sum_measure(label: str, parts: List[Measure]) -> Measure:
    m = Measure(label)
    bad = [p for p in parts if p.median is None or p.problem]
    if bad:
        m.problem = "; ".join(f"{p.label}: {p.problem or 'no figure'}" for p in bad)
    else:
        m.times = [sum(p.median for p in parts)]
    return m


# --------------------------------------------------------------- comparing


def short(line: bytes, limit: int = 160) -> str:
    text = line.rstrip(b"\n").decode("latin-1")
    return repr(text if len(text) <= limit else text[:limit] + "...")


def compare_rows(orvex_out: Path, floor_out: Path) -> str:
    """orvex's lines without its "!" comment lines against the floor's."""
    if not floor_out.exists():
        return "no floor output to compare with"
    if not orvex_out.exists():
        return f"missing output: orvex wrote no {orvex_out.name}"
    rows = 0
    with open(orvex_out, "rb") as mine, open(floor_out, "rb") as ref:
        for line in mine:
            if line.startswith(b"!"):
                continue
            expected = ref.readline()
            rows += 1
            if not expected:
                return f"mismatch: orvex wrote more data lines than the floor's {rows - 1}"
            if line != expected:
                return (f"mismatch at data line {rows}:\n      orvex: {short(line)}\n"
                        f"      floor: {short(expected)}")
        rest = sum(1 for _ in ref)
    if rest:
        return f"mismatch: orvex wrote {rows} data lines, the floor {rows + rest}"
    return f"match ({rows} lines)"


def remove(*paths: Path) -> None:
    for p in paths:
        try:
            p.unlink()
        except FileNotFoundError:
            pass


# ---------------------------------------------------------------- printing


def seconds(m: Measure) -> str:
    return "-" if m.median is None else f"{m.median:.3f} s"


def mib(m: Measure) -> str:
    return f"{m.peak_kib / 1024:.1f} MiB" if m.peak_kib else "-"


def ratio(m: Measure, ref: Optional[Measure]) -> str:
    if ref is None or m.median is None or ref.median is None or ref.median <= 0 or ref.problem or m.problem:
        return "-"
    return f"{m.median / ref.median:.2f}"


def machine_line() -> str:
    cpu = "unknown CPU"
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                cpu = line.split(":", 1)[1].strip()
                break
    except OSError:
        pass
    commit = subprocess.run(["git", "-C", str(ROOT), "rev-parse", "--short", "HEAD"],
                            capture_output=True, text=True).stdout.strip() or "no commit"
    dirty = subprocess.run(["git", "-C", str(ROOT), "status", "--porcelain", "--untracked-files=no"],
                           capture_output=True, text=True).stdout.strip()
    when = datetime.datetime.now().astimezone().strftime("%Y-%m-%d %H:%M %Z")
    return (f"{when}, nproc {len(os.sched_getaffinity(0))}, {cpu}, "
            f"commit {commit}{' (with local changes)' if dirty else ''}")


def print_table(title: str, heads: List[str], rows: List[List[str]]) -> None:
    widths = [max(len(r[i]) for r in [heads] + rows) for i in range(len(heads))]
    print(title)
    for r in [heads] + rows:
        print("  " + "  ".join(cell.ljust(widths[i]) for i, cell in enumerate(r)).rstrip())


def main() -> int:
    programs = build()
    missing_orvex = "" if programs.orvex else (programs.orvex_note or "orvex was not built")

    plain = event_file(programs, ROWS, with_gzip=True)
    gz = Path(str(plain) + ".gz")
    images = [(image_file(programs, bitpix, name), options) for bitpix, name, options in IMAGES] if WITH_IMAGE else []
    scaling = sorted(set(SCALE_ROWS) | set(RSS_ROWS))
    scaling_files = {n: plain if n == ROWS else event_file(programs, n, with_gzip=False)
                     for n in (scaling if not missing_orvex else [])}

    scratch = BUILD / "scratch"
    shutil.rmtree(scratch, ignore_errors=True)
    scratch.mkdir()
    floor_rows = scratch / "events.floor"
    floor_image = scratch / "image.floor"  # one image's lines at a time
    orvex = str(programs.orvex) if programs.orvex else ""

    checks = [] if not missing_orvex else [("orvex's lines", "not compared: " + missing_orvex)]
    if VERIFY:
        note("checking the floor's to_chars texts against printf")
        ok = subprocess.run([str(programs.floor), "--verify", str(plain), str(floor_rows)]).returncode == 0
        for image, _ in images:
            ok = ok and subprocess.run([str(programs.floor), "--image", "--verify", str(image),
                                        str(floor_image)]).returncode == 0
        checks.append(("floor texts against printf", "same" if ok else "DIFFERENT (see above)"))

    # The references first, so that orvex's ratios use figures of this run.
    floor_t = measure(f"floor {plain.name}", [str(programs.floor), str(plain), str(floor_rows)], scratch,
                    outputs=[floor_rows])
    gunzip = measure(f"gzip -dc {gz.name} > /dev/null", ["gzip", "-dc", str(gz)], scratch)
    floor_gz = sum_measure("floor + gzip -dc", [floor_t, gunzip])

    stem = plain.name[: -len(".fits")]
    o_plain = measure(f"orvex {plain.name}", [orvex, str(plain)], scratch, missing_orvex,
                      outputs=[scratch / f"{stem}.000", scratch / f"{stem}.001"])
    if not missing_orvex:
        checks.append((f"{plain.name} rows", compare_rows(scratch / f"{stem}.001", floor_rows)))
    remove(scratch / f"{stem}.000", scratch / f"{stem}.001")

    o_plain1 = measure(f"orvex --threads=1 {plain.name}", [orvex, "--threads=1", str(plain)], scratch,
                       missing_orvex, outputs=[scratch / f"{stem}.000", scratch / f"{stem}.001"])
    if not missing_orvex:
        checks.append((f"--threads=1 {plain.name} rows", compare_rows(scratch / f"{stem}.001", floor_rows)))
    remove(scratch / f"{stem}.000", scratch / f"{stem}.001")

    o_gz = measure(f"orvex {gz.name}", [orvex, str(gz)], scratch, missing_orvex,
                   outputs=[scratch / f"{plain.name}.000", scratch / f"{plain.name}.001"])
    if not missing_orvex:
        checks.append((f"{gz.name} rows", compare_rows(scratch / f"{plain.name}.001", floor_rows)))
    remove(scratch / f"{plain.name}.001")

    o_gz1 = measure(f"orvex --threads=1 {gz.name}", [orvex, "--threads=1", str(gz)], scratch, missing_orvex,
                    outputs=[scratch / f"{plain.name}.000", scratch / f"{plain.name}.001"])
    remove(scratch / f"{plain.name}.000", scratch / f"{plain.name}.001")

    o_part = measure(f"orvex -p 0 {gz.name}", [orvex, "-p", "0", str(gz)], scratch, missing_orvex,
                     outputs=[scratch / f"{plain.name}.000", scratch / f"{plain.name}.001"])
    if not missing_orvex and (scratch / f"{plain.name}.001").exists():
        checks.append((f"-p 0 {gz.name}", "wrong: the table was written"))
    remove(scratch / f"{plain.name}.000", scratch / f"{plain.name}.001")

    # Asking for less: a filter that keeps about 1 % of the events, and the
    # first thousand rows, each against the whole decode on the same
    # thread count.
    chosen = []
    for words in [[WHERE_1PCT], ["--rows=1-1000"]]:
        for threads in [[], ["--threads=1"]]:
            label = " ".join(["orvex"] + threads + [w if " " not in w else repr(w) for w in words] + [plain.name])
            m = measure(label, [orvex] + threads + words + [str(plain)], scratch, missing_orvex,
                        outputs=[scratch / f"{stem}.000", scratch / f"{stem}.001"])
            remove(scratch / f"{stem}.000", scratch / f"{stem}.001")
            chosen.append((m, o_plain1 if threads else o_plain, "orvex, every row" + (" (1 thread)" if threads else "")))
    # The text forms for Python: ECSV against the exact numbers it writes,
    # on every core.
    o_exact = measure(f"orvex --exact {plain.name}", [orvex, "--exact", str(plain)], scratch, missing_orvex,
                      outputs=[scratch / f"{stem}.000", scratch / f"{stem}.001"])
    remove(scratch / f"{stem}.000", scratch / f"{stem}.001")
    o_ecsv = measure(f"orvex --ecsv {plain.name}", [orvex, "--ecsv", str(plain)], scratch, missing_orvex,
                     outputs=[scratch / f"{stem}.001.ecsv"])
    remove(scratch / f"{stem}.001.ecsv")
    forms = [(o_exact, o_plain, "orvex, default text"), (o_ecsv, o_exact, "orvex --exact")]
    # The other compressed forms: each against its own decompressor alone.
    packed_rows = []
    for suffix, pack, unpack in PACKINGS:
        twin = packed_twin(plain, suffix, pack)
        if twin is None:
            continue
        unpacked = measure(f"{' '.join(unpack)} {twin.name} > /dev/null", unpack + [str(twin)], scratch)
        o_twin = measure(f"orvex {twin.name}", [orvex, str(twin)], scratch, missing_orvex,
                         outputs=[scratch / f"{plain.name}.000", scratch / f"{plain.name}.001"])
        if not missing_orvex:
            checks.append((f"{twin.name} rows", compare_rows(scratch / f"{plain.name}.001", floor_rows)))
        remove(scratch / f"{plain.name}.000", scratch / f"{plain.name}.001")
        packed_rows += [(o_twin, unpacked, " ".join(unpack)), (unpacked, None, "")]

    # Each image: its floor, then orvex, whose lines are held to the floor's.
    image_rows = []
    for image, options in images:
        floor_i = measure(f"floor --image {image.name}", [str(programs.floor), "--image", str(image),
                                                          str(floor_image)], scratch,
                          outputs=[floor_image])
        words = " ".join(options + [image.name])
        o_image = measure(f"orvex {words}", [orvex] + options + [str(image)], scratch, missing_orvex,
                          outputs=[scratch / f"{image.stem}.000"])
        if not missing_orvex:
            checks.append((f"{words} lines", compare_rows(scratch / f"{image.stem}.000", floor_image)))
        remove(scratch / f"{image.stem}.000")
        image_rows.append((o_image, floor_i, "image floor"))

    # Each compressed image against the same image stored uncompressed.
    for name, stem in COMPRESSED if WITH_IMAGE and not missing_orvex else []:
        pair = compressed_pair(BUILD / "data" / name, stem)
        if pair is None:
            checks.append((f"{stem}.fz", "not measured: fpack or funpack is missing"))
            continue
        packed, unpacked = pair
        o_plain_image = measure(f"orvex --full {unpacked.name}", [orvex, "--full", str(unpacked)], scratch,
                                outputs=[scratch / f"{stem}.000"])
        os.replace(scratch / f"{stem}.000", scratch / f"{stem}.plain")
        o_packed = measure(f"orvex --full {packed.name}", [orvex, "--full", str(packed)], scratch,
                           outputs=[scratch / f"{stem}.000", scratch / f"{stem}.001"])
        checks.append((f"--full {packed.name} lines", same_image_lines(scratch / f"{stem}.001", scratch / f"{stem}.plain")))
        remove(scratch / f"{stem}.000", scratch / f"{stem}.001", scratch / f"{stem}.plain")
        image_rows.append((o_packed, o_plain_image, "uncompressed"))

    o_response = None
    if RESPONSE_MB > 0 and not missing_orvex:
        response = response_file(programs, RESPONSE_MB)
        o_response = measure(f"orvex {response.name} ({RESPONSE_MB} MB heap)", [orvex, str(response)], scratch,
                             outputs=[scratch / f"{response.stem}.000", scratch / f"{response.stem}.001"])
        remove(scratch / f"{response.stem}.000", scratch / f"{response.stem}.001")

    rows = []
    for m, ref, ref_name in [
        (o_plain, floor_t, "floor"),
        (o_plain1, floor_t, "floor"),
        (o_gz, gunzip, "gzip -dc"),
        (o_gz, floor_gz, "floor + gzip -dc"),
        (o_gz1, gunzip, "gzip -dc"),
        (o_part, gunzip, "gzip -dc"),
    ] + chosen + forms + packed_rows + image_rows + [
        (o_response, None, ""),
        (floor_t, None, ""),
    ] + [(floor_i, None, "") for _, floor_i, _ in image_rows] + [
        (gunzip, None, ""),
    ]:
        if m is None:
            continue
        rows.append([m.label, seconds(m), ref_name or "-", ratio(m, ref) if ref else "-", mib(m), m.problem])

    print()
    print(f"orvex benchmark: {ROWS} event rows of 60 bytes, median of {REPS} run(s) after {WARMUP} warm-up")
    print(f"  {machine_line()}")
    print()
    print_table("Times (ratio = median / median of the reference, both measured in this run)",
                ["command", "median", "reference", "ratio", "peak RSS", "note"], rows)
    print()
    print_table("Output check (orvex's lines without \"!\" lines against the floor's)",
                ["what", "result"], [[a, b] for a, b in checks])

    if not TIME:
        print("  peak RSS: not read, GNU time (/usr/bin/time, Debian package time) is missing")

    print()
    print(f"Formatter (\"%.16g\" of the D and E values of {plain.name}, median of {REPS} pass(es))")
    if programs.format_bench:
        note("timing write_g16 against to_chars")
        run = subprocess.run([str(programs.format_bench), str(plain), str(REPS)], capture_output=True, text=True)
        print("  " + (run.stdout.strip() or f"format_bench failed: {run.stderr.strip()}"))
    else:
        print("  format_bench was not built")

    if scaling:
        table = []
        for n in scaling:
            path = scaling_files.get(n, Path(f"events_{n}.fits"))
            for threads in ["", "--threads=1"]:
                if n == ROWS:
                    m = o_plain if not threads else o_plain1
                else:
                    argv = [orvex] + ([threads] if threads else []) + [str(path)]
                    m = measure(f"orvex {threads} {path.name}", argv, scratch, missing_orvex,
                                outputs=[scratch / f"{path.stem}.000", scratch / f"{path.stem}.001"])
                    remove(scratch / f"{path.stem}.000", scratch / f"{path.stem}.001")
                per_row = "-" if m.median is None else f"{m.median / n * 1e9:.0f} ns"
                table.append([str(n), threads or "every core", seconds(m), per_row, mib(m), m.problem])
        print()
        print_table("Row scaling (orvex on the plain file)",
                    ["rows", "threads", "median", "per row", "peak RSS", "note"], table)

    remove(floor_rows, floor_image)
    return 0


if __name__ == "__main__":
    sys.exit(main())
