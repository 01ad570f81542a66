"""Reads the option lines `kestrel-cli convert --print-options` prints and turns them into
the arguments of today's `ffmpeg` command line.

Each job prints two lines: the input's option arguments, then the output's, as
"-name value" pairs in the engine's option names (the classic command-line names), shell
quoted; the input line ends with "-i SOURCE" (or a lone SOURCE), the output line with
the destination.
"""

import re
import shlex
from dataclasses import dataclass, field
from pathlib import Path


class OptionLineError(ValueError):
    """A line the bench cannot read or an option it cannot translate."""


@dataclass
class JobOptions:
    input_pairs: list  # [(name, value)] as the engine receives them
    output_pairs: list
    source: str = ""
    destination: str = ""


def parse_option_line(line):
    """Splits one printed line into its (name, value) pairs and the trailing file, if any."""
    try:
        tokens = shlex.split(line)
    except ValueError as error:
        raise OptionLineError(f"cannot split option line {line!r}: {error}") from None
    pairs = []
    i = 0
    while i < len(tokens):
        if tokens[i].startswith("-") and i + 1 < len(tokens):
            pairs.append((tokens[i][1:], tokens[i + 1]))
            i += 2
            continue
        if i != len(tokens) - 1:
            raise OptionLineError(f"expected '-name value' pairs in {line!r}")
        if tokens[i].startswith("-"):
            raise OptionLineError(f"option {tokens[i]} has no value in {line!r}")
        return pairs, tokens[i]
    return pairs, ""


def parse_print_options(text):
    """Every job's options from the whole printout; lines starting with '#' are comments."""
    lines = [ln for ln in text.splitlines() if ln.strip() and not ln.lstrip().startswith("#")]
    if not lines or len(lines) % 2:
        raise OptionLineError(
            f"expected an input line and an output line per job, got {len(lines)} lines:\n{text}")
    jobs = []
    for k in range(0, len(lines), 2):
        input_pairs, source = parse_option_line(lines[k])
        named = [value for name, value in input_pairs if name == "i"]
        if named:  # the input line may end with "-i FILE"
            input_pairs = [(n, v) for n, v in input_pairs if n != "i"]
            source = named[-1]
        output_pairs, destination = parse_option_line(lines[k + 1])
        if not destination:
            raise OptionLineError(f"output line without a destination: {lines[k + 1]!r}")
        jobs.append(JobOptions(input_pairs, output_pairs, source, destination))
    return jobs


# ---------------------------------------------------------------------------------------
# Built-in presets: read from the engine's own table, so both sides use the same lines.

_PRESET_ENTRY = re.compile(r'\{\s*"([^"]+)",\s*((?:"(?:[^"\\]|\\.)*"\s*)+)\}', re.S)
_C_STRING = re.compile(r'"((?:[^"\\]|\\.)*)"')


def load_presets(table_source):
    text = Path(table_source).read_text()
    presets = {}
    for name, body in _PRESET_ENTRY.findall(text):
        chunks = _C_STRING.findall(body)
        presets[name.lower()] = "".join(chunks).encode().decode("unicode_escape")
    return presets


def preset_lines(presets, name, codec):
    text = presets.get(name.lower())
    if text is None and codec:
        text = presets.get(f"{codec}-{name}".lower())
    if text is None:
        raise OptionLineError(f"preset {name!r} is not in the engine's table")
    lines = []
    for raw in text.splitlines():
        raw = raw.strip()
        if raw:
            key, _, value = raw.partition("=")
            lines.append((key, value))
    return lines


# ---------------------------------------------------------------------------------------
# Translation to today's command line.

# Encoders the engine replaces when the libraries lack them (engine/encoder_names.cpp).
ENCODER_SUBSTITUTES = {"libfaac": "aac", "libflac": "flac", "vorbis": "libvorbis",
                       "libopencore_amrnb": "aac"}

