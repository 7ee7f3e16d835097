"""Times cutting a large image into tile PNGs: Kolvara's preparation against vips and ImageMagick.

Every tool cuts the same generated SIZE x SIZE image into TILE x TILE PNG tiles at zlib level 1.
Rounds are interleaved and the best wall time of each tool is kept, since the machine is shared.
Peak memory is the maximum resident set size that /usr/bin/time -v reports.

    /usr/bin/python3 bench/bench_tiles.py [--size 8000] [--tile 80] [--rounds 2] [--savepng]

--savepng adds the same cut written through imageutil::savePngTo (Qt's PNG writer, a temporary
file and a sync per tile) at zlib level 1, to show what the sample writer
saves. Kolvara's figures include loading the image with Qt, as the workbench does when the
image is opened; its own line splits load and cut.
"""
import argparse
import os
import re
import shutil
import subprocess
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_EXE = os.path.join(HERE, "..", "build", "bin", "bench_tiles")


def timed(command):
    """Runs command under /usr/bin/time -v; returns (wall seconds, peak RSS in MB, its output)."""
    result = subprocess.run(["/usr/bin/time", "-v"] + command, capture_output=True, text=True)
    if result.returncode != 0:
        raise RuntimeError("%s failed:\n%s" % (command[0], result.stderr[-2000:]))
    wall = re.search(r"Elapsed \(wall clock\) time.*: (?:(\d+):)?(\d+):([\d.]+)", result.stderr)
    rss = re.search(r"Maximum resident set size \(kbytes\): (\d+)", result.stderr)
    hours, minutes, seconds = wall.groups()
    total = int(hours or 0) * 3600 + int(minutes) * 60 + float(seconds)
    return total, int(rss.group(1)) / 1024.0, result.stdout.strip()


def count_png(folder):
    return sum(1 for _, _, files in os.walk(folder) for name in files if name.endswith(".png"))


def tools(args, source, work):
    out = os.path.join(work, "out")
    commands = {
        "kolvara": ([args.exe, "cut", source, out, str(args.tile)], out),
        "vips": (["vips", "dzsave", source, out + "/tiles", "--depth", "one", "--tile-size", str(args.tile),
                  "--overlap", "0", "--suffix", ".png[compression=1]"], out),
        "imagemagick": (["/usr/bin/convert", source, "-crop", "%dx%d" % (args.tile, args.tile), "+repage",
                         "-define", "png:compression-level=1", out + "/tile_%d.png"], out),
    }
    if args.savepng:
        commands["kolvara-savePngTo"] = ([args.exe, "cut-savepng", source, out, str(args.tile)], out)
    return commands


def measure(args, source, work):
    best = {}
    for _ in range(args.rounds):
        for name, (command, out) in tools(args, source, work).items():
            shutil.rmtree(out, ignore_errors=True)
            os.makedirs(out)
            wall, rss, said = timed(command)
            tiles = count_png(out)
            old = best.get(name)
            best[name] = (min(wall, old[0]) if old else wall, max(rss, old[1]) if old else rss, tiles)
            print("  %-18s %7.2f s  %7.1f MB  %d tiles  %s" % (name, wall, rss, tiles, said), flush=True)
    shutil.rmtree(os.path.join(work, "out"), ignore_errors=True)
    return best


def report(args, best):
    rgba_mb = args.size * args.size * 4 / (1024.0 * 1024.0)
    memory_target = 1.3 * rgba_mb + 100
    print("\nbest of %d rounds, %d x %d image, %d x %d tiles, %d cores" %
          (args.rounds, args.size, args.size, args.tile, args.tile, os.cpu_count()))
    for name, (wall, rss, tiles) in best.items():
        print("  %-18s wall %7.2f s   peak %7.1f MB   %d tiles" % (name, wall, rss, tiles))
    k = best["kolvara"]
    print("kolvara / vips wall:        %.2f (target <= 1.25)" % (k[0] / best["vips"][0]))
    print("kolvara / imagemagick wall: %.2f (target <= 1.00)" % (k[0] / best["imagemagick"][0]))
    print("kolvara peak memory:        %.1f MB (target <= %.1f MB = 1.3 x %.1f MB RGBA + 100 MB)" %
          (k[1], memory_target, rgba_mb))


def main(argv=None):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--size", type=int, default=8000)
    parser.add_argument("--tile", type=int, default=80)
    parser.add_argument("--rounds", type=int, default=2)
    parser.add_argument("--exe", default=DEFAULT_EXE)
    parser.add_argument("--work", default="/tmp/kolvara-bench")
    parser.add_argument("--savepng", action="store_true")
    args = parser.parse_args(argv)
    for tool in ("vips", "/usr/bin/convert", args.exe):
        if not shutil.which(tool):
            print("missing %s (build bench_tiles; apt-get install -y libvips-tools imagemagick)" % tool)
            return 1
    os.makedirs(args.work, exist_ok=True)
    source = os.path.join(args.work, "field%d.png" % args.size)
    if not os.path.exists(source):
        subprocess.run([args.exe, "make-image", source, str(args.size)], check=True)
    report(args, measure(args, source, args.work))
    return 0


if __name__ == "__main__":
    sys.exit(main())
