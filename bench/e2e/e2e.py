#!/usr/bin/env python3
"""End-to-end benchmark of quorvale, measured side by side with its peers.

Four comparisons, each repeated and reported as medians and ratios:

  1. batch      quorvale on a batch of X-files (>= 1 GB of Y files), from and
                to the page cache, against dd bs=1M writing as many bytes to
                the same file system (goal: at most 1.3 times dd);
  2. peer       the same batch against mseed2sac converting the same records
                to binary SAC (goal: at most 1/8 of mseed2sac's time);
  3. memory     quorvale's peak resident memory on 1 MB of input, on 1 GB of
                input and on 10,000 files (goal: under 8 MB, not growing);
  4. small      10,000 one-block X-files against cp copying the same files
                (goal: at most 2 times cp).

The batch holds records made by the project's encoder (xgen) and, where
libmseed 2 is installed, records packed by libmseed (mseed_pack.c, built
here). libmseed and mseed2sac are looked up at run time; a comparison that
needs a missing one is skipped with a note. Data goes under the scratch
directory (default /tmp/quorvale-bench) and is kept for later runs.

Every timed run starts from an empty output directory (earlier output is
deleted before it is written back, so no disk I/O happens at all: inputs and
outputs stay in the page cache; --sync writes everything back before each
run instead). The programs take turns within each repetition, and the
medians are compared. Times are wall-clock times of the whole process.
Peak resident memory is taken with /usr/bin/time -f %M.
"""

import argparse
import os
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parent.parent

SMALL_FILES = 10000
BATCH_FILES = 8
BATCH_SAMPLES = 1 << 25  # per file: 8 files give 1.07 GB of Y files
MEMORY_BIG_FILES = 4     # 1 GB of full-range input, in files of 256 MB


def log(text):
    print(text, flush=True)


class Timing:
    """Wall-clock and processor seconds (user + system) of one run."""

    def __init__(self, wall, cpu):
        self.wall = wall
        self.cpu = cpu


