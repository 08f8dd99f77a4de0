#!/usr/bin/python3
"""Hands a sample of the metafiles the encode fuzzer made to readers outside
the program: ImageMagick and wmf2gd (libwmf) for WMF, emf2svg-conv for EMF.

    /usr/bin/python3 fuzz/check-metafiles.py [build-dir] [sample size]

The sample is drawn (with a fixed seed) from <build-dir>/fuzz-corpus/encode;
each input is saved as WMF and EMF through the program's file-writing path
(the fuzz target with LUMORA_FUZZ_SAVE_DIR). The bitmap each file holds is
taken out here with a parser of its own; then
  - ImageMagick at 96 dpi must draw the WMF at its placeable size with
    exactly those pixels,
  - wmf2gd must draw it at that size,
  - emf2svg-conv must give an SVG of the EMF's size holding an image for
    each bitmap record, at its place, with exactly its pixels.
Prints the counts and every disagreement; exits 1 if there was one."""

import base64
import io
import os
import random
import re
import struct
import subprocess
import sys
import tempfile

from PIL import Image

# ImageMagick's policy refuses longer sides (Debian: 16K pixels).
MAGICK_MAX_SIDE = 16384


def dib_rows(data, at):
    """A bottom-up 24-bit BITMAPINFOHEADER DIB at `at` as (w, h, RGB bytes top row first)."""
    size, w, h, planes, bits, compression = struct.unpack_from("<IiiHHI", data, at)
    if size != 40 or planes != 1 or bits != 24 or compression != 0 or w <= 0 or h == 0:
        raise ValueError(f"DIB header {size} {w}x{h} planes {planes} bits {bits} compression {compression}")
    stride = (w * 3 + 3) & ~3
    rows = []
    for r in range(abs(h)):
        start = at + 40 + r * stride
        row = data[start:start + w * 3]
        if len(row) != w * 3:
            raise ValueError("DIB rows run past the file")
        rgb = bytearray(w * 3)
        rgb[0::3], rgb[1::3], rgb[2::3] = row[2::3], row[1::3], row[0::3]
        rows.append(bytes(rgb))
    if h > 0:
        rows.reverse()
    return w, abs(h), b"".join(rows)


def wmf_bitmap(data):
    key, = struct.unpack_from("<I", data, 0)
    if key != 0x9AC6CDD7:
        raise ValueError("no placeable header")
    left, top, right, bottom, inch = struct.unpack_from("<hhhhH", data, 6)
    pos = 22 + 18
    while pos + 6 <= len(data):
        words, function = struct.unpack_from("<IH", data, pos)
        if function == 0x0F43:
            return (right - left, bottom - top), dib_rows(data, pos + 28)
        if function == 0 or words < 3:
            break
        pos += words * 2
    raise ValueError("no bitmap record")


def emf_bitmaps(data):
    """The EMF's size from its frame and its bitmap records as (x, y, w, h, RGB)."""
    frame = struct.unpack_from("<iiii", data, 24)
    dev = struct.unpack_from("<ii", data, 72)
    mm = struct.unpack_from("<ii", data, 80)
    size = (round((frame[2] - frame[0]) * dev[0] / (mm[0] * 100.0)),
            round((frame[3] - frame[1]) * dev[1] / (mm[1] * 100.0)))
    tiles = []
    pos = 0
    while pos + 8 <= len(data):
        kind, n = struct.unpack_from("<II", data, pos)
        if kind == 81:  # EMR_STRETCHDIBITS
            x, y = struct.unpack_from("<ii", data, pos + 24)
            off_bmi, = struct.unpack_from("<I", data, pos + 48)
            tiles.append((x, y) + dib_rows(data, pos + off_bmi))
        if kind == 14 or n < 8:
            break
        pos += n
    if not tiles:
        raise ValueError("no bitmap record")
    return size, tiles


def compose(size, tiles):
    """Tiles (x, y, w, h, RGB bytes) drawn 1:1 on white."""
    canvas = Image.new("RGB", size, (255, 255, 255))
    for x, y, w, h, rgb in tiles:
        canvas.paste(Image.frombytes("RGB", (w, h), rgb), (x, y))
    return canvas.tobytes()


def run(args, **kw):
    return subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300, **kw)


