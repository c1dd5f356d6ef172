#!/usr/bin/env python3
"""Draws the panel's bitmaps and icons into res/pictures (or the folder given as the first argument).

The pictures are committed; run this again after changing a drawing. Standard library only: the
formats are written byte by byte (bottom-up DIB rows padded to four bytes).
"""
import os
import struct
import sys

WHITE = (255, 255, 255)


# ---------------------------------------------------------------------------------------------- BMP files

def bmp24(width, height, pixel):
    """A 24-bit BMP; pixel(x, y) gives (r, g, b) with y = 0 at the top."""
    stride = (width * 3 + 3) & ~3
    rows = bytearray()
    for y in reversed(range(height)):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        rows += row + bytes(stride - len(row))
    return file_header(len(rows), 0) + info_header(width, height, 24, len(rows), 0) + rows


def bmp1(width, height, bit):
    """A 1-bit BMP with palette black (0), white (1); bit(x, y) gives 0 or 1."""
    stride = ((width + 31) // 32) * 4
    rows = bytearray()
    for y in reversed(range(height)):
        row = bytearray(stride)
        for x in range(width):
            if bit(x, y):
                row[x // 8] |= 0x80 >> (x % 8)
        rows += row
    palette = bytes((0, 0, 0, 0, 255, 255, 255, 0))
    return (file_header(len(rows), len(palette)) + info_header(width, height, 1, len(rows), 2) + palette
            + rows)


def file_header(image_size, palette_size):
    offset = 14 + 40 + palette_size
    return b"BM" + struct.pack("<IHHI", offset + image_size, 0, 0, offset)


def info_header(width, height, bits, image_size, colours):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, image_size, 2835, 2835, colours, 0)


# ------------------------------------------------------------------------------------------------ drawing

def clamp(value):
    return max(0, min(255, int(round(value))))


def shade(colour, amount):
    return tuple(clamp(c * amount) for c in colour)


def vertical_gradient(colour, y, height, spread=0.18):
    """Lighter at the top, darker at the bottom; the mean over the height stays the colour."""
    t = (y + 0.5) / height - 0.5
    return shade(colour, 1.0 - 2 * spread * t)


def trade_tile(colour, white_corner):
    """75 x 58 price button tile with a white 38 x 22 corner where the button's bottom notch lies."""
    width, height = 75, 58

    def pixel(x, y):
        if y >= height - 22 and white_corner(x, width):
            return WHITE
        edge = x in (0, width - 1) or y in (0, height - 1)
        base = vertical_gradient(colour, y, height)
        return shade(base, 0.85) if edge else base

    return bmp24(width, height, pixel)


def close_mark(x, y):
    """20 x 15 light grey tile with a dark cross."""
    background = (217, 217, 219)
    cx, cy = x - 9.5, y - 7
    if abs(cx) <= 4.5 and abs(cy) <= 4.5 and (abs(cx - cy) <= 0.8 or abs(cx + cy) <= 0.8):
        return (64, 64, 68)
    return background


def pushpin(x, y):
    """20 x 15 light grey tile with a red pushpin leaning to the lower left."""
    background = (217, 217, 219)
    head = (x - 12.5) ** 2 + (y - 4.5) ** 2
    if head <= 9.5:
        return (214, 38, 38) if head > 2 else (246, 120, 120)
    if 9 <= x <= 14 and 6 <= y <= 8:
        return (170, 24, 24)
    if 3 <= x <= 9 and abs((x - 3) - (13 - y)) <= 0.6 and y <= 13:
        return (70, 70, 74)
    return background


def spread_tile(x, y):
    """45 x 10 light grey strip; red corners meet the SELL tile, green ones the BUY tile."""
    if y in (0, 9) and x == 0:
        return (194, 41, 39)
    if y in (0, 9) and x == 44:
        return (39, 146, 72)
    return (233, 237, 237)


def label_tile(x, y):
    """24 x 24 tile behind the SL and TP texts."""
    if x in (0, 23) or y in (0, 23):
        return (196, 198, 202)
    return vertical_gradient((232, 234, 238), y, 24, 0.04)


def strip_tile(x, y):
    """150 x 10 strip at the foot of the client area."""
    t = x / 149
    return (clamp(200 + 40 * t), clamp(206 + 36 * t), clamp(214 + 30 * t))


def arrow(colour, up):
    """13 x 13 arrow on a light ground; the four corner pixels are white."""
    def pixel(x, y):
        if x in (0, 12) and y in (0, 12):
            return WHITE
        row = y if up else 12 - y
        if 2 <= row <= 6 and abs(x - 6) <= row - 2:
            return colour
        if 7 <= row <= 10 and 4 <= x <= 8:
            return colour
        return (242, 242, 242)

    return bmp24(13, 13, pixel)


def arrow_mask(x, y):
    return 0 if x in (0, 12) and y in (0, 12) else 1


# ----------------------------------------------------------------------------------------------- icons

def icon_pixel(size, x, y):
    """The panel's icon: a red SELL half and a green BUY half with a white up arrow, as RGBA."""
    u, v = (x + 0.5) / size, (y + 0.5) / size
    margin = 1.5 / size
    if not (margin <= u <= 1 - margin and margin <= v <= 1 - margin):
        return (0, 0, 0, 0)
    body = (194, 41, 39) if u < 0.5 else (39, 146, 72)
    colour = vertical_gradient(body, y, size, 0.12)
    # A white arrow across both halves.
    au, av = u - 0.5, v - 0.5
    if -0.32 <= av <= 0.02 and abs(au) <= (av + 0.32) * 0.9:
        colour = WHITE
    elif 0.02 < av <= 0.32 and abs(au) <= 0.11:
        colour = WHITE
    return colour + (255,)


VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
         (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
         (255, 0, 255), (0, 255, 255), (255, 255, 255)]


def palette256():
    """A 6 x 6 x 6 colour cube plus greys."""
    colours = [(r * 51, g * 51, b * 51) for r in range(6) for g in range(6) for b in range(6)]
    colours += [(v, v, v) for v in range(8, 248, 6)][: 256 - len(colours)]
    return colours + [(0, 0, 0)] * (256 - len(colours))


def nearest(palette, colour):
    return min(range(len(palette)),
               key=lambda i: sum((a - b) ** 2 for a, b in zip(palette[i], colour)))


def icon_image(size, bits):
    pixels = [[icon_pixel(size, x, y) for x in range(size)] for y in range(size)]
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, 0, 0)
    xor = bytearray()
    palette = b""
    if bits == 32:
        for y in reversed(range(size)):
            for x in range(size):
                r, g, b, a = pixels[y][x]
                xor += bytes((b, g, r, a))
    else:
        colours = VGA16 if bits == 4 else palette256()
        palette = b"".join(bytes((b, g, r, 0)) for r, g, b in colours)
        stride = ((size * bits + 31) // 32) * 4
        for y in reversed(range(size)):
            row = bytearray(stride)
            for x in range(size):
                r, g, b, a = pixels[y][x]
                index = nearest(colours, (r, g, b)) if a else 0
                if bits == 8:
                    row[x] = index
                else:
                    row[x // 2] |= index << (4 if x % 2 == 0 else 0)
            xor += row
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(size)):
        row = bytearray(mask_stride)
        for x in range(size):
            if pixels[y][x][3] == 0:
                row[x // 8] |= 0x80 >> (x % 8)
        mask += row
    return header + palette + xor + mask


def ico(formats):
    """An icon file with one image per (size, bits)."""
    images = [icon_image(size, bits) for size, bits in formats]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, bits), image in zip(formats, images):
        data += struct.pack("<BBBBHHII", size, size, 16 if bits == 4 else 0, 0, 1, bits, len(image), offset)
        offset += len(image)
    return data + b"".join(images)


ICON_FORMATS = [(32, 4), (16, 4), (32, 8), (16, 8), (48, 8), (32, 32), (16, 32), (48, 32)]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "pictures")
    os.makedirs(out, exist_ok=True)
    files = {
        "close_button.bmp": bmp24(20, 15, close_mark),
        "pin_button.bmp": bmp24(20, 15, pushpin),
        "sell.bmp": trade_tile((194, 41, 39), lambda x, w: x >= w - 38),
        "sell_pressed.bmp": trade_tile((147, 23, 22), lambda x, w: x >= w - 38),
        "buy.bmp": trade_tile((39, 146, 72), lambda x, w: x < 38),
        "buy_pressed.bmp": trade_tile((20, 108, 52), lambda x, w: x < 38),
        "spread.bmp": bmp24(45, 10, spread_tile),
        "label.bmp": bmp24(24, 24, label_tile),
        "strip.bmp": bmp24(150, 10, strip_tile),
        "arrow_down.bmp": arrow((214, 38, 38), up=False),
        "arrow_up.bmp": arrow((30, 160, 60), up=True),
        "arrow_mask.bmp": bmp1(13, 13, arrow_mask),
        "panel.ico": ico(ICON_FORMATS),
        "panel_small.ico": ico(ICON_FORMATS),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
