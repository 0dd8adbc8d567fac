#!/usr/bin/python3
"""How close the dithered GROBs come to the picture, against other programs.

    bench/quality.py [PROGRAM [METHOD]]   (METHOD: floyd-steinberg, search, ...)

Eleven pictures: ImageMagick's built-ins (rose:, wizard:, logo:, granite:,
netscape:), waves of colour drawn here (sums of sines, the same every run),
a radial gradient, text, line art, fractal noise (a fixed seed) and a ramp,
640 x 480, each fitted to 131 x 64. The reference is the fitted picture's
luminance (areas averaged, Rec. 601). Each dithered picture, seen in its
true shades, is measured against it three ways:

- the mean absolute difference after a Gaussian blur of sigma 1 and of
  sigma 2 of both (what the eye averages on the calculator's screen, held
  close and at arm's length), in levels of 0..255: lower is closer;
- SSIM (Wang et al. 2004: Gaussian window of sigma 1.5, K1 0.01, K2 0.03),
  mean over the dots whose 11 x 11 window lies inside the picture: higher
  is closer.

Compared: this program's METHOD, 1-bit (gro) and 16 grays (gro4), against
the best of the peers for each measure, each dithering the reference itself
(so that only the dithering differs) to the same levels (black and white; 16
evenly spaced grays): Pillow (convert('1'); a Floyd-Steinberg quantisation),
ImageMagick (Floyd-Steinberg, Riemersma, the 8 x 8 ordered map) and libvips
(its dithering, from libimagequant, to a fixed palette of the same levels:
gifsave with the palette attached as gif-palette and reuse; left to pick its
own palette, as pngsave --palette does, it dithers to grays the calculator
does not have, and those shown as the nearest of its levels are far from the
picture: at 1 bit 78 levels of 255 off on the rose after a blur of one dot).
Needs Pillow, ImageMagick's convert and libvips through GObject
introspection (Debian: python3-pil, imagemagick, python3-gi,
gir1.2-vips-8.0). The best peer for each measure is printed beside the
program's figures, then each peer's blurred differences on their own.
"""
import math
import os
import subprocess
import sys
import tempfile

import gi
from PIL import Image

gi.require_version("Vips", "8.0")
from gi.repository import GObject, Vips  # noqa: E402

Vips.init(sys.argv[0])
Vips.cache_set_max(0)  # every picture goes through the same file names

program = sys.argv[1] if len(sys.argv) > 1 else "build/bin/veldar-convert"
method = sys.argv[2] if len(sys.argv) > 2 else "floyd-steinberg"
work = tempfile.mkdtemp()
env = dict(os.environ, windir=work)
size = ["-size", "640x480"]
PLASMA_SEED = "5"  # the same plasma on every run
pictures = {
    "rose": ["rose:"],
    "wizard": ["wizard:"],
    "logo": ["logo:"],
    "waves": None,  # drawn below
    "gradient": [*size, "radial-gradient:white-black"],
    "granite": ["granite:"],
    "netscape": ["netscape:"],
    "text": [*size, "xc:white", "-font", "DejaVu-Sans", "-pointsize", "48", "-annotate",
             "+20+120", "GROB 131 64", "-annotate", "+20+300", "HP 48 / HP 49"],
    "lines": [*size, "xc:white", "-stroke", "black", "-strokewidth", "3", "-fill", "none",
              "-draw", "circle 320,240 320,40", "-draw", "line 0,0 639,479",
              "-draw", "rectangle 60,60 580,420"],
    "noise": ["-seed", PLASMA_SEED, *size, "plasma:fractal"],
    "ramp": [*size, "gradient:white-black", "-rotate", "90", "-resize", "640x480!"],
}


def magick(reference, *args):
    """ImageMagick dithering the reference itself, read back as grays."""
    source = os.path.join(work, "magick-in.png")
    out = os.path.join(work, "magick-out.png")
    reference.save(source)
    subprocess.run(["convert", source, *args, out], check=True)
    return Image.open(out).convert("L")


def vips_call(name, **arguments):
    """Runs one libvips operation; returns its output image, if any."""
    operation = Vips.Operation.new(name)
    for key, value in arguments.items():
        GObject.Object.set_property(operation, key.rstrip("_").replace("_", "-"), value)
    operation = Vips.cache_operation_build(operation)
    names = [p.name for p in operation.list_properties()]
    out = GObject.Object.get_property(operation, "out") if "out" in names else None
    operation.unref_outputs()
    return out