def check_wmf(path, tmp):
    data = open(path, "rb").read()
    box, (w, h, rgb) = wmf_bitmap(data)
    if box != (w, h):
        # A side of one pixel is stored twice over and drawn into that pixel.
        if not all(b == s or (b == 1 and s == 2) for b, s in zip(box, (w, h))):
            return f"placeable box {box} for a {w}x{h} bitmap"
        bitmap = Image.frombytes("RGB", (w, h), rgb)
        first = bitmap.crop((0, 0) + box)
        for dx in range(w // box[0]):
            for dy in range(h // box[1]):
                if bitmap.crop((dx, dy, dx + box[0], dy + box[1])).tobytes() != first.tobytes():
                    return "the stored copies of a one-pixel side differ"
        (w, h), rgb = box, first.tobytes()
    if max(w, h) <= MAGICK_MAX_SIDE:
        r = run(["convert", "-density", "96", path, "-depth", "8", "rgb:-"])
        if r.returncode != 0:
            return "ImageMagick: " + r.stderr.decode(errors="replace").strip()
        if r.stdout != rgb:
            got = len(r.stdout) // 3
            return f"ImageMagick draws other pixels ({got} pixels for {w * h})"
    png = os.path.join(tmp, "gd.png")
    r = run(["wmf2gd", "-t", "png", "-o", png, f"--maxwidth={w}", f"--maxheight={h}", "--maxsize", path])
    if r.returncode != 0 or not os.path.exists(png):
        return "wmf2gd: " + r.stderr.decode(errors="replace").strip()
    with Image.open(png) as im:
        if im.size != (w, h):
            return f"wmf2gd draws {im.size[0]}x{im.size[1]}"
    os.unlink(png)
    return None


def check_emf(path, tmp):
    data = open(path, "rb").read()
    size, tiles = emf_bitmaps(data)
    w, h = size
    rgb = compose(size, tiles)
    svg = os.path.join(tmp, "out.svg")
    r = run(["emf2svg-conv", "-i", path, "-o", svg])
    if r.returncode != 0 or not os.path.exists(svg):
        return "emf2svg-conv: " + r.stderr.decode(errors="replace").strip()
    text = open(svg, encoding="utf-8", errors="replace").read()
    os.unlink(svg)

    def number(tag, name):
        m = re.search(r'\b%s="([-0-9.eE]+)' % name, tag)
        return float(m.group(1)) if m else None

    root = re.search(r"<svg[^>]*>", text)
    if not root or number(root.group(0), "width") != w or number(root.group(0), "height") != h:
        return "SVG size is not the picture's"
    images = re.findall(r"<image[^>]*>", text)
    if len(images) != len(tiles):
        return f"{len(images)} images in the SVG for {len(tiles)} bitmap records"
    drawn = []
    for tag in images:
        x, y, iw, ih = (number(tag, k) for k in ("x", "y", "width", "height"))
        m = re.search(r'base64,([A-Za-z0-9+/=\s]+)"', tag)
        if not m or None in (x, y, iw, ih) or x != int(x) or y != int(y):
            return "image without a picture or not on whole pixels: " + tag[:200]
        with Image.open(io.BytesIO(base64.b64decode(m.group(1)))) as im:
            if im.size != (iw, ih):
                return f"a {im.size[0]}x{im.size[1]} picture drawn at {iw}x{ih}"
            drawn.append((int(x), int(y), im.size[0], im.size[1], im.convert("RGB").tobytes()))
    if compose(size, drawn) != rgb:
        return "the SVG's pictures have other pixels"
    return None


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build-fuzz"
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 300
    corpus = os.path.join(build, "fuzz-corpus", "encode")
    inputs = sorted(os.listdir(corpus))
    sample = random.Random(1).sample(inputs, min(count, len(inputs)))
    fuzzer = os.path.join(build, "bin", "lumora_fuzz_encode")
    problems = []
    checked = {"wmf": 0, "emf": 0}
    with tempfile.TemporaryDirectory() as tmp:
        saved = os.path.join(tmp, "saved")
        os.mkdir(saved)
        env = dict(os.environ, LUMORA_FUZZ_SAVE_DIR=saved)
        for i in range(0, len(sample), 50):
            batch = [os.path.join(corpus, name) for name in sample[i:i + 50]]
            r = run([fuzzer, *batch], env=env)
            if r.returncode != 0:
                problems.append(("fuzz target", r.stderr.decode(errors="replace")[-2000:]))
        for name in sorted(os.listdir(saved)):
            path = os.path.join(saved, name)
            kind = name.rsplit(".", 1)[1]
            try:
                why = check_wmf(path, tmp) if kind == "wmf" else check_emf(path, tmp)
            except (ValueError, struct.error, subprocess.TimeoutExpired) as e:
                why = str(e)
            checked[kind] += 1
            if why:
                problems.append((name, why))
    print(f"{len(sample)} inputs: {checked['wmf']} WMF and {checked['emf']} EMF files checked, "
          f"{len(problems)} disagreements")
    for name, why in problems:
        print(f"  {name}: {why}")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
