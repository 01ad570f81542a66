"""The bench's measurements, one function per part of the table."""

import json
import re
import shutil
import subprocess
import time
from dataclasses import dataclass, field
from pathlib import Path

from .engine_args import OptionLineError, ffmpeg_command, floor_commands
from .measure import CommandFailed, interleaved, log, repeated, run, shell_text
from .report import Row

# The text mark and brightness change of the edited job, and ffmpeg's nearest chain.
MARK_TEXT = "Kestrel bench"
HOOK_ARGS = ["--text", MARK_TEXT, "--font-size", "18", "--font-color", "FFFFFF",
             "--text-pos", "16,16", "--brightness", "300"]
EQ_BRIGHTNESS = 0.06  # brightness 300 of 256 lifts mid-grey by about this much


@dataclass
class Bench:
    root: Path
    cli: Path
    work: Path
    pairs: int
    sources: dict
    options: object  # job_options.OptionSource
    translator: object
    ours_available: bool
    hook_off_flag: str
    commands: list = field(default_factory=list)  # (title, argv) of every ffmpeg command
    ours_samples: dict = field(default_factory=dict)  # profile code -> Comparison of ours

    def folder(self, name):
        """An empty folder of the work folder."""
        path = self.work / name
        shutil.rmtree(path, ignore_errors=True)
        path.mkdir(parents=True)
        return path

    def record(self, title, argv):
        self.commands.append((title, argv))


def empty(folder):
    def clear():
        shutil.rmtree(folder, ignore_errors=True)
        folder.mkdir(parents=True)
    return clear


def convert_argv(bench, code, files, out_dir, extra=()):
    return [str(bench.cli), "convert", "--profile", str(code), "--output-dir", str(out_dir),
            *extra, *map(str, files)]


def ffprobe_streams(path):
    done = subprocess.run(["ffprobe", "-v", "error", "-show_streams", "-of", "json", str(path)],
                          capture_output=True, text=True)
    if done.returncode != 0:
        return None
    keep = ("codec_type", "codec_name", "width", "height", "avg_frame_rate", "sample_rate",
            "channels")
    return sorted(tuple((k, s.get(k)) for k in keep if k in s)
                  for s in json.loads(done.stdout).get("streams", []))


def settings_difference(ours, theirs):
    """Empty when both outputs carry the same streams and are about as large (the same
    encoder settings give nearly the same bytes); else a short description."""
    a, b = ffprobe_streams(ours), ffprobe_streams(theirs)
    if a is None or b is None:
        return "an output could not be read"
    if a == b:
        ours_size, theirs_size = Path(ours).stat().st_size, Path(theirs).stat().st_size
        if abs(ours_size - theirs_size) > 0.1 * max(ours_size, theirs_size):
            return f"sizes differ: ours {ours_size // 1024} KiB, ffmpeg {theirs_size // 1024} KiB"
        return ""
    only_a = [dict(s) for s in a if s not in b]
    only_b = [dict(s) for s in b if s not in a]
    return f"outputs differ: ours {only_a} vs ffmpeg {only_b}"


def conversion(bench, code, label, source_key):
    """Ours against the ffmpeg command with the same output settings."""
    row = Row(f"convert {code} {label}", "kestrel-cli", "ffmpeg", goal=1.05)
    source = bench.sources[source_key]
    ours_dir, theirs_dir = bench.folder(f"ours_{code}"), bench.folder(f"ffmpeg_{code}")
    job = bench.options.job(code, source, ours_dir)
    destination = theirs_dir / Path(job.destination).name
    theirs = ffmpeg_command(bench.translator, job, source, destination)
    bench.record(row.what, theirs)
    run_theirs = lambda: run(theirs)  # noqa: E731
    if not bench.ours_available:
        row.a = "(no convert yet)"
        result = repeated(run_theirs, bench.pairs)
        row.wall_b, row.cpu_b = result.wall("a"), result.cpu("a")
        return row
    ours = convert_argv(bench, code, [source], ours_dir)
    run_ours = lambda: run(ours, before=empty(ours_dir))  # noqa: E731
    run_ours()
    run_theirs()
    ours_files = list(ours_dir.iterdir())
    difference = settings_difference(ours_files[0], destination) if len(ours_files) == 1 \
        else f"kestrel-cli wrote {len(ours_files)} files"
    if difference:
        row.notes.append(difference)
    result = interleaved(run_ours, run_theirs, bench.pairs, warm_up=False)
    bench.ours_samples[code] = result
    row.wall_a, row.wall_b = result.wall("a"), result.wall("b")
    row.cpu_a, row.cpu_b = result.cpu("a"), result.cpu("b")
    return row


