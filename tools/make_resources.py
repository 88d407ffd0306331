#!/usr/bin/env python3
"""Draws the launcher's artwork (hero picture and icon) with ImageMagick and packs the icon.

Run from anywhere: python3 tools/make_resources.py. It rewrites resources/hero.jpg and
resources/launcher.ico; both are committed, so a build never needs ImageMagick.
ImageMagick 6 stores small ICO entries as BMP, so the seven PNG images are drawn one by one
and packed into the .ico here.
"""
import pathlib
import struct
import subprocess
import tempfile

ROOT = pathlib.Path(__file__).resolve().parent.parent
RESOURCES = ROOT / "resources"
ICON_SIZES = (16, 24, 32, 48, 64, 128, 256)

CHARCOAL = "#141417"
ASH = "#24242a"
EMBER = "#8c1c24"
BLOOD = "#5a0f16"
GLOW = "#c2333c"


def run(*args):
    subprocess.run(["convert", *map(str, args)], check=True)


def draw_hero(target):
    """A portrait of 720 x 1080: charcoal ground, a red glow and slanted bands."""
    width, height = 720, 1080
    with tempfile.TemporaryDirectory() as tmp:
        ground = pathlib.Path(tmp) / "ground.png"
        run("-size", f"{width}x{height}", f"gradient:{ASH}-{CHARCOAL}", ground)
        run(ground,
            # a soft ember glow low in the picture
            "(", "-size", f"{width}x{height}", "xc:none", "-fill", GLOW,
            "-draw", "circle 360,760 360,420", "-blur", "0x90", "-channel", "A",
            "-evaluate", "multiply", "0.55", "+channel", ")", "-composite",
            # slanted bands in dark red and charcoal
            "-fill", BLOOD, "-draw", "polygon 0,560 720,180 720,300 0,680",
            "-fill", EMBER, "-draw", "polygon 0,700 720,320 720,350 0,730",
            "-fill", CHARCOAL, "-draw", "polygon 0,820 720,440 720,560 0,940",
            "-fill", EMBER, "-draw", "polygon 180,1080 720,800 720,840 260,1080",
            # a faint ring, the emblem of the hero panel
            "-fill", "none", "-stroke", GLOW, "-strokewidth", "6",
            "-draw", "circle 360,330 360,210",
            "-stroke", EMBER, "-strokewidth", "3",
            "-draw", "circle 360,330 360,180",
            "-blur", "0x1.2",
            "-type", "TrueColor", "-interlace", "none", "-sampling-factor", "2x2",
            "-quality", "88", "-strip", f"jpeg:{target}")


def draw_icon_png(size, target):
    """A dark-red disc with a charcoal blade across it, drawn at 4x and reduced."""
    big = size * 4
    c = big / 2
    r = big * 0.46
    run("-size", f"{big}x{big}", "xc:none",
        "-fill", BLOOD, "-draw", f"circle {c},{c} {c},{c - r}",
        "-fill", EMBER, "-draw", f"circle {c},{c} {c},{c - r * 0.82}",
        "-fill", CHARCOAL,
        "-draw", f"polygon {c - r * 0.25},{c - r * 0.95} {c + r * 0.25},{c - r * 0.95} "
                 f"{c - r * 0.05},{c + r * 0.95} {c - r * 0.45},{c + r * 0.95}",
        "-fill", GLOW,
        "-draw", f"polygon {c - r * 0.8},{c - r * 0.12} {c + r * 0.8},{c - r * 0.12} "
                 f"{c + r * 0.8},{c + r * 0.02} {c - r * 0.8},{c + r * 0.02}",
        "-resize", f"{size}x{size}", "-define", "png:color-type=6", f"png32:{target}")


def pack_ico(pngs, target):
    """ICONDIR, one ICONDIRENTRY per image, then the PNG streams themselves."""
    header = struct.pack("<HHH", 0, 1, len(pngs))
    offset = len(header) + 16 * len(pngs)
    entries, blobs = b"", b""
    for size, data in pngs:
        dim = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
        blobs += data
    target.write_bytes(header + entries + blobs)


def main():
    RESOURCES.mkdir(exist_ok=True)
    draw_hero(RESOURCES / "hero.jpg")
    pngs = []
    with tempfile.TemporaryDirectory() as tmp:
        for size in ICON_SIZES:
            png = pathlib.Path(tmp) / f"icon{size}.png"
            draw_icon_png(size, png)
            pngs.append((size, png.read_bytes()))
    pack_ico(pngs, RESOURCES / "launcher.ico")


if __name__ == "__main__":
    main()