# Old name -> today's name with its stream specifier.
RENAMED = {
    "vcodec": "c:v", "acodec": "c:a", "scodec": "c:s",
    "vb": "b:v", "b": "b:v", "ab": "b:a", "bt": "bt:v", "abt": "bt:a",
    "qscale": "q:v", "aq": "q:a",
    "vtag": "tag:v", "atag": "tag:a", "stag": "tag:s",
    "vframes": "frames:v", "aframes": "frames:a", "dframes": "frames:d",
    "vbsf": "bsf:v", "absf": "bsf:a", "sbsf": "bsf:s",
}
# Options given as "name 1"; "0" leaves them out.
FLAGS = {"an", "vn", "sn", "copyts", "shortest", "intra", "re"}
LANGUAGE = {"alang": "a", "vlang": "v", "slang": "s"}
CROP = ("croptop", "cropbottom", "cropleft", "cropright")
PAD = ("padtop", "padbottom", "padleft", "padright")
FPS_MODE = {"0": "passthrough", "1": "cfr", "2": "vfr", "-1": None}
# Per-stream settings that change the pictures or samples, not how they are encoded.
PROCESSING = {"s", "r", "ar", "ac", "aspect", "pix_fmt"}


@dataclass
class FfmpegSide:
    """One file's arguments split into what shapes the media and what encodes it."""
    encoding: dict = field(default_factory=dict)    # key -> value ("" for a bare flag)
    processing: dict = field(default_factory=dict)  # s, r, ar, ac ...
    crop: dict = field(default_factory=dict)
    pad: dict = field(default_factory=dict)
    pad_color: str = ""
    video_filters: list = field(default_factory=list)
    audio_filters: list = field(default_factory=list)
    target: str = ""
    dropped: list = field(default_factory=list)  # engine options with no effect here

    def set(self, key, value):
        table = self.processing if key in PROCESSING else self.encoding
        table.pop(key, None)  # the last value wins, as in the engine
        table[key] = value

    def video_chain(self, extra=()):
        """The filter chain for the pictures: crop, scale, pad, the engine's own filters,
        then `extra`. Empty when plain -s is enough."""
        chain = []
        if any(int(self.crop.get(k, 0)) for k in CROP):
            t, b, l, r = (int(self.crop.get(k, 0)) for k in CROP)
            chain.append(f"crop=iw-{l + r}:ih-{t + b}:{l}:{t}")
        size = self.processing.get("s")
        pads = [int(self.pad.get(k, 0)) for k in PAD]
        if size and (chain or any(pads) or self.video_filters or extra):
            w, h = size.lower().split("x")
            chain.append(f"scale={w}:{h}")
            if any(pads):
                t, b, l, r = pads
                color = f":color={self.pad_color}" if self.pad_color else ""
                chain.append(f"pad={int(w) + l + r}:{int(h) + t + b}:{l}:{t}{color}")
        chain.extend(self.video_filters)
        chain.extend(extra)
        return chain

    def args(self, keep_processing=True, extra_video_filters=()):
        out = []
        if self.target:
            out += ["-target", self.target]
        for key, value in self.encoding.items():
            out += [f"-{key}"] + ([value] if value != "" else [])
        if keep_processing:
            chain = self.video_chain(extra_video_filters)
            for key, value in self.processing.items():
                if key == "s" and chain:
                    continue
                out += [f"-{key}", value]
            if chain:
                out += ["-vf", ",".join(chain)]
            if self.audio_filters:
                out += ["-af", ",".join(self.audio_filters)]
        elif extra_video_filters:
            out += ["-vf", ",".join(extra_video_filters)]
        return out


