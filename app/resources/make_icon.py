#!/usr/bin/python3
"""Draws the Lumarest icon and writes lumarest.ico beside this script.

The icon holds nine images, in this order: 256, 48, 32 and 16 pixels at
8 bits per pixel, then 256, 64, 48, 32 and 16 pixels at 32 bits per pixel.
The two 256-pixel images are stored as PNG, all others as bitmaps with an
AND mask. The container is written by hand because Pillow's own ICO writer
cannot mix PNG and bitmap images or choose the colour depth per image.

Needs Pillow (Debian: python3-pil). Run: /usr/bin/python3 make_icon.py
"""
import io
import os
import struct

from PIL import Image, ImageDraw

LAYOUT = [(256, 8), (48, 8), (32, 8), (16, 8),
          (256, 32), (64, 32), (48, 32), (32, 32), (16, 32)]


def draw(size):
    """The artwork: a display whose green refresh wave slows down from left
    to right, on a blue tile. Drawn large and scaled down for smooth edges."""
    big = 1024
    img = Image.new("RGBA", (big, big), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.rounded_rectangle((40, 40, big - 40, big - 40), radius=200,
                        fill=(28, 92, 160, 255))
    d.rounded_rectangle((150, 210, big - 150, big - 290), radius=50,
                        fill=(235, 242, 250, 255))
    d.rectangle((440, big - 290, 584, big - 200), fill=(235, 242, 250, 255))
    d.rounded_rectangle((330, big - 220, 694, big - 170), radius=25,
                        fill=(235, 242, 250, 255))
    # The wave: short periods on the left, long on the right.
    points = []
    x = 200.0
    period = 70.0
    up = True
    while x < big - 200:
        points.append((x, 330 if up else 520))
        x += period / 2
        period *= 1.35
        up = not up
    points.append((big - 200, 425))
    d.line(points, fill=(46, 160, 67, 255), width=48, joint="curve")
    return img.resize((size, size), Image.LANCZOS)


def png_bytes(img, bits):
    out = io.BytesIO()
    if bits == 8:
        img = to_palette(img)
    img.save(out, format="PNG", optimize=True)
    return out.getvalue()


def to_palette(img):
    """256-colour version with index 0 kept for the transparent pixels."""
    alpha = img.getchannel("A")
    rgb = img.convert("RGB").quantize(colors=255, method=Image.MEDIANCUT)
    pal = rgb.getpalette()[:255 * 3]
    out = Image.new("P", img.size)
    out.putpalette([0, 0, 0] + pal + [0, 0, 0] * (256 - 1 - len(pal) // 3))
    src = rgb.load()
    dst = out.load()
    a = alpha.load()
    for y in range(img.size[1]):
        for x in range(img.size[0]):
            dst[x, y] = 0 if a[x, y] < 128 else src[x, y] + 1
    out.info["transparency"] = 0
    return out


def and_mask(img):
    w, h = img.size
    row_bytes = ((w + 31) // 32) * 4
    a = img.getchannel("A").load()
    rows = []
    for y in range(h - 1, -1, -1):
        bits = bytearray(row_bytes)
        for x in range(w):
            if a[x, y] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        rows.append(bytes(bits))
    return b"".join(rows)


def bmp_bytes(img, bits):
    w, h = img.size
    mask = and_mask(img)
    if bits == 32:
        px = img.load()
        xor = b"".join(
            bytes((px[x, y][2], px[x, y][1], px[x, y][0], px[x, y][3]))
            for y in range(h - 1, -1, -1) for x in range(w))
        palette = b""
    else:
        p = to_palette(img)
        pal = p.getpalette()[:256 * 3]
        palette = b"".join(bytes((pal[i * 3 + 2], pal[i * 3 + 1], pal[i * 3], 0))
                           for i in range(256))
        row_pad = (4 - w % 4) % 4
        src = p.load()
        xor = b"".join(bytes(src[x, y] for x in range(w)) + b"\0" * row_pad
                       for y in range(h - 1, -1, -1))
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, bits, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + palette + xor + mask


def main():
    images = []
    for size, bits in LAYOUT:
        art = draw(size)
        data = png_bytes(art, bits) if size == 256 else bmp_bytes(art, bits)
        images.append((size, bits, data))
    offset = 6 + 16 * len(images)
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    for size, bits, data in images:
        dim = 0 if size == 256 else size
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    for _, _, data in images:
        out += data
    target = os.path.join(os.path.dirname(os.path.abspath(__file__)), "lumarest.ico")
    with open(target, "wb") as f:
        f.write(out)
    print(f"wrote {target}: {len(images)} images, {len(out)} bytes")


if __name__ == "__main__":
    main()
