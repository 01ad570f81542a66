"""Where the bench gets a job's engine options: `kestrel-cli convert --print-options`, or,
for a kestrel-cli that cannot print them yet, option lines written out by hand for a few
profiles (the same lines the output-option builder makes for a 640x480 MP4 source)."""

import shlex
import subprocess
from pathlib import Path

from .engine_args import OptionLineError, parse_print_options

MP4_INPUT = "-f mov,mp4,m4a,3gp,3g2,mj2"

# code -> (input line, output line without the destination, destination extension)
STAND_IN = {
    3: (MP4_INPUT,
        "-acodec libfaac -vcodec mpeg4 -f ipod -ac 2 -ar 44100 -ab 96000 -alang '' -async 0 "
        "-r 29.97 -vb 512000 -vsync -1 -vlang '' -slang '' -isync 0 -s 320x240", "mp4"),
    2700: ("-vn 1 " + MP4_INPUT,
           "-acodec libmp3lame -ac 2 -ar 44100 -ab 128000 -alang '' -async 0 -vn 1 -vsync -1 "
           "-vlang '' -sn 1 -slang '' -isync 0", "mp3"),
}


class OptionSource:
    def __init__(self, cli):
        self.cli = cli
        self.real = self._cli_prints_options()

    def _cli_prints_options(self):
        done = subprocess.run([self.cli, "convert", "--help"], capture_output=True, text=True)
        return done.returncode == 0 and "--print-options" in done.stdout + done.stderr

    def describe(self):
        return ("kestrel-cli convert --print-options" if self.real
                else "stand-in option lines (kestrel-cli cannot print its options yet)")

    def profiles(self, wanted):
        """The wanted profile codes this source can give options for."""
        return [c for c in wanted if self.real or c in STAND_IN]

    def job(self, code, source, output_dir, extra_cli_args=()):
        if self.real:
            argv = [self.cli, "convert", "--print-options", "--profile", str(code),
                    "--output-dir", str(output_dir), *extra_cli_args, str(source)]
            done = subprocess.run(argv, capture_output=True, text=True)
            if done.returncode != 0:
                raise OptionLineError(f"{shlex.join(argv)} failed:\n{done.stderr}")
            jobs = parse_print_options(done.stdout)
        else:
            if code not in STAND_IN:
                raise OptionLineError(f"no stand-in option lines for profile {code}")
            input_line, output_line, ext = STAND_IN[code]
            destination = Path(output_dir) / f"{Path(source).stem}.{ext}"
            text = (f"{input_line} -i {shlex.quote(str(source))}\n"
                    f"{output_line} {shlex.quote(str(destination))}\n")
            jobs = parse_print_options(text)
        if len(jobs) != 1:
            raise OptionLineError(f"expected one job for one file, got {len(jobs)}")
        return jobs[0]
