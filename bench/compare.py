#!/usr/bin/env python3
"""Times two builds of kuvertpfeil against each other, interleaved.

Body throughput: 100 MB of prose and 100 MB of letter text (make_prose.py),
each read from a named file and written to /dev/null; CPU time (user +
system) of each run, medians over the rounds. The ratio is new throughput
over old: old CPU time / new CPU time.

Start-up: a one-line message piped in, the link to standard output, and
again to a named target file (one per build, rewritten by every call), in
memory (/dev/shm) and on disk (the temporary folder); wall time from start
to exit, each build's median over /bin/true's median.

Usage: python3 bench/compare.py NEW [OLD] [--base COMMIT] [--rounds N]
                                [--calls N] [--megabytes M]

Without OLD it builds COMMIT (default 52daf46) from a git worktree under
build/compare-COMMIT/, Release, with that commit's own CMakeLists.txt.
"""
import argparse
import os
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(HERE)


def build_commit(commit):
    """The program as commit builds it, built once and then reused."""
    base = os.path.join(REPO, "build", f"compare-{commit}")
    source, binary = os.path.join(base, "src"), os.path.join(base, "build")
    if not os.path.isdir(source):
        subprocess.run(["git", "-C", REPO, "worktree", "add", "--detach", source, commit],
                       check=True)
    subprocess.run(["cmake", "-S", source, "-B", binary, "-DCMAKE_BUILD_TYPE=Release",
                    "-DKUVERTPFEIL_TESTS=OFF"], check=True, stdout=subprocess.DEVNULL)
    subprocess.run(["cmake", "--build", binary, "-j2", "--target", "kuvertpfeil"], check=True,
                   stdout=subprocess.DEVNULL)
    return os.path.join(binary, "kuvertpfeil")


def run(command, stdin=None):
    """Runs command with all output to /dev/null; returns (CPU seconds of
    the child, user + system, and wall seconds)."""
    with open(os.devnull, "wb") as null:
        start = time.perf_counter()
        child = subprocess.Popen(command, stdin=stdin, stdout=null, stderr=null)
        _, status, usage = os.wait4(child.pid, 0)
        wall = time.perf_counter() - start
    child.returncode = os.waitstatus_to_exitcode(status)  # reaped here, not by Popen
    if child.returncode != 0:
        sys.exit(f"{command[0]} exited with {child.returncode}")
    return usage.ru_utime + usage.ru_stime, wall


def throughput(builds, text, rounds):
    """Interleaved rounds, the order of the builds swapped every round: the
    median CPU time of each build, and the median of the rounds' own ratios
    old / new, which a machine whose speed drifts disturbs less."""
    # Written-back and cached first, so that neither the disk nor the first
    # round's page faults land in a timed round.
    os.sync()
    for exe in builds.values():
        run([exe, "N", "a@b.de", "S", text, "/dev/null"])
    cpu = {name: [] for name in builds}
    for round_number in range(rounds):
        order = list(builds.items())
        for name, exe in order if round_number % 2 == 0 else reversed(order):
            cpu[name].append(run([exe, "N", "a@b.de", "S", text, "/dev/null"])[0])
    paired = statistics.median(old / new for old, new in zip(cpu["old"], cpu["new"]))
    return {name: statistics.median(times) for name, times in cpu.items()}, paired


def startup(builds, calls, target="-"):
    """Per round one call of each build and one of /bin/true, in turn; the
    link to standard output, or to a named target file."""
    commands = {name: [exe, "N", "A", "S", "-", target if target == "-" else f"{target}.{name}"]
                for name, exe in builds.items()}
    commands["/bin/true"] = ["/bin/true"]
    wall = {name: [] for name in commands}
    for round_number in range(calls):
        order = list(commands.items())
        for name, command in order if round_number % 2 == 0 else reversed(order):
            read_end, write_end = os.pipe()
            os.write(write_end, b"Hallo Welt\n")
            os.close(write_end)
            wall[name].append(run(command, stdin=read_end)[1])
            os.close(read_end)
    return {name: statistics.median(times) for name, times in wall.items()}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("new")
    parser.add_argument("old", nargs="?")
    parser.add_argument("--base", default="52daf46", help="commit to build as OLD")
    parser.add_argument("--rounds", type=int, default=11)
    parser.add_argument("--calls", type=int, default=1000, help="start-up rounds")
    parser.add_argument("--megabytes", type=int, default=100)
    options = parser.parse_args()
    old = os.path.abspath(options.old) if options.old else build_commit(options.base)
    builds = {"old": old, "new": os.path.abspath(options.new)}
    print(f"old: {old}\nnew: {builds['new']}")
    size = options.megabytes * 1000 * 1000
    with tempfile.TemporaryDirectory() as scratch:
        for kind in ("prose", "letter"):
            text = os.path.join(scratch, f"{kind}.txt")
            with open(text, "wb") as out:
                switch = ["--letter"] if kind == "letter" else []
                subprocess.run([sys.executable, os.path.join(HERE, "make_prose.py"), str(size),
                                *switch], stdout=out, check=True)
            cpu, paired = throughput(builds, text, options.rounds)
            print(f"{kind:6s} {options.megabytes} MB, median CPU s of {options.rounds} rounds:"
                  f" old {cpu['old']:.3f}, new {cpu['new']:.3f};"
                  f" throughput new/old {cpu['old'] / cpu['new']:.3f}x"
                  f" (median of the rounds' ratios {paired:.3f}x)")
            os.remove(text)
    # A named target on disk also times the file system's truncation of the
    # file; in memory (tmpfs, where there is one) the program's own share shows.
    memory = "/dev/shm" if os.path.isdir("/dev/shm") else None
    with (tempfile.TemporaryDirectory() as on_disk,
          tempfile.TemporaryDirectory(dir=memory) as in_memory):
        for label, target in (("standard output", "-"),
                              (f"a named target in {in_memory}", os.path.join(in_memory, "link.html")),
                              (f"a named target in {on_disk}", os.path.join(on_disk, "link.html"))):
            wall = startup(builds, options.calls, target)
            ratios = {name: wall[name] / wall["/bin/true"] for name in builds}
            print(f"start-up to {label}, median wall ms of {options.calls} calls:"
                  f" old {wall['old'] * 1e3:.3f}, new {wall['new'] * 1e3:.3f},"
                  f" /bin/true {wall['/bin/true'] * 1e3:.3f}; ratio to /bin/true:"
                  f" old {ratios['old']:.3f}, new {ratios['new']:.3f},"
                  f" difference {ratios['new'] - ratios['old']:+.3f}")


if __name__ == "__main__":
    main()
