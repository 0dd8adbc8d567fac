#!/usr/bin/python3
"""How close the dithered GROBs come to the picture, against Pillow: four
pictures made from ImageMagick's built-in rose:, wizard:, logo: and plasma:,
scaled up, each fitted to 131 x 64; the mean difference, after a 1-pixel
Gaussian blur of both (what the eye averages on the calculator's screen),
between the GROB's shades and the fitted picture's luminance (Rec. 601).

    bench/quality.py [PROGRAM]

Compared: this program's 1-bit and 4-bit Floyd-Steinberg against Pillow's
thumbnail + convert('1') and a 16-gray Floyd-Steinberg quantisation.
"""
import os
import subprocess
import sys
import tempfile

from PIL import Image, ImageFilter

program = sys.argv[1] if len(sys.argv) > 1 else "build/bin/veldar-convert"
work = tempfile.mkdtemp()
env = dict(os.environ, windir=work)
pictures = {"rose": ["rose:"], "wizard": ["wizard:"], "logo": ["logo:"],
            "plasma": ["-size", "320x240", "plasma:"]}  # random: a new one each run


def run(*args):
    subprocess.run([program, *args], check=True, env=env, stdout=subprocess.DEVNULL)


def error(shown, reference):
    a = shown.convert("L").filter(ImageFilter.GaussianBlur(1))
    b = reference.filter(ImageFilter.GaussianBlur(1))
    pa, pb = a.getdata(), b.getdata()
    return sum(abs(x - y) for x, y in zip(pa, pb)) / len(pa)


gray16 = Image.new("P", (1, 1))
gray16.putpalette([v for level in range(16) for v in (level * 17,) * 3] + [0] * (3 * 240))
rows = []
for name, builtin in pictures.items():
    source = os.path.join(work, name + ".png")
    subprocess.run(["convert", *builtin, "-resize", "640x480", "-alpha", "off", "-type",
                    "TrueColor", source], check=True)
    picture = Image.open(source).convert("RGB")
    # The reference: the picture fitted as the program fits it (areas
    # averaged), as luminance.
    size = picture.size
    scale = min(131 / size[0], 64 / size[1])
    fitted = (max(1, round(size[0] * scale)), max(1, round(size[1] * scale)))
    reference = picture.resize(fitted, Image.Resampling.BOX).convert("L")
    figures = []
    for kind in ("gro", "gro4"):
        grob = os.path.join(work, name + "." + kind)
        run("--kind", kind, "--fit", "131x64", "--dither", "floyd-steinberg", "-o", grob, source)
        run("--to", "png", "-o", grob + ".png", grob)
        figures.append(error(Image.open(grob + ".png"), reference))
    thumb = picture.copy()
    thumb.thumbnail((131, 64))
    thumb = thumb.resize(fitted)
    figures.append(error(thumb.convert("1"), reference))
    gray = thumb.convert("L").convert("RGB")
    figures.append(error(gray.quantize(palette=gray16, dither=Image.Dither.FLOYDSTEINBERG), reference))
    rows.append((name, figures))

print(f"{'picture':10s} {'1-bit ours':>11s} {'Pillow 1-bit':>13s} {'4-bit ours':>11s} {'Pillow 16':>10s}")
for name, (ours1, ours4, pil1, pil16) in rows:
    print(f"{name:10s} {ours1:11.2f} {pil1:13.2f} {ours4:11.2f} {pil16:10.2f}")
mean = [sum(r[1][i] for r in rows) / len(rows) for i in range(4)]
print(f"{'mean':10s} {mean[0]:11.2f} {mean[2]:13.2f} {mean[1]:11.2f} {mean[3]:10.2f}")