def vips(reference, levels):
    """libvips dithering the reference to the fixed palette of the kind's
    levels (the palette attached as gif-palette, entries packed as bytes R,
    G, B, A in a native int), read back as grays."""
    source = os.path.join(work, "vips-in.png")
    out = os.path.join(work, "vips-out.gif")
    reference.save(source)
    picture = vips_call("colourspace", in_=vips_call("pngload", filename=source),
                        space=Vips.Interpretation.SRGB)
    grays = [round(i * 255 / (levels - 1)) for i in range(levels)]
    picture.set_array_int("gif-palette",
                          [(255 << 24 | g << 16 | g << 8 | g) - (1 << 32) for g in grays])
    vips_call("gifsave", in_=picture, filename=out, dither=1.0, reuse=True, bitdepth=8)
    shown = Image.open(out).convert("RGBA")
    assert shown.getextrema()[3] == (255, 255), "libvips left a dot transparent"
    shown = shown.convert("L")
    assert set(shown.getdata()) <= set(grays), "libvips used a gray off the palette"
    return shown


def run(*args):
    subprocess.run([program, *args], check=True, env=env, stdout=subprocess.DEVNULL)


def blur(values, w, h, sigma):
    """A true Gaussian blur (separable, edges repeated), on a flat list of floats."""
    radius = int(math.ceil(3 * sigma))
    kernel = [math.exp(-(i * i) / (2 * sigma * sigma)) for i in range(-radius, radius + 1)]
    total = sum(kernel)
    kernel = [k / total for k in kernel]

    def along(src, count, stride, lines, step):
        out = [0.0] * len(src)
        for line in range(lines):
            base = line * step
            for i in range(count):
                s = 0.0
                for k, weight in enumerate(kernel):
                    j = min(max(i + k - radius, 0), count - 1)
                    s += weight * src[base + j * stride]
                out[base + i * stride] = s
        return out

    return along(along(values, w, 1, h, w), h, w, w, 1)


def blurred_error(shown, reference, w, h, sigma):
    a, b = blur(shown, w, h, sigma), blur(reference, w, h, sigma)
    return sum(abs(x - y) for x, y in zip(a, b)) / len(a)


def ssim(shown, reference, w, h):
    """Mean SSIM over the dots whose 11 x 11 window lies inside the picture."""
    c1, c2 = (0.01 * 255) ** 2, (0.03 * 255) ** 2
    mx, my = blur(shown, w, h, 1.5), blur(reference, w, h, 1.5)
    xx = blur([x * x for x in shown], w, h, 1.5)
    yy = blur([y * y for y in reference], w, h, 1.5)
    xy = blur([x * y for x, y in zip(shown, reference)], w, h, 1.5)
    total, count = 0.0, 0
    for y in range(5, h - 5):
        for i in range(y * w + 5, y * w + w - 5):
            vx, vy, cxy = xx[i] - mx[i] ** 2, yy[i] - my[i] ** 2, xy[i] - mx[i] * my[i]
            total += ((2 * mx[i] * my[i] + c1) * (2 * cxy + c2) /
                      ((mx[i] ** 2 + my[i] ** 2 + c1) * (vx + vy + c2)))
            count += 1
    return total / count


def measure(shown, reference):
    w, h = reference.size
    a = [float(v) for v in shown.convert("L").getdata()]
    b = [float(v) for v in reference.getdata()]
    return (blurred_error(a, b, w, h, 1), blurred_error(a, b, w, h, 2), ssim(a, b, w, h))


def ours(name, fitted, kind):
    grob = os.path.join(work, name + "." + kind)
    run("--kind", kind, "--dither", method, "-o", grob, fitted)
    run("--to", "png", "-o", grob + ".png", grob)
    return Image.open(grob + ".png")


