"""The bench's own source clips, made from generated pictures and tones."""

import subprocess
from pathlib import Path

from .measure import log

# name -> (file name, ffmpeg arguments between the fixed start and the file); %D% is the
# duration in seconds.
SOURCES = {
    "sd": ("sd_640x480.mp4",
           "-f lavfi -i testsrc2=size=640x480:rate=25:duration=%D% "
           "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=%D% -ac 2 "
           "-c:v libx264 -preset veryfast -pix_fmt yuv420p -b:v 1500k -c:a aac -b:a 128k "
           "-shortest"),
    "hd": ("hd_1280x720.mp4",
           "-f lavfi -i testsrc2=size=1280x720:rate=30:duration=%D% "
           "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=%D% -ac 2 "
           "-c:v libx264 -preset veryfast -pix_fmt yuv420p -b:v 4000k -c:a aac -b:a 128k "
           "-shortest"),
    "mpeg2": ("pal_720x576.mpg",
              "-f lavfi -i testsrc2=size=720x576:rate=25:duration=%D% "
              "-f lavfi -i sine=frequency=440:sample_rate=48000:duration=%D% -ac 2 "
              "-c:v mpeg2video -b:v 6000k -maxrate 9000k -bufsize 1835k -pix_fmt yuv420p "
              "-c:a mp2 -b:a 192k -f vob -shortest"),
}


def make_sources(folder, duration, keys):
    """The clips of `keys` (made unless already there) and the commands that make them."""
    folder = Path(folder)
    folder.mkdir(parents=True, exist_ok=True)
    made, commands = {}, []
    for key in keys:
        name, args = SOURCES[key]
        path = folder / f"{duration}s_{name}"
        argv = (["ffmpeg", "-nostdin", "-hide_banner", "-loglevel", "error", "-y"]
                + args.replace("%D%", str(duration)).split() + [str(path)])
        commands.append((f"source clip {path.name}", argv))
        if not path.exists():
            log("making", path.name)
            subprocess.run(argv, check=True)
        made[key] = path
    return made, commands
