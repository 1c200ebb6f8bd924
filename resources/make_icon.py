#!/usr/bin/env python3
"""Builds tarn-kit's application icon (.ico) from its source drawing.

Usage: make_icon.py DRAWING.svg OUTPUT.ico [--convert PROGRAM]

ImageMagick's `convert` rasterises the drawing once per size into raw RGBA;
everything else is done here with the standard library, so that the layout
of the file is exactly what Windows expects and does not depend on which
ImageMagick version happens to be installed:

- 256x256 is stored as a PNG (8-bit RGBA), the form Windows uses for the
  large size since Vista;
- every smaller size is a 32-bit DIB: a BITMAPINFOHEADER whose height is
  doubled (colour image plus mask), BGRA rows bottom-up, then the 1-bit AND
  mask, set where the pixel is fully transparent, for programs that ignore
  alpha.

The output depends only on the drawing and the renderer: no time stamps.
"""

import argparse
import os
import struct
import subprocess
import sys
import zlib

SIZES = (256, 128, 96, 72, 64, 48, 32, 24, 16)
PNG_SIZE = 256
# The drawing's viewBox is 256 units at 96 dpi; rendering at four times that
# and scaling down gives every size the same smooth edges.
RENDER_DENSITY = 384


def rasterise(convert, drawing, size):
    """Returns size*size*4 bytes of straight (not premultiplied) RGBA."""
    command = [
        convert, "-background", "none", "-density", str(RENDER_DENSITY),
        drawing, "-resize", f"{size}x{size}!", "-depth", "8", "RGBA:-",
    ]
    pixels = subprocess.run(command, check=True, stdout=subprocess.PIPE).stdout
    if len(pixels) != size * size * 4:
        raise SystemExit(
            f"make_icon: {convert} gave {len(pixels)} bytes for {size}x{size}, "
            f"expected {size * size * 4}")
    return clear_transparent(pixels)


def clear_transparent(rgba):
    """Zeroes the colour of fully transparent pixels, which renderers leave
    arbitrary, so that the same drawing always gives the same bytes."""
    out = bytearray(rgba)
    for i in range(0, len(out), 4):
        if out[i + 3] == 0:
            out[i:i + 3] = b"\0\0\0"
    return bytes(out)


def png_chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def encode_png(rgba, size):
    stride = size * 4
    # Filter type 0 (none) before every row.
    raw = b"".join(b"\0" + rgba[y * stride:(y + 1) * stride] for y in range(size))
    # Bit depth 8, colour type 6 (RGBA), deflate, no filter method, no interlace.
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n"
            + png_chunk(b"IHDR", header)
            + png_chunk(b"IDAT", zlib.compress(raw, 9))
            + png_chunk(b"IEND", b""))


def mask_stride(size):
    """Bytes per AND-mask row: one bit a pixel, rows padded to 32 bits."""
    return (size + 31) // 32 * 4


def encode_dib(rgba, size):
    stride = size * 4
    colour = bytearray()
    mask = bytearray()
    for y in reversed(range(size)):  # bottom-up
        row = rgba[y * stride:(y + 1) * stride]
        mask_row = bytearray(mask_stride(size))
        for x in range(size):
            r, g, b, a = row[x * 4:x * 4 + 4]
            colour += bytes((b, g, r, a))
            if a == 0:
                mask_row[x // 8] |= 0x80 >> (x % 8)
        mask += mask_row
    header = struct.pack(
        "<IiiHHIIiiII",
        40,                       # biSize: BITMAPINFOHEADER
        size, size * 2,           # the height counts colour image and mask
        1, 32,                    # planes, bits per pixel
        0,                        # BI_RGB
        len(colour) + len(mask),  # biSizeImage
        0, 0, 0, 0)
    return header + bytes(colour) + bytes(mask)


def build_icon(images):
    """images: list of (size, encoded bytes), in directory order."""
    directory = struct.pack("<HHH", 0, 1, len(images))  # reserved, type icon
    offset = len(directory) + 16 * len(images)
    entries = b""
    for size, data in images:
        dimension = 0 if size == 256 else size  # a byte: 0 stands for 256
        entries += struct.pack("<BBBBHHII", dimension, dimension, 0, 0, 1, 32,
                               len(data), offset)
        offset += len(data)
    return directory + entries + b"".join(data for _, data in images)


def main(argv):
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("drawing")
    parser.add_argument("output")
    parser.add_argument("--convert", default="convert",
                        help="ImageMagick's convert program")
    args = parser.parse_args(argv)

    images = []
    for size in SIZES:
        rgba = rasterise(args.convert, args.drawing, size)
        if size == PNG_SIZE:
            images.append((size, encode_png(rgba, size)))
        else:
            images.append((size, encode_dib(rgba, size)))
    # Written beside the target and renamed, so that a failed run never
    # leaves a half icon for the resource compiler to pick up.
    partial = args.output + ".partial"
    with open(partial, "wb") as out:
        out.write(build_icon(images))
    os.replace(partial, args.output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
