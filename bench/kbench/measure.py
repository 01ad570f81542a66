"""Running one command and measuring it: wall seconds and the CPU seconds (user + system)
of the process and every child it waited for."""

import os
import shlex
import statistics
import subprocess
import sys
import time
from dataclasses import dataclass


class CommandFailed(RuntimeError):
    pass


@dataclass
class Sample:
    wall: float
    cpu: float


def log(*parts):
    print(*parts, file=sys.stderr, flush=True)


def run(argv, before=None, cwd=None):
    """Runs argv to the end and returns its Sample. `before` runs first (not timed), e.g.
    to empty an output folder. A non-zero exit raises CommandFailed with its stderr."""
    if before:
        before()
    start = time.perf_counter()
    proc = subprocess.Popen(argv, stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, cwd=cwd)
    # Read stderr while waiting so a chatty child cannot block on a full pipe.
    err = proc.stderr.read()
    _, status, usage = os.wait4(proc.pid, 0)
    wall = time.perf_counter() - start
    proc.returncode = os.waitstatus_to_exitcode(status)
    proc.stderr.close()
    if proc.returncode != 0:
        tail = err.decode(errors="replace").strip().splitlines()[-8:]
        raise CommandFailed(f"exit {proc.returncode}: {shell_text(argv)}\n  " + "\n  ".join(tail))
    return Sample(wall, usage.ru_utime + usage.ru_stime)


def shell_text(argv):
    return " ".join(shlex.quote(str(a)) for a in argv)


@dataclass
class Comparison:
    a: list  # Samples of A
    b: list  # Samples of B

    @staticmethod
    def _median(samples, what):
        return statistics.median(getattr(s, what) for s in samples) if samples else None

    def wall(self, side):
        return self._median(self.a if side == "a" else self.b, "wall")

    def cpu(self, side):
        return self._median(self.a if side == "a" else self.b, "cpu")


def interleaved(run_a, run_b, pairs, warm_up=True):
    """A B A B ...: one untimed warm-up of each, then `pairs` timed pairs. run_a/run_b
    take no arguments and return a Sample."""
    if warm_up:
        run_a()
        run_b()
    result = Comparison([], [])
    for _ in range(pairs):
        result.a.append(run_a())
        result.b.append(run_b())
    return result


def repeated(run_a, times, warm_up=True):
    if warm_up:
        run_a()
    return Comparison([run_a() for _ in range(times)], [])
