#!/usr/bin/env python3
"""Writes small seeds of the artwork formats into the picture fuzzer's corpus:
an SVG, a one-page PDF, a Photoshop file, a TIFF, each built byte by byte
here, and a WebP made by ImageMagick's convert when it is there."""
import os
import shutil
import struct
import subprocess
import sys

folder = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "corpus_picture")


def write(name, data):
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


write("tiny.svg", b'<?xml version="1.0"?>\n<svg xmlns="http://www.w3.org/2000/svg" width="8" height="6">'
      b'<rect x="1" y="1" width="4" height="3" fill="#c02020"/><circle cx="6" cy="3" r="2" fill="blue"/></svg>')

objects = [b"<< /Type /Catalog /Pages 2 0 R >>", b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
           b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 20 30] /Contents 4 0 R >>"]
stream = b"1 0 0 rg 2 2 10 10 re f"
objects.append(b"<< /Length %d >>\nstream\n" % len(stream) + stream + b"\nendstream")
pdf = b"%PDF-1.4\n"
offsets = []
for number, body in enumerate(objects, 1):
    offsets.append(len(pdf))
    pdf += b"%d 0 obj\n" % number + body + b"\nendobj\n"
xref = len(pdf)
pdf += b"xref\n0 %d\n0000000000 65535 f \n" % (len(objects) + 1)
pdf += b"".join(b"%010d 00000 n \n" % at for at in offsets)
pdf += b"trailer\n<< /Size %d /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (len(objects) + 1, xref)
write("tiny.pdf", pdf)

width, height = 4, 3
pixels = [(40 * x, 60 * y, 200 - 30 * x) for y in range(height) for x in range(width)]
psd = b"8BPS" + struct.pack(">H6xHIIHH", 1, 3, height, width, 8, 3) + struct.pack(">III", 0, 0, 0)
psd += struct.pack(">H", 0) + bytes(p[c] for c in range(3) for p in pixels)
write("tiny.psd", psd)

# A baseline TIFF: little-endian, uncompressed RGB, one strip.
data = bytes(v for p in pixels for v in p)
entries = [(256, 3, 1, width), (257, 3, 1, height), (258, 3, 3, 8 + 2 + 12 * 10 + 4 + len(data)),
           (259, 3, 1, 1), (262, 3, 1, 2), (273, 4, 1, 8), (277, 3, 1, 3), (278, 3, 1, height),
           (279, 4, 1, len(data)), (284, 3, 1, 1)]
ifd = 8 + len(data)
tiff = b"II*\x00" + struct.pack("<I", ifd) + data + struct.pack("<H", len(entries))
for tag, kind, count, value in entries:
    tiff += struct.pack("<HHII", tag, kind, count, value) if kind == 4 or count > 1 else struct.pack("<HHIHH", tag, kind, count, value, 0)
tiff += struct.pack("<I", 0) + struct.pack("<HHH", 8, 8, 8)
write("tiny.tiff", tiff)

if shutil.which("convert"):
    subprocess.run(["convert", os.path.join(folder, "tiny.tiff"), os.path.join(folder, "tiny.webp")], check=True)