def run(args, cwd=None):
    """Runs a command with its output discarded and returns its Timing.
    Fails loudly."""
    args = [str(a) for a in args]
    start = time.perf_counter()
    proc = subprocess.Popen(args, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
    err = proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    proc.stderr.close()
    proc.returncode = os.waitstatus_to_exitcode(status)
    if proc.returncode != 0:
        sys.exit(f"failed ({proc.returncode}): {' '.join(args)}\n{err.decode(errors='replace')}")
    return Timing(wall, usage.ru_utime + usage.ru_stime)


def peak_rss(args):
    """Peak resident memory of a command in KiB, as /usr/bin/time sees it."""
    with open(os.devnull, "wb") as null:
        proc = subprocess.run(["/usr/bin/time", "-f", "%M", *map(str, args)], stdout=null,
                              stderr=subprocess.PIPE, check=True)
    return int(proc.stderr.decode().strip().splitlines()[-1])


def empty_dir(path):
    if path.exists():
        shutil.rmtree(path)
    path.mkdir(parents=True)


SYNC = False


def fresh(path):
    """An empty output directory (and everything written back with --sync)."""
    empty_dir(path)
    if SYNC:
        os.sync()
    return path


def cpu_model():
    try:
        for line in Path("/proc/cpuinfo").read_text().splitlines():
            if line.startswith("model name"):
                return line.split(":", 1)[1].strip()
    except OSError:
        pass
    return "unknown"


def build_packer(scratch):
    """Builds mseed_pack against libmseed 2; None when it is not installed."""
    if shutil.which("pkg-config") is None or shutil.which("cc") is None:
        return None
    probe = subprocess.run(["pkg-config", "--exists", "mseed < 3"])
    if probe.returncode != 0:
        return None
    flags = subprocess.run(["pkg-config", "--cflags", "--libs", "mseed"], capture_output=True,
                           text=True, check=True).stdout.split()
    binary = scratch / "bin/mseed_pack"
    binary.parent.mkdir(parents=True, exist_ok=True)
    source = HERE / "mseed_pack.c"
    if not binary.exists() or binary.stat().st_mtime < source.stat().st_mtime:
        subprocess.run(["cc", "-O2", "-o", str(binary), str(source), *flags, "-lm"], check=True)
    return binary


def make_batch(tools, scratch, packer):
    """The batch of X-files and, for mseed2sac, their records as miniSEED."""
    xdir = scratch / "batch/x"
    mdir = scratch / "batch/mseed"
    stamp = scratch / "batch/.made"
    want = f"{BATCH_FILES} {BATCH_SAMPLES} {'libmseed' if packer else 'xgen'}\n"
    if stamp.exists() and stamp.read_text() == want:
        return xdir, mdir
    log(f"making the batch in {xdir} ...")
    empty_dir(xdir)
    empty_dir(mdir)
    for i in range(BATCH_FILES):
        name = f"X{i + 1:02d}"
        station = f"B{i + 1:02d}"
        order = "IM"[i % 2]
        if packer is not None and i >= BATCH_FILES // 2:
            records = mdir / f"{name}.mseed"
            run([packer, records, BATCH_SAMPLES, i + 1, station, order])
            run([tools["xgen"], "--from-records", records, xdir / name])
        else:
            run([tools["xgen"], "--signal", "events", "--samples", BATCH_SAMPLES, "--seed", i + 1,
                 "--order", order, "--station", station, xdir / name])
            data = (xdir / name).read_bytes()[160:]  # the XBlocks are miniSEED records
            (mdir / f"{name}.mseed").write_bytes(data)
    stamp.write_text(want)
    return xdir, mdir


def make_small(tools, scratch):
    """10,000 one-block X-files: 16 different ones, each repeated."""
    xdir = scratch / "small/x"
    stamp = scratch / "small/.made"
    if stamp.exists() and stamp.read_text() == f"{SMALL_FILES} one-block\n":
        return xdir
    log(f"making {SMALL_FILES} one-block X-files in {xdir} ...")
    empty_dir(xdir)
    kinds = []
    for seed in range(16):
        path = scratch / f"small/one{seed}"
        run([tools["xgen"], "--signal", "events", "--samples", "1500", "--seed", seed + 1,
             "--order", "IM"[seed % 2], path])
        kinds.append(path.read_bytes())
        if len(kinds[-1]) != 160 + 4096:
            sys.exit(f"{path} is not a one-block X-file")
        path.unlink()
    for i in range(SMALL_FILES):
        (xdir / f"X{i:05d}").write_bytes(kinds[i % len(kinds)])
    stamp.write_text(f"{SMALL_FILES} one-block\n")
    return xdir


def make_memory_sets(tools, scratch):
    """1 MB and 1 GB of input X-files (full-range samples, 4 bytes each)."""
    sets = {}
    for label, files, samples in (("1 MB input", 1, 1 << 18),
                                  ("1 GB input", MEMORY_BIG_FILES, 1 << 26)):
        xdir = scratch / f"memory/{label.split()[0]}{label.split()[1]}/x"
        stamp = xdir.parent / ".made"
        if not (stamp.exists() and stamp.read_text() == f"{files} {samples}\n"):
            log(f"making {label} in {xdir} ...")
            empty_dir(xdir)
            for i in range(files):
                run([tools["xgen"], "--signal", "fullrange", "--samples", samples, "--seed",
                     i + 1, xdir / f"X{i + 1:02d}"])
            stamp.write_text(f"{files} {samples}\n")
        sets[label] = xdir
    return sets


def tree_bytes(path):
    return sum(p.stat().st_size for p in path.iterdir() if p.is_file())


def warm(path):
    """Reads every file once so that the inputs lie in the page cache."""
    for p in sorted(path.iterdir()):
        with open(p, "rb") as f:
            while f.read(1 << 20):
                pass


def quorvale_args(tools, xdir, ydir):
    return [tools["quorvale"], "-i", f"{xdir}/X*", "-o", ydir]


def quorvale(tools, xdir, ydir):
    return run(quorvale_args(tools, xdir, ydir))


def side_by_side(reps, contenders):
    """Runs each (name, prepare, command) in turn, `reps` times; returns the
    Timings of every run by name. prepare and command are given the
    repetition's number."""
    times = {name: [] for name, _, _ in contenders}
    for rep in range(reps):
        for name, prepare, command in contenders:
            prepare(rep)
            times[name].append(command(rep))
    return times


def report(title, times, mine, peer, goal, relation):
    """Medians of wall-clock time (judged against the goal) and, for
    reading results on a busy machine, of processor time."""
    wall = {name: statistics.median(t.wall for t in runs) for name, runs in times.items()}
    cpu = {name: statistics.median(t.cpu for t in runs) for name, runs in times.items()}
    ratio = wall[mine] / wall[peer]
    ok = ratio <= goal
    log(f"\n{title}")
    for name, runs in times.items():
        listed = " ".join(f"{t.wall:.3f}" for t in runs)
        log(f"  {name:<10} median {wall[name]:8.3f} s (processor {cpu[name]:.3f} s)   "
            f"runs: {listed}")
    log(f"  ratio {mine}/{peer} = {ratio:.3f} (processor time {cpu[mine] / cpu[peer]:.3f})   "
        f"goal <= {goal:g} {relation}   {'PASS' if ok else 'FAIL'}")
    return ok


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", type=Path, default=None,
                        help="build directory holding bin/quorvale and bin/xgen "
                             "(default: build-perf, else build, in the repository)")
    parser.add_argument("--scratch", type=Path,
                        default=Path(os.environ.get("QUORVALE_BENCH_DIR", "/tmp/quorvale-bench")),
                        help="where the data goes (default /tmp/quorvale-bench, "
                             "or $QUORVALE_BENCH_DIR)")
    parser.add_argument("--reps", type=int, default=7, help="repetitions (default 7)")
    parser.add_argument("--peer-reps", type=int, default=3,
                        help="repetitions of the slow mseed2sac comparison (default 3)")
    parser.add_argument("--sync", action="store_true",
                        help="write everything back (sync) before each timed run")
    parser.add_argument("--only", action="append",
                        choices=["batch", "peer", "memory", "small"],
                        help="run only these comparisons (repeatable)")
    args = parser.parse_args()
    global SYNC
    SYNC = args.sync

    build = args.build
    if build is None:
        build = next((REPO / d for d in ("build-perf", "build") if (REPO / d / "bin").is_dir()),
                     REPO / "build")
    tools = {name: build / "bin" / name for name in ("quorvale", "xgen", "ydump")}
    for name, path in tools.items():
        if not path.exists():
            sys.exit(f"{path} is missing: build the project first ({name})")
    only = set(args.only or ["batch", "peer", "memory", "small"])
    scratch = args.scratch.resolve()
    scratch.mkdir(parents=True, exist_ok=True)

    log(f"processor: {cpu_model()}")
    log(f"quorvale:  {tools['quorvale']}")
    log(f"scratch:   {scratch}   repetitions: {args.reps} (mseed2sac {args.peer_reps})"
        f"{'   sync before each run' if SYNC else ''}")

    packer = build_packer(scratch)
    if packer is None:
        log("note: libmseed 2 not found (pkg-config mseed): the batch holds xgen records only")
    mseed2sac = shutil.which("mseed2sac")
    results = []

    if only & {"batch", "peer", "memory"}:
        xdir, mdir = make_batch(tools, scratch, packer)
        ydir = scratch / "batch/y"
        warm(xdir)
        # One untimed run: every Y file must pass ydump's checks.
        quorvale(tools, xdir, fresh(ydir))
        run([tools["ydump"], "--verify", *sorted(ydir.iterdir())])
        out_bytes = tree_bytes(ydir)
        log(f"\nbatch: {BATCH_FILES} X-files, {tree_bytes(xdir) / 1e6:.0f} MB in, "
            f"{out_bytes / 1e6:.0f} MB out ({out_bytes} bytes); every Y file verified")

    if "batch" in only:
        ddir = scratch / "batch/dd"
        times = side_by_side(args.reps, [
            ("quorvale", lambda _: fresh(ydir), lambda _: quorvale(tools, xdir, ydir)),
            ("dd", lambda _: fresh(ddir),
             lambda _: run(["dd", "if=/dev/zero", f"of={ddir}/out", "bs=1M", "iflag=count_bytes",
                          f"count={out_bytes}", "status=none"])),
        ])
        results.append(report(f"1. batch against dd bs=1M writing {out_bytes} bytes",
                              times, "quorvale", "dd", 1.3, ""))

    if "peer" in only:
        if mseed2sac is None:
            log("\n2. mseed2sac not found (apt-get install mseed2sac): comparison skipped")
        else:
            sdir = scratch / "batch/sac"
            records = sorted(str(p) for p in mdir.iterdir())
            warm(mdir)
            times = side_by_side(args.peer_reps, [
                ("quorvale", lambda _: fresh(ydir), lambda _: quorvale(tools, xdir, ydir)),
                ("mseed2sac", lambda _: fresh(sdir),
                 lambda _: run([mseed2sac, "-f", "2", *records], cwd=sdir)),
            ])
            results.append(report("2. batch against mseed2sac -f 2 (binary SAC) on the same "
                                  "records", times, "quorvale", "mseed2sac", 1 / 8,
                                  "(1/8)"))

    small = None
    if only & {"memory", "small"}:
        small = make_small(tools, scratch)
        warm(small)

    if "small" in only:
        # A new, empty directory for every run, all kept until the end: new
        # files next to thousands just deleted make the file system search
        # for inodes it may reuse, which would time the deleting as well.
        ydir_s = scratch / "small/y"
        cdir = scratch / "small/cp"
        empty_dir(ydir_s)
        empty_dir(cdir)
        times = side_by_side(args.reps, [
            ("quorvale", lambda i: fresh(ydir_s / f"{i}"),
             lambda i: quorvale(tools, small, ydir_s / f"{i}")),
            ("cp", lambda i: fresh(cdir / f"{i}"),
             lambda i: run(["cp", "-r", f"{small}/.", cdir / f"{i}"])),
        ])
        results.append(report(f"4. {SMALL_FILES} one-block X-files against cp of the same files",
                              times, "quorvale", "cp", 2.0, ""))

    if "memory" in only and not Path("/usr/bin/time").exists():
        log("\n3. /usr/bin/time not found (apt-get install time): memory comparison skipped")
    elif "memory" in only:
        sets = make_memory_sets(tools, scratch)
        sets["batch, 1.07 GB out"] = xdir
        sets[f"{SMALL_FILES} files"] = small
        log("\n3. peak resident memory of a run (largest of 3 runs each)")
        peaks = {}
        for label, sdir in sets.items():
            warm(sdir)
            peak = 0
            for i in range(3):
                ydir_m = fresh(scratch / f"memory/y/{label.split(',')[0].replace(' ', '')}{i}")
                peak = max(peak, peak_rss(quorvale_args(tools, sdir, ydir_m)))
            peaks[label] = peak
            log(f"  {label:<20} {tree_bytes(sdir) / 1e6:9.1f} MB in   peak {peak} KiB")
        smallest = peaks["1 MB input"]
        by_size = max(peaks["1 GB input"], peaks["batch, 1.07 GB out"])
        largest = max(peaks.values())
        ok = largest < 8 * 1024 and by_size - smallest <= 512
        log(f"  largest {largest} KiB (goal < 8192); 1 GB against 1 MB of input: "
            f"+{by_size - smallest} KiB (goal: no growth beyond noise, <= 512)   "
            f"{'PASS' if ok else 'FAIL'}")
        log(f"  {SMALL_FILES} files against one: +{peaks[f'{SMALL_FILES} files'] - smallest} KiB "
            f"(the file search's snapshot of the matching names)")
        results.append(ok)

    for leftover in ("batch/y", "batch/dd", "batch/sac", "small/y", "small/cp", "memory/y"):
        shutil.rmtree(scratch / leftover, ignore_errors=True)
    log(f"\n{sum(results)} of {len(results)} goals met")
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
