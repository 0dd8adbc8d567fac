#!/usr/bin/env python3
"""Draws the program's icon and the About dialog's logo.

Writes icon.ico (32 x 32, 16 colours), icon.png (the same picture, for the
desktop entry), the same calculator drawn at 48, 64, 128 and 256 pixels
(icon-48.png, ...) and as a scalable icon (icon.svg, the 64-pixel drawing as
crisp squares), and logo.gif (65 x 103, 256-colour palette, index 254
transparent). Standard library only; run it again after changing a drawing.
"""
import struct
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent

# The 16 standard colours.
PALETTE16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DGREY, LGREY, WHITE, TEAL, DGREEN = 0, 8, 7, 15, 6, 2
CLEAR = None


def canvas(w, h):
    return [[CLEAR] * w for _ in range(h)]


def rect(img, x0, y0, x1, y1, c):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            if 0 <= y < len(img) and 0 <= x < len(img[0]):
                img[y][x] = c


def rounded(img, x0, y0, x1, y1, c, r):
    for y in range(y0, y1 + 1):
        for x in range(x0, x1 + 1):
            dx = max(x0 + r - x, 0, x - (x1 - r))
            dy = max(y0 + r - y, 0, y - (y1 - r))
            if dx * dx + dy * dy <= r * r:
                img[y][x] = c