gray16 = Image.new("P", (1, 1))
gray16.putpalette([v for level in range(16) for v in (level * 17,) * 3] + [0] * (3 * 240))
results = {"1 bit": [], "16 grays": []}
def waves(path):
    """Soft waves of colour, each channel a sum of sines: smooth areas and
    edges of every slope, as a photo has, the same on every run."""
    picture = Image.new("RGB", (640, 480))
    picture.putdata([
        tuple(int(127.5 + 127.5 * (math.sin(x / (17 + 5 * c)) + math.sin(y / (13 + 3 * c)) +
                                   math.sin((x + y) / 29) +
                                   math.sin(math.hypot(x - 320, y - 240) / (11 + 2 * c))) / 4)
              for c in range(3))
        for y in range(480) for x in range(640)])
    picture.save(path)


for name, builtin in pictures.items():
    source = os.path.join(work, name + ".png")
    if builtin is None:
        waves(source)
    else:
        subprocess.run(["convert", *builtin, "-resize", "640x480", "-alpha", "off", "-type",
                        "TrueColor", source], check=True)
    picture = Image.open(source).convert("RGB")
    # The reference: the picture fitted as the program fits it (areas
    # averaged), as luminance.
    scale = min(131 / picture.size[0], 64 / picture.size[1])
    fitted = (max(1, round(picture.size[0] * scale)), max(1, round(picture.size[1] * scale)))
    reference = picture.resize(fitted, Image.Resampling.BOX).convert("L")
    fitted = os.path.join(work, name + "-fitted.png")
    reference.save(fitted)
    pillow16 = reference.convert("RGB").quantize(palette=gray16,
                                                 dither=Image.Dither.FLOYDSTEINBERG)
    palette16 = os.path.join(work, "gray16.png")
    Image.frombytes("L", (16, 1), bytes(range(0, 256, 17))).save(palette16)
    palette2 = os.path.join(work, "gray2.png")
    Image.frombytes("L", (2, 1), bytes([0, 255])).save(palette2)
    # ImageMagick to black and white by a palette of the two, as to the 16
    # grays: its -monochrome dithers the grays as linear light (a gray of
    # 100 comes out at 39), not the numbers the other peers and the
    # reference keep.
    peers1 = {"Pillow": reference.convert("1"),
              "IM FS": magick(reference, "-dither", "FloydSteinberg", "-remap", palette2),
              "IM Riem.": magick(reference, "-dither", "Riemersma", "-remap", palette2),
              "IM o8x8": magick(reference, "-ordered-dither", "o8x8"),
              "libvips": vips(reference, 2)}
    peers16 = {"Pillow": pillow16,
               "IM FS": magick(reference, "-dither", "FloydSteinberg", "-remap", palette16),
               "IM Riem.": magick(reference, "-dither", "Riemersma", "-remap", palette16),
               "IM o8x8": magick(reference, "-ordered-dither", "o8x8,16"),
               "libvips": vips(reference, 16)}
    for levels, kind, peers in (("1 bit", "gro", peers1), ("16 grays", "gro4", peers16)):
        scores = {peer: measure(shown, reference) for peer, shown in peers.items()}
        results[levels].append((name, measure(ours(name, fitted, kind), reference), scores))


def best(scores):
    """Each measure's best peer: the lowest difference, the highest SSIM."""
    values = scores.values()
    return (min(s[0] for s in values), min(s[1] for s in values), max(s[2] for s in values))


header = ["blur 1", "blur 2", "SSIM"]
for levels, rows in results.items():
    print(f"{levels:10s}" + "".join(f" {h + ' ours':>11s} {'peers':>7s}" for h in header))
    rows = [(name, mine, best(scores)) for name, mine, scores in rows]
    for name, mine, peer in rows + [("mean", *(
            tuple(sum(r[k][i] for r in rows) / len(rows) for i in range(3)) for k in (1, 2)))]:
        print(f"{name:10s}" + "".join(
            f" {mine[i]:11.{4 if i == 2 else 2}f} {peer[i]:7.{4 if i == 2 else 2}f}"
            for i in range(3)))
    print()

# Each peer on its own, after a blur of one dot and of two.
for levels, rows in results.items():
    peers = list(rows[0][2])
    print(f"{levels + ', blur 1 / 2':20s}" + "".join(f" {p:>13s}" for p in ["ours", *peers]))
    for name, mine, scores in rows:
        print(f"{name:20s}" + "".join(f" {s[0]:6.2f}/{s[1]:<6.2f}"
                                      for s in [mine, *(scores[p] for p in peers)]))
    print()
