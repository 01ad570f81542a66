"""Checks of the option-line reader and its translation to today's ffmpeg command line.
Run: python3 -m unittest discover -s bench/kbench -t bench"""

import re
import unittest
from pathlib import Path

from kbench.engine_args import (OptionLineError, Translator, ffmpeg_command, floor_commands,
                                load_presets, parse_print_options)

ROOT = Path(__file__).resolve().parents[2]
PRINTED = """\
-f mov,mp4,m4a,3gp,3g2,mj2 -ss 0.000000 -i 'in put.mp4'
-acodec libfaac -vcodec libx264 -vpre libx264-psp -f psp -ac 2 -ar 48000 -ab 128000 \
-alang '' -async 0 -r 29.97 -vb 768000 -vsync -1 -vlang '' -isync 0 -s 480x272 'out/a b.mp4'
"""


def translator():
    return Translator(load_presets(ROOT / "engine/preset_table.cpp"), ["aac", "libx264"])


def options_of(argv):
    """The command's output options as a dict (flags map to '')."""
    rest = argv[argv.index("-i") + 2:-1]
    found, i = {}, 0
    while i < len(rest):
        value = rest[i + 1] if i + 1 < len(rest) else None
        if value is not None and not re.match(r"-[a-z]", value):
            found[rest[i]] = value
            i += 2
        else:
            found[rest[i]] = ""
            i += 1
    return found


class ParseTest(unittest.TestCase):
    def test_reads_source_destination_and_pairs_in_order(self):
        [job] = parse_print_options(PRINTED)
        self.assertEqual(job.source, "in put.mp4")
        self.assertEqual(job.destination, "out/a b.mp4")
        self.assertEqual(job.input_pairs, [("f", "mov,mp4,m4a,3gp,3g2,mj2"), ("ss", "0.000000")])
        self.assertIn(("vsync", "-1"), job.output_pairs)
        self.assertEqual(job.output_pairs[-1], ("s", "480x272"))

    def test_rejects_a_job_without_its_output_line(self):
        for text in ("-f mp4 -i a.mp4\n", "-f mp4 -i a.mp4\n-acodec aac -ab\n",
                     "-i a.mp4\n-acodec 'unclosed out.mp3\n"):
            with self.subTest(text=text), self.assertRaises(OptionLineError):
                parse_print_options(text)


class TranslateTest(unittest.TestCase):
    def test_old_names_become_todays_and_the_last_value_wins(self):
        [job] = parse_print_options(PRINTED)
        argv = ffmpeg_command(translator(), job, "src.mp4", "dst.mp4")
        opts = options_of(argv)
        self.assertEqual(argv[-1], "dst.mp4")
        self.assertEqual(opts["-c:a"], "aac")  # libfaac is missing: the engine's substitute
        self.assertEqual(opts["-b:a"], "128000")
        self.assertEqual(opts["-b:v"], "768000")  # the profile's rate beats the preset's b=
        self.assertEqual(opts["-motion-est:v"], "umh")  # preset lines, for the video stream
        self.assertEqual(opts["-threads"], "0")
        for gone in ("-alang", "-async", "-vsync", "-isync", "-vlang", "-vpre", "-vb", "-ab"):
            self.assertNotIn(gone, opts)
        self.assertEqual(argv.count("-b:v"), 1)

    def test_edits_become_one_filter_chain(self):
        cases = [
            # output pairs, expected -vf (None: plain -s), expected -af
            ([("s", "320x240")], None, None),
            ([("croptop", "8"), ("cropleft", "4"), ("s", "320x240")],
             "crop=iw-4:ih-8:4:8,scale=320:240", None),
            ([("s", "320x180"), ("padtop", "30"), ("padbottom", "30"), ("padcolor", "000000")],
             "scale=320:180,pad=320:240:0:30:color=000000", None),
            ([("vol", "512"), ("s", "320x240")], None, "volume=2"),
            ([("vol", "256")], None, None),
        ]
        for pairs, vf, af in cases:
            with self.subTest(pairs=pairs):
                text = f"-i a.mp4\n{' '.join(f'-{n} {v}' for n, v in pairs)} b.mp4\n"
                [job] = parse_print_options(text)
                argv = ffmpeg_command(translator(), job, "a.mp4", "b.mp4")
                opts = options_of(argv)
                self.assertEqual(opts.get("-vf"), vf)
                self.assertEqual(opts.get("-af"), af)
                self.assertEqual("-s" in opts, vf is None and any(n == "s" for n, _ in pairs))

    def test_floor_encodes_the_shaped_raw_file_with_encoding_options_only(self):
        [job] = parse_print_options(PRINTED)
        make_raw, encode = floor_commands(translator(), job, "src.mp4", "raw.nut", "dst.mp4")
        self.assertEqual(make_raw[-3:], ["-f", "nut", "raw.nut"])
        for shaping in ("-s", "-r", "-ar", "-ac"):
            self.assertIn(shaping, make_raw)
            self.assertNotIn(shaping, encode)
        self.assertEqual(encode[encode.index("-i") + 1], "raw.nut")
        self.assertIn("-motion-est:v", encode)

    def test_an_unknown_preset_is_an_error(self):
        [job] = parse_print_options("-i a.mp4\n-vcodec libx264 -vpre nosuch b.mp4\n")
        with self.assertRaises(OptionLineError):
            ffmpeg_command(translator(), job, "a.mp4", "b.mp4")


if __name__ == "__main__":
    unittest.main()