class Translator:
    def __init__(self, presets, available_encoders):
        self.presets = presets
        self.available = set(available_encoders)

    def encoder(self, name):
        if name in self.available or name not in ENCODER_SUBSTITUTES:
            return name
        return ENCODER_SUBSTITUTES[name]

    def side(self, pairs):
        side = FfmpegSide()
        codecs = {}
        for name, value in pairs:
            self._one(side, codecs, name, value)
        return side

    def _one(self, side, codecs, name, value):
        if name in ("vcodec", "acodec", "scodec"):
            codecs[name[0]] = value
            side.set(RENAMED[name], self.encoder(value))
        elif name in ("vpre", "apre", "spre"):
            kind = name[0]
            for key, val in preset_lines(self.presets, value, codecs.get(kind, "")):
                if key.lower() in ("vcodec", "acodec", "scodec"):
                    self._one(side, codecs, key.lower(), val)
                else:
                    side.set(f"{key}:{kind}", val)
        elif name in RENAMED:
            side.set(RENAMED[name], value)
        elif name in FLAGS:
            if value not in ("0", ""):
                side.set(name, "")
        elif name in LANGUAGE:
            if value:
                side.set(f"metadata:s:{LANGUAGE[name]}", f"language={value}")
        elif name in CROP:
            side.crop[name] = value
        elif name in PAD:
            side.pad[name] = value
        elif name == "padcolor":
            side.pad_color = value
        elif name in ("vf", "vfilters"):
            if value:
                side.video_filters.append(value)
        elif name == "vol":
            if value != "256":
                side.audio_filters.append(f"volume={int(value) / 256:g}")
        elif name == "vsync":
            if FPS_MODE.get(value, "") is None:
                return
            if value not in FPS_MODE:
                raise OptionLineError(f"vsync {value!r} has no fps_mode")
            side.set("fps_mode", FPS_MODE[value])
        elif name == "async":
            if value != "0":
                side.set("async", value)
        elif name == "isync":
            side.dropped.append(f"{name} {value}")  # its old meaning is gone
        elif name == "target":
            side.target = value
        elif name in ("newvideo", "newaudio", "newsubtitle", "map_meta_data", "vhook"):
            raise OptionLineError(f"the bench cannot translate -{name}")
        else:
            side.set(name, value)  # same name today (f, r, s, ar, ac, g, maxrate ...)


BASE = ["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"]


def ffmpeg_command(translator, job, source, destination, extra_video_filters=()):
    """The whole ffmpeg command for one job, reading `source` and writing `destination`."""
    inp = translator.side(job.input_pairs)
    out = translator.side(job.output_pairs)
    out_args = out.args(extra_video_filters=extra_video_filters)
    if "threads" not in out.encoding:
        out_args += ["-threads", "0"]  # the engine's default: the libraries choose
    return BASE + inp.args() + ["-i", str(source)] + out_args + [str(destination)]


def floor_commands(translator, job, source, raw_file, destination):
    """Two commands: one decoding `source` once into raw pictures and samples already
    shaped as the job wants them, one encoding that raw file with the job's encoding
    options only."""
    inp = translator.side(job.input_pairs)
    out = translator.side(job.output_pairs)
    make_raw = (BASE + inp.args() + ["-i", str(source)]
                + [a for a in _shaping_args(out)]
                + ["-c:v", "rawvideo", "-pix_fmt", "yuv420p", "-c:a", "pcm_s16le",
                   "-f", "nut", str(raw_file)])
    encode = BASE + ["-i", str(raw_file)] + out.args(keep_processing=False)
    if "threads" not in out.encoding:
        encode += ["-threads", "0"]
    return make_raw, encode + [str(destination)]


def _shaping_args(out):
    args = []
    shaping = dict(out.processing)
    for key in ("vn", "an", "sn", "t", "ss", "fps_mode", "async"):
        if key in out.encoding:
            shaping[key] = out.encoding[key]
    chain = out.video_chain()
    for key, value in shaping.items():
        if key in ("pix_fmt",) or (key == "s" and chain):
            continue
        args += [f"-{key}"] + ([value] if value != "" else [])
    if chain:
        args += ["-vf", ",".join(chain)]
    if out.audio_filters:
        args += ["-af", ",".join(out.audio_filters)]
    if out.target and "s" not in shaping:
        raise OptionLineError("a target without an explicit frame size cannot be pre-shaped")
    return args