def font_file():
    done = subprocess.run(["fc-match", "-f", "%{file}", "sans"], capture_output=True, text=True)
    return done.stdout.strip() if done.returncode == 0 else ""


def hook_rows(bench, code, label, source_key):
    """The edited job against drawtext+eq, and the unedited job with and without the hook
    machinery."""
    rows = []
    source = bench.sources[source_key]
    ours_dir, theirs_dir = bench.folder(f"hook_ours_{code}"), bench.folder(f"hook_ff_{code}")
    job = bench.options.job(code, source, ours_dir)
    font = font_file()
    drawtext = (f"drawtext=text='{MARK_TEXT}':fontsize=24:fontcolor=white:x=16:y=16"
                + (f":fontfile={font}" if font else ""))
    theirs = ffmpeg_command(bench.translator, job, source, theirs_dir / Path(job.destination).name,
                            extra_video_filters=[drawtext, f"eq=brightness={EQ_BRIGHTNESS}"])
    edited = Row(f"text mark + brightness, {code} {label}", "kestrel-cli (hook)",
                 "ffmpeg drawtext+eq", goal=1.05)
    bench.record(edited.what, theirs)
    if not bench.ours_available:
        edited.notes.append("kestrel-cli has no convert command yet")
        return [edited]
    ours = convert_argv(bench, code, [source], ours_dir, HOOK_ARGS)
    result = interleaved(lambda: run(ours, before=empty(ours_dir)), lambda: run(theirs),
                         bench.pairs)
    edited.wall_a, edited.wall_b = result.wall("a"), result.wall("b")
    edited.cpu_a, edited.cpu_b = result.cpu("a"), result.cpu("b")
    rows.append(edited)

    machinery = Row(f"unedited job, hook machinery on vs off, {code}", "hook on", "hook off",
                    goal=1.02)
    if not bench.hook_off_flag:
        machinery.notes.append("kestrel-cli convert has no switch that turns the hook off")
        rows.append(machinery)
        return rows
    plain = convert_argv(bench, code, [source], ours_dir)
    off = convert_argv(bench, code, [source], ours_dir, [bench.hook_off_flag])
    result = interleaved(lambda: run(plain, before=empty(ours_dir)),
                         lambda: run(off, before=empty(ours_dir)), bench.pairs)
    machinery.wall_a, machinery.wall_b = result.wall("a"), result.wall("b")
    machinery.cpu_a, machinery.cpu_b = result.cpu("a"), result.cpu("b")
    machinery.notes.append(f"off: {bench.hook_off_flag}")
    rows.append(machinery)
    return rows


def floor_row(bench, code, label, source_key):
    """Encoding raw pictures and samples already shaped for the profile: the part of a
    conversion no converter can avoid."""
    row = Row(f"encoder floor {code} {label}", "kestrel-cli", "encode raw only")
    source = bench.sources[source_key]
    folder = bench.folder(f"floor_{code}")
    job = bench.options.job(code, source, folder)
    raw = folder / "shaped_raw.nut"
    make_raw, encode = floor_commands(bench.translator, job, source, raw,
                                      folder / Path(job.destination).name)
    bench.record(f"{row.what} (make the raw file once)", make_raw)
    bench.record(row.what, encode)
    run(make_raw)
    try:
        result = repeated(lambda: run(encode), bench.pairs)
    finally:
        raw.unlink(missing_ok=True)
    row.wall_b, row.cpu_b = result.wall("a"), result.cpu("a")
    ours = bench.ours_samples.get(code)
    if ours:
        row.wall_a, row.cpu_a = ours.wall("a"), ours.cpu("a")
        row.notes.append(f"our overhead above the floor: {row.wall_a - row.wall_b:+.2f} s wall, "
                         f"{row.cpu_a - row.cpu_b:+.2f} s CPU")
    return row