def calculator(w, h, screen_h, key_rows, key_cols, margin):
    """A calculator seen from the front; its screen shows grey bands, the
    shades a GROB of several bits gives."""
    img = canvas(w, h)
    rounded(img, 0, 0, w - 1, h - 1, BLACK, max(2, w // 10))
    rounded(img, 1, 1, w - 2, h - 2, DGREY, max(2, w // 10) - 1)
    sx0, sy0, sx1, sy1 = margin, margin, w - 1 - margin, margin + screen_h - 1
    rect(img, sx0 - 1, sy0 - 1, sx1 + 1, sy1 + 1, BLACK)
    shades = [WHITE, LGREY, DGREY, BLACK]
    band = (sx1 - sx0 + 1) / len(shades)
    for x in range(sx0, sx1 + 1):
        c = shades[min(int((x - sx0) / band), len(shades) - 1)]
        rect(img, x, sy0, x, sy1, c)
    # A little GROB of a figure on the screen, dark on the light bands.
    cx, cy = sx0 + (sx1 - sx0) // 3, (sy0 + sy1) // 2
    for dy in range(-(screen_h // 4), screen_h // 4 + 1):
        for dx in range(-(screen_h // 4), screen_h // 4 + 1):
            if dx * dx + dy * dy <= (screen_h // 4) ** 2:
                img[cy + dy][cx + dx] = TEAL
    top = sy1 + margin + 1
    kw = (w - 2 * margin - (key_cols - 1)) // key_cols
    kh = (h - top - margin - (key_rows - 1)) // key_rows
    for r in range(key_rows):
        for c in range(key_cols):
            x0 = margin + c * (kw + 1)
            y0 = top + r * (kh + 1)
            colour = DGREEN if (r, c) == (key_rows - 1, key_cols - 1) else LGREY
            rect(img, x0, y0, x0 + kw - 1, y0 + kh - 2, colour)
            rect(img, x0, y0 + kh - 1, x0 + kw - 1, y0 + kh - 1, BLACK)
    return img


def write_ico(path, img):
    h, w = len(img), len(img[0])
    rows = []
    for y in reversed(range(h)):  # bottom-up
        row = bytearray()
        for x in range(0, w, 2):
            a = img[y][x] or 0
            b = img[y][x + 1] or 0
            row.append((a << 4) | b)
        rows.append(bytes(row))
    mask = []
    for y in reversed(range(h)):
        bits = 0
        for x in range(w):
            bits = (bits << 1) | (1 if img[y][x] is CLEAR else 0)
        mask.append(bits.to_bytes(w // 8, "big") + b"\0" * ((4 - (w // 8) % 4) % 4))
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE16)
    header = struct.pack("<IiiHHIIiiII", 40, w, 2 * h, 1, 4, 0, 0, 0, 0, 16, 0)
    data = header + palette + b"".join(rows) + b"".join(mask)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", w, h, 16, 0, 1, 4, len(data), 22)
    path.write_bytes(directory + data)


def write_png(path, img):
    h, w = len(img), len(img[0])
    raw = bytearray()
    for row in img:
        raw.append(0)
        for c in row:
            raw += bytes((0, 0, 0, 0)) if c is CLEAR else bytes(PALETTE16[c] + (255,))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b"")
    path.write_bytes(png)


def lzw_gif(indices, min_code=8):
    """GIF LZW data: a real dictionary coder with 12-bit codes at most."""
    clear, end = 1 << min_code, (1 << min_code) + 1
    codes, bits = [], []
    table = {(i,): i for i in range(clear)}
    next_code, width = end + 1, min_code + 1
    out = []

    def emit(code):
        out.append((code, width))

    emit(clear)
    prefix = (indices[0],)
    for k in indices[1:]:
        candidate = prefix + (k,)
        if candidate in table:
            prefix = candidate
            continue
        emit(table[prefix])
        if next_code < 4096:
            table[candidate] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            emit(clear)
            table = {(i,): i for i in range(clear)}
            next_code, width = end + 1, min_code + 1
        prefix = (k,)
    emit(table[prefix])
    emit(end)
    acc = nbits = 0
    data = bytearray()
    for code, w in out:
        acc |= code << nbits
        nbits += w
        while nbits >= 8:
            data.append(acc & 255)
            acc >>= 8
            nbits -= 8
    if nbits:
        data.append(acc & 255)
    blocks = bytearray([min_code])
    for i in range(0, len(data), 255):
        part = data[i:i + 255]
        blocks += bytes([len(part)]) + part
    return bytes(blocks + b"\0")


def write_gif(path, img, transparent=254):
    h, w = len(img), len(img[0])
    palette = list(PALETTE16) + [(0, 0, 0)] * (256 - 16)
    palette[transparent] = (255, 0, 255)
    indices = [transparent if c is CLEAR else c for row in img for c in row]
    gif = b"GIF89a" + struct.pack("<HHBBB", w, h, 0xF7, 0, 0)
    gif += b"".join(bytes(c) for c in palette)
    gif += b"\x21\xF9\x04\x01\x00\x00" + bytes([transparent]) + b"\x00"  # transparency
    gif += b"\x2C" + struct.pack("<HHHHB", 0, 0, w, h, 0) + lzw_gif(indices) + b"\x3B"
    path.write_bytes(gif)


def write_svg(path, img):
    """Each run of one colour in a row as one rectangle, edges kept crisp."""
    h, w = len(img), len(img[0])
    rects = []
    for y, row in enumerate(img):
        x = 0
        while x < w:
            c, start = row[x], x
            while x < w and row[x] == c:
                x += 1
            if c is not CLEAR:
                r, g, b = PALETTE16[c]
                rects.append(f'<rect x="{start}" y="{y}" width="{x - start}" height="1" '
                             f'fill="#{r:02x}{g:02x}{b:02x}"/>')
    path.write_text(f'<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 {w} {h}" '
                    f'width="{w}" height="{h}" shape-rendering="crispEdges">\n'
                    + "\n".join(rects) + "\n</svg>\n")


def icon_at(size):
    """The icon's calculator, its parts in the 32-pixel drawing's proportions."""
    return calculator(size, size, round(11 * size / 32), 3, 4, round(3 * size / 32))


def main():
    icon = icon_at(32)
    write_ico(HERE / "icon.ico", icon)
    write_png(HERE / "icon.png", icon)
    for size in (48, 64, 128, 256):
        write_png(HERE / f"icon-{size}.png", icon_at(size))
    write_svg(HERE / "icon.svg", icon_at(64))
    # The program icon sits over the logo's lower part in the About dialog:
    # the calculator leaves the bottom of the logo clear.
    logo = canvas(65, 103)
    body = calculator(65, 88, 26, 5, 5, 5)
    for y, row in enumerate(body):
        logo[y] = row
    write_gif(HERE / "logo.gif", logo)


if __name__ == "__main__":
    main()
