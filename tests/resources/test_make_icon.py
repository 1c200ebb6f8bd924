"""Tests of resources/make_icon.py with a stand-in for ImageMagick's convert.

The stand-in answers every size with a known pattern of colours and alphas,
so each image of the icon can be decoded and compared pixel for pixel: PNG
rows, DIB channel order, bottom-up rows, mask bits and row padding (24 and
72 pixel rows do not fill whole 32-bit words).
"""

import os
import stat
import struct
import subprocess
import sys
import tempfile
import unittest
import zlib

MAKE_ICON = os.environ.get("TARNKIT_MAKE_ICON") or os.path.join(
    os.path.dirname(__file__), "..", "..", "resources", "make_icon.py")
SIZES = [256, 128, 96, 72, 64, 48, 32, 24, 16]

FAKE_CONVERT = r'''#!{python}
import os, sys
args = sys.argv[1:]
size = int(args[args.index("-resize") + 1].split("x")[0])
mode = os.environ.get("FAKE_CONVERT_MODE", "")
if mode == "fail":
    sys.stderr.write("convert: no decode delegate\n")
    sys.exit(1)
out = bytearray()
for y in range(size):
    for x in range(size):
        out += bytes(({pattern}))
if mode == "short":
    out = out[:-4]
sys.stdout.buffer.write(bytes(out))
'''
# Red follows x, green y, blue both; alpha is 0, 128 or 255 in a pattern that
# is not symmetric, so a flipped or mirrored image shows.
PATTERN = "(x * 7 + y) & 255, (y * 5 + 3) & 255, (x ^ y) & 255, " \
          "0 if (x + 2 * y) % 5 == 0 else (255 if x % 3 else 128)"


def expected_pixel(x, y):
    r, g, b, a = eval(PATTERN)  # the same expression the stand-in runs
    return (0, 0, 0, 0) if a == 0 else (r, g, b, a)


def decode_png(data):
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "PNG signature"
    at, chunks = 8, []
    while at < len(data):
        length, kind = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        crc, = struct.unpack(">I", data[at + 8 + length:at + 12 + length])
        assert crc == zlib.crc32(kind + body), f"CRC of {kind}"
        chunks.append((kind, body))
        at += 12 + length
    assert [k for k, _ in chunks][0] == b"IHDR" and chunks[-1][0] == b"IEND"
    width, height, depth, colour, comp, filt, interlace = struct.unpack(">IIBBBBB", chunks[0][1])
    assert (depth, colour, comp, filt, interlace) == (8, 6, 0, 0, 0)
    raw = zlib.decompress(b"".join(b for k, b in chunks if k == b"IDAT"))
    stride = width * 4
    assert len(raw) == height * (stride + 1)
    pixels = {}
    for y in range(height):
        row = raw[y * (stride + 1):(y + 1) * (stride + 1)]
        assert row[0] == 0, "only filter type 0 is written"
        for x in range(width):
            pixels[x, y] = tuple(row[1 + x * 4:5 + x * 4])
    return width, height, pixels


def decode_dib(data):
    (size, width, height, planes, bits, compression, _image, _xppm, _yppm,
     _used, _important) = struct.unpack("<IiiHHIIiiII", data[:40])
    assert (size, planes, bits, compression) == (40, 1, 32, 0)
    assert height == 2 * width, "height counts colour image and mask"
    mask_stride = (width + 31) // 32 * 4
    assert len(data) == 40 + width * width * 4 + mask_stride * width
    colour = data[40:40 + width * width * 4]
    mask = data[40 + width * width * 4:]
    pixels, masked = {}, {}
    for row in range(width):
        y = width - 1 - row  # bottom-up
        for x in range(width):
            b, g, r, a = colour[(row * width + x) * 4:(row * width + x) * 4 + 4]
            pixels[x, y] = (r, g, b, a)
            masked[x, y] = bool(mask[row * mask_stride + x // 8] & (0x80 >> (x % 8)))
        padding = mask[row * mask_stride:(row + 1) * mask_stride]
        for x in range(width, mask_stride * 8):
            assert not padding[x // 8] & (0x80 >> (x % 8)), "padding bits are clear"
    return width, pixels, masked


def read_icon(data):
    reserved, kind, count = struct.unpack("<HHH", data[:6])
    assert (reserved, kind) == (0, 1)
    entries = []
    for i in range(count):
        w, h, colours, res, planes, bits, length, offset = struct.unpack(
            "<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
        entries.append(dict(width=w or 256, height=h or 256, colours=colours,
                            reserved=res, planes=planes, bits=bits,
                            data=data[offset:offset + length], offset=offset,
                            length=length))
    return entries


class MakeIconTest(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)
        self.convert = os.path.join(self.dir.name, "fake-convert")
        with open(self.convert, "w") as f:
            f.write(FAKE_CONVERT.replace("{python}", sys.executable).replace("{pattern}", PATTERN))
        os.chmod(self.convert, os.stat(self.convert).st_mode | stat.S_IXUSR)
        self.output = os.path.join(self.dir.name, "out.ico")

    def make(self, mode=""):
        env = dict(os.environ, FAKE_CONVERT_MODE=mode)
        return subprocess.run(
            [sys.executable, MAKE_ICON, "drawing.svg", self.output, "--convert", self.convert],
            env=env, capture_output=True, timeout=120)

    def test_directory_lists_nine_32bit_images_back_to_back(self):
        self.assertEqual(self.make().returncode, 0)
        with open(self.output, "rb") as f:
            data = f.read()
        entries = read_icon(data)
        self.assertEqual([e["width"] for e in entries], SIZES)
        for e in entries:
            with self.subTest(size=e["width"]):
                self.assertEqual(e["height"], e["width"])
                self.assertEqual((e["colours"], e["reserved"], e["planes"], e["bits"]), (0, 0, 1, 32))
        # Images follow the directory without gaps or overlaps, to the end.
        at = 6 + 16 * len(entries)
        for e in entries:
            self.assertEqual(e["offset"], at)
            at += e["length"]
        self.assertEqual(at, len(data))

    def test_every_image_holds_the_rendered_pixels(self):
        self.assertEqual(self.make().returncode, 0)
        with open(self.output, "rb") as f:
            entries = read_icon(f.read())
        for e in entries:
            size = e["width"]
            with self.subTest(size=size):
                expected = {(x, y): expected_pixel(x, y) for y in range(size) for x in range(size)}
                if size == 256:
                    width, height, pixels = decode_png(e["data"])
                    self.assertEqual((width, height), (256, 256))
                    self.assertEqual(pixels, expected)
                else:
                    width, pixels, masked = decode_dib(e["data"])
                    self.assertEqual(width, size)
                    self.assertEqual(pixels, expected)
                    self.assertEqual(masked, {p: v[3] == 0 for p, v in expected.items()})

    def test_same_drawing_gives_the_same_bytes(self):
        self.assertEqual(self.make().returncode, 0)
        with open(self.output, "rb") as f:
            first = f.read()
        os.remove(self.output)
        self.assertEqual(self.make().returncode, 0)
        with open(self.output, "rb") as f:
            self.assertEqual(f.read(), first)

    def test_a_renderer_fault_fails_without_leaving_an_icon(self):
        for mode in ("fail", "short"):
            with self.subTest(mode=mode):
                result = self.make(mode)
                self.assertNotEqual(result.returncode, 0)
                self.assertEqual(os.listdir(self.dir.name), ["fake-convert"])


if __name__ == "__main__":
    unittest.main()