def jobs_row(bench, code, label, source_key, goal):
    """Four files with --jobs 2 against --jobs 1."""
    row = Row(f"4 files, {code} {label}", "--jobs 2", "--jobs 1", goal=goal)
    if not bench.ours_available:
        row.notes.append("kestrel-cli has no convert command yet")
        return row
    folder = bench.folder(f"jobs_src_{code}")
    files = []
    for k in range(4):
        link = folder / f"clip{k}{bench.sources[source_key].suffix}"
        if not link.exists():
            link.symlink_to(bench.sources[source_key])
        files.append(link)
    out = bench.folder(f"jobs_out_{code}")
    two = convert_argv(bench, code, files, out, ["--jobs", "2"])
    one = convert_argv(bench, code, files, out, ["--jobs", "1"])
    result = interleaved(lambda: run(two, before=empty(out)), lambda: run(one, before=empty(out)),
                         bench.pairs)
    row.wall_a, row.wall_b = result.wall("a"), result.wall("b")
    row.cpu_a, row.cpu_b = result.cpu("a"), result.cpu("b")
    row.notes.append(f"speed-up {row.wall_b / row.wall_a:.2f}x")
    return row


def probe_row(bench, rounds):
    row = Row("probe: 50 small files", "kestrel-cli info", "ffprobe", goal=1.0)
    argv = [str(bench.root / "bench/probe/run"), str(bench.cli), str(rounds)]
    bench.record(row.what + " (runs ffprobe -v error -show_format -show_streams FILE)", argv)
    done = subprocess.run(argv, capture_output=True, text=True)
    if done.returncode != 0:
        raise CommandFailed(f"{shell_text(argv)}:\n{done.stderr}")
    times = re.search(r"info ([\d.]+) ms, ffprobe ([\d.]+) ms", done.stdout)
    ratio = re.search(r"median ratio[^:]*: ([\d.]+)", done.stdout)
    if not times or not ratio:
        raise CommandFailed(f"unexpected output of bench/probe/run:\n{done.stdout}")
    row.wall_a, row.wall_b = float(times[1]) / 1000, float(times[2]) / 1000
    row.ratio = float(ratio[1])
    row.notes.append("median of per-file ratios; wall is per file")
    return row


def renderer_rows(bench, effects_bench, min_time):
    if not effects_bench.exists():
        return [Row("renderer", notes=[f"{effects_bench} was not built (Google Benchmark "
                                       "missing?)"])]
    argv = [str(effects_bench), "--benchmark_format=json", f"--benchmark_min_time={min_time}"]
    done = subprocess.run(argv, capture_output=True, text=True)
    if done.returncode != 0:
        raise CommandFailed(f"{shell_text(argv)}:\n{done.stderr}")
    rows = []
    for b in json.loads(done.stdout)["benchmarks"]:
        rows.append(Row(f"renderer {b['name']}", notes=[f"{b['Mpx/s']:.1f} Mpx/s, one "
                                                         "thread"]))
    return rows


def guarded(what, make):
    """Runs one measurement; a failure becomes a row that says why instead of ending the
    whole bench."""
    log(f"{what} ...")
    began = time.monotonic()
    try:
        result = make()
        return result if isinstance(result, list) else [result]
    except (CommandFailed, OptionLineError, subprocess.CalledProcessError) as error:
        log(f"{what} failed: {error}")
        return [Row(what, notes=[f"FAILED: {str(error).splitlines()[0]}"])]
    finally:
        log(f"{what}: {time.monotonic() - began:.0f} s")
