"""Writes a corpus of varied image files with several independent writers,
decodes each with Lumora (lumora-decodeone) and with ImageMagick, and
compares the pictures.

    /usr/bin/python3 bench/decode-corpus.py <build-dir> [work-dir]

Writers: ImageMagick convert, GraphicsMagick gm, Pillow, netpbm, libtiff's
tiffcp/tiffcrop, the metafile writers in scripts/metafiles.py, and a few
headers put together here. Each decode runs in its own process with a
timeout; its peak memory is measured. Classes printed at the end:
  match      both open, same size, RMSE < 2 % (both flattened on grey)
  mismatch   both open, pictures differ
  refused    ImageMagick opens it, Lumora does not
  im-refused Lumora opens it, ImageMagick does not
  both-refused, crash, timeout, over-1GiB
"""

import math
import os
import struct
import subprocess
import sys
import tempfile
from collections import Counter, defaultdict

from PIL import Image, ImageChops, ImageStat

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "scripts"))
import metafiles as mf  # noqa: E402

TIMEOUT = 30
MEMORY_LIMIT_KB = 1 << 20


def run(args, out=None):
    try:
        r = subprocess.run(args, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=120)
    except (OSError, subprocess.TimeoutExpired):
        return False
    if out and r.returncode == 0:
        with open(out, "wb") as f:
            f.write(r.stdout)
    return r.returncode == 0


def sources(d):
    """A handful of pictures: a photo, a drawing, a gradient, one with alpha."""
    made = {}
    recipes = {
        "rose": ["rose:"],
        "logo": ["logo:", "-resize", "97x73!"],
        "plasma": ["-seed", "7", "-size", "61x37", "plasma:red-blue"],
        "alpha": ["-size", "33x21", "gradient:#ff000080-#0000ffff"],
        "tiny": ["-size", "3x2", "xc:#30c060"],
        "wide": ["-size", "257x5", "gradient:yellow-purple"],
    }
    for name, recipe in recipes.items():
        p = os.path.join(d, "src-" + name + ".png")
        run(["convert"] + recipe + ["-depth", "8", p])
        made[name] = p
    return made


def generate(src, out):
    files = []

    def add(path, ok):
        if ok and os.path.exists(path) and os.path.getsize(path) > 0:
            files.append(path)

    def im(name, stem, ext, args, coder=""):
        p = os.path.join(out, "im-%s-%s.%s" % (stem, name, ext))
        add(p, run(["convert", src[stem]] + args + [(coder + ":" if coder else "") + p]))

    def gm(name, stem, ext, args, coder=""):
        p = os.path.join(out, "gm-%s-%s.%s" % (stem, name, ext))
        add(p, run(["gm", "convert", src[stem]] + args + [(coder + ":" if coder else "") + p]))

    photo = ["rose", "logo", "plasma", "tiny", "wide"]
    every = photo + ["alpha"]
    im_variants = {
        "jpg": [("q90", [], ""), ("q30", ["-quality", "30"], ""), ("gray", ["-colorspace", "Gray"], ""),
                ("prog", ["-interlace", "Plane"], ""), ("444", ["-sampling-factor", "1x1"], ""),
                ("cmyk", ["-colorspace", "CMYK"], "")],
        "gif": [("plain", [], ""), ("interlaced", ["-interlace", "GIF"], ""), ("few", ["-colors", "5"], "")],
        "bmp": [("v5", [], ""), ("v3", [], "BMP3"), ("v2", [], "BMP2"), ("rle", ["-type", "Palette", "-compress", "RLE"], "BMP3"),
                ("pal", ["-type", "Palette"], "BMP3"), ("gray", ["-type", "Grayscale"], "BMP3"),
                ("mono", ["-monochrome"], "BMP3"), ("565", ["-define", "bmp:subtype=RGB565"], ""),
                ("555", ["-define", "bmp:subtype=RGB555"], ""), ("4444", ["-alpha", "on", "-define", "bmp:subtype=ARGB4444"], ""),
                ("1555", ["-alpha", "on", "-define", "bmp:subtype=ARGB1555"], "")],
        "png": [("rgb", [], ""), ("16", ["-depth", "16"], "PNG48"), ("64", ["-depth", "16"], "PNG64"), ("pal", [], "PNG8"), ("gray", ["-colorspace", "Gray"], ""),
                ("interlaced", ["-interlace", "PNG"], "")],
        "psd": [("rgb", [], ""), ("gray", ["-colorspace", "Gray"], ""), ("rle", ["-compress", "RLE"], "")],
        "tif": [("none", [], ""), ("lzw", ["-compress", "LZW"], ""), ("zip", ["-compress", "Zip"], ""),
                ("jpeg", ["-compress", "JPEG"], ""), ("planar", ["-interlace", "Plane"], ""),
                ("16", ["-depth", "16"], ""), ("16planar", ["-depth", "16", "-interlace", "Plane"], ""),
                ("gray", ["-colorspace", "Gray"], ""), ("pal", ["-type", "Palette"], ""),
                ("cmyk", ["-colorspace", "CMYK"], ""), ("cmykjpeg", ["-colorspace", "CMYK", "-compress", "JPEG"], ""),
                ("mono", ["-monochrome", "-compress", "Group4"], ""), ("float", ["-depth", "32", "-define", "quantum:format=floating-point"], ""),
                ("12", ["-depth", "12"], ""),
                ("16tiledplanar", ["-depth", "16", "-interlace", "Plane", "-define", "tiff:tile-geometry=16x16"], ""),
                ("assoc", ["-define", "tiff:alpha=associated"], "")],
        "pcx": [("rgb", [], ""), ("pal", ["-type", "Palette"], ""), ("mono", ["-monochrome"], "")],
        "tga": [("top", ["-orient", "TopLeft"], ""), ("bottom", ["-orient", "BottomLeft", "-flip"], ""),
                ("rle", ["-orient", "TopLeft", "-compress", "RLE"], ""), ("pal", ["-orient", "TopLeft", "-type", "Palette"], ""),
                ("gray", ["-orient", "TopLeft", "-colorspace", "Gray"], "")],
        "wbmp": [("mono", [], "")],
        "ico": [("plain", ["-resize", "48x48!"], ""), ("pal", ["-resize", "32x32!", "-type", "Palette"], "")],
        "cur": [("plain", ["-resize", "32x32!"], "CUR")],
        "pcd": [("base", ["-resize", "768x512!"], "")],
    }
    for ext, variants in im_variants.items():
        for name, args, coder in variants:
            for stem in (every if ext in ("png", "tif", "bmp", "psd", "tga", "ico", "gif") else photo):
                if ext == "pcd" and stem not in ("rose", "logo"):
                    continue
                im(name, stem, ext, args, coder)

    gm_variants = {
        "jpg": [("q75", []), ("gray", ["-colorspace", "Gray"])],
        "gif": [("plain", [])],
        "bmp": [("plain", []), ("pal", ["-type", "Palette"]), ("gray", ["-type", "Grayscale"])],
        "png": [("plain", []), ("16", ["-depth", "16"])],
        "tif": [("plain", []), ("lzw", ["-compress", "LZW"]), ("16", ["-depth", "16"]), ("12", ["-depth", "12"]),
                ("planar", ["-interlace", "Plane"]), ("jpeg", ["-compress", "JPEG"])],
        "pcx": [("plain", [])],
        "tga": [("plain", []), ("pal", ["-type", "Palette"])],
        "wbmp": [("plain", [])],
        "psd": [("plain", [])],
    }
    for ext, variants in gm_variants.items():
        for name, args in variants:
            for stem in every:
                gm(name, stem, ext, args)

    # Pillow, in this process.
    for stem in every:
        base = Image.open(src[stem])
        rgb = base.convert("RGB")
        rgba = base.convert("RGBA")
        saves = [
            ("jpg", rgb, {}), ("jpg", rgb.convert("L"), {"quality": 40}), ("jpg", rgb.convert("CMYK"), {}),
            ("gif", rgb.quantize(64), {}), ("bmp", rgb, {}), ("bmp", rgba, {}), ("bmp", rgb.quantize(16), {}),
            ("bmp", rgb.convert("1"), {}), ("bmp", rgb.convert("L"), {}),
            ("png", rgba, {}), ("png", rgb.convert("L").convert("I"), {}), ("png", rgb.quantize(8), {}),
            ("tif", rgb, {}), ("tif", rgba, {"compression": "tiff_lzw"}), ("tif", rgb, {"compression": "tiff_adobe_deflate"}),
            ("tif", rgb, {"compression": "jpeg"}), ("tif", rgb.convert("CMYK"), {}), ("tif", rgb.convert("L"), {"compression": "packbits"}),
            ("tif", rgb.convert("1"), {"compression": "group4"}), ("tif", rgb.convert("L").convert("I"), {}),
            ("tif", rgb.quantize(16), {}),
            ("pcx", rgb, {}), ("pcx", rgb.quantize(16), {}), ("tga", rgb, {}), ("tga", rgba, {"compression": "tga_rle"}),
            ("tga", rgb, {"orientation": 1}), ("tga", rgb.quantize(32), {"compression": "tga_rle"}),
            ("ico", rgba, {"sizes": [(32, 32)]}), ("dib", rgb, {}), ("dib", rgb.quantize(16), {}),
        ]
        for i, (ext, image, opts) in enumerate(saves):
            p = os.path.join(out, "pil-%s-%d.%s" % (stem, i, ext))
            try:
                image.save(p, format="DIB" if ext == "dib" else None, **opts)
                add(p, True)
            except Exception:
                pass

    # netpbm and libtiff's tools from PPM/PAM copies.
    for stem in photo:
        ppm = os.path.join(out, "src-%s.ppm" % stem)
        Image.open(src[stem]).convert("RGB").save(ppm)
        few = os.path.join(out, "src-%s-few.ppm" % stem)
        Image.open(src[stem]).convert("RGB").quantize(12).convert("RGB").save(few)
        pbm = os.path.join(out, "src-%s.pbm" % stem)
        Image.open(src[stem]).convert("1").save(pbm)
        for name, args in [("24", ["ppmtobmp", "-bpp", "24", ppm]), ("8", ["ppmtobmp", "-bpp", "8", few]),
                           ("4", ["ppmtobmp", "-bpp", "4", few]), ("os2", ["ppmtobmp", "-os2", ppm]),
                           ("os2-4", ["ppmtobmp", "-os2", "-bpp", "4", few]), ("1", ["ppmtobmp", pbm])]:
            p = os.path.join(out, "netpbm-%s-%s.bmp" % (stem, name))
            add(p, run(args, p))
        for name, args in [("rgb", ["ppmtotga", "-rgb", ppm]), ("norle", ["ppmtotga", "-rgb", "-norle", ppm]),
                           ("cmap", ["ppmtotga", "-cmap", few])]:
            p = os.path.join(out, "netpbm-%s-%s.tga" % (stem, name))
            add(p, run(args, p))
        for name, args in [("rgb", ["ppmtopcx", ppm]), ("pal", ["ppmtopcx", few]), ("8", ["ppmtopcx", "-8bit", few])]:
            p = os.path.join(out, "netpbm-%s-%s.pcx" % (stem, name))
            add(p, run(args, p))
        for name, args in [("none", ["pnmtotiff", ppm]), ("lzw", ["pnmtotiff", "-lzw", ppm]),
                           ("flate", ["pnmtotiff", "-flate", ppm]), ("g4", ["pnmtotiff", "-g4", pbm]),
                           ("msb", ["pnmtotiff", "-msb2lsb", pbm])]:
            p = os.path.join(out, "netpbm-%s-%s.tif" % (stem, name))
            add(p, run(args, p))
        p = os.path.join(out, "netpbm-%s.wbmp" % stem)
        add(p, run(["pbmtowbmp", pbm], p))
        p = os.path.join(out, "netpbm-%s.png" % stem)
        add(p, run(["pnmtopng", ppm], p))
        p = os.path.join(out, "netpbm-%s.jpg" % stem)
        add(p, run(["pnmtojpeg", ppm], p))
        p = os.path.join(out, "netpbm-%s.ico" % stem)
        small = os.path.join(out, "src-%s-32.ppm" % stem)
        Image.open(src[stem]).convert("RGB").resize((32, 32)).save(small)
        add(p, run(["ppmtowinicon", "-output", p, small]))
        plain = os.path.join(out, "netpbm-%s-none.tif" % stem)
        for name, args in [("tiled", ["-t", "-w", "16", "-l", "16"]), ("separate", ["-p", "separate"]),
                           ("lzw-pred", ["-c", "lzw:2"]), ("zip", ["-c", "zip"]), ("jpeg", ["-c", "jpeg"]),
                           ("packbits", ["-c", "packbits"]), ("strips", ["-r", "3"])]:
            p = os.path.join(out, "tiffcp-%s-%s.tif" % (stem, name))
            add(p, run(["tiffcp"] + args + [plain, p]))
        # tiffcp tiles only uncompressed strips and changes the planar layout
        # of 8-bit files only: its 16-bit sources are uncompressed, one chunky
        # and one planar.
        chunky16 = os.path.join(out, "src-%s-16.tif" % stem)
        planar16 = os.path.join(out, "src-%s-16planar.tif" % stem)
        if (run(["convert", src[stem], "-depth", "16", "-compress", "None", chunky16]) and
                run(["convert", src[stem], "-depth", "16", "-interlace", "Plane", "-compress", "None", planar16])):
            for name, source, args in [("16tiled", chunky16, ["-t", "-w", "16", "-l", "16"]),
                                       ("16separate", planar16, ["-c", "lzw"]),
                                       ("16tiledsep", planar16, ["-t", "-w", "16", "-l", "16"])]:
                p = os.path.join(out, "tiffcp-%s-%s.tif" % (stem, name))
                add(p, run(["tiffcp"] + args + [source, p]))
        p = os.path.join(out, "tiffcrop-%s-rot.tif" % stem)
        add(p, run(["tiffcrop", "-R", "90", plain, p]))

    # Metafiles: one bitmap each, from our metafile writers.
    for stem in photo:
        image = Image.open(src[stem]).convert("RGB")
        w, h = image.size
        raw = image.tobytes("raw", "BGR")
        for kind, writer in (("wmf", mf.WmfWriter), ("emf", mf.EmfWriter)):
            m = writer(w, h)
            m.stretch_dib(0, 0, w, h, w, h, raw)
            p = os.path.join(out, "mf-%s.%s" % (stem, kind))
            with open(p, "wb") as f:
                f.write(m.data())
            add(p, True)

    files += handmade(out)
    return files


def bmp_file(info, palette, pixels):
    off = 14 + len(info) + len(palette)
    return b"BM" + struct.pack("<IHHI", off + len(pixels), 0, 0, off) + info + palette + pixels


def handmade(out):
    """Headers no tool here writes: top-down, bit fields, 2-bit, RLE24, OS/2 2.x."""
    made = []
    w, h = 13, 7
    def info(size, width, height, bits, comp, colors=0, masks=b""):
        b = struct.pack("<IiiHHIIiiII", size, width, height, 1, bits, comp, 0, 2835, 2835, colors, 0)
        return (b + masks + b"\0" * 64)[:size] if size > 40 else b + masks
    def rows(bits, value, top_down):
        stride = (w * bits + 31) // 32 * 4
        data = b""
        for r in range(h):
            y = r if top_down else h - 1 - r
            row = bytearray(stride)
            for x in range(w):
                v = value(x, y)
                if bits < 8:
                    bit = x * bits
                    row[bit // 8] |= v << (8 - bits - bit % 8)
                else:
                    row[x * bits // 8:(x + 1) * bits // 8] = v.to_bytes(bits // 8, "little")
            data += bytes(row)
        return data
    pal = b"".join(struct.pack("<BBBB", (i * 37) % 256, (i * 91) % 256, (i * 53) % 256, 0) for i in range(256))
    files = {}
    for bits in (1, 2, 4, 8):
        n = 1 << bits
        val = lambda x, y, n=n: (x + 2 * y) % n
        files["td-%d" % bits] = bmp_file(info(40, w, -h, bits, 0), pal[:4 * n], rows(bits, val, True))
        files["long-pal-%d" % bits] = bmp_file(info(40, w, h, bits, 0, 256), pal, rows(bits, val, False))
    rgb = lambda x, y: ((x * 19) % 256) << 16 | ((y * 33) % 256) << 8 | ((x * y * 7) % 256)
    for bits in (16, 24, 32):
        files["td-%d" % bits] = bmp_file(info(40, w, -h, bits, 0), b"", rows(bits, (lambda x, y: (x * 2) << 10 | y * 4) if bits == 16 else rgb, True))
    for name, bits, masks in [("bf565", 16, (0xF800, 0x7E0, 0x1F, 0)), ("bf444", 16, (0xF00, 0xF0, 0xF, 0xF000)),
                              ("bf11-11-10", 32, (0xFFE00000, 0x1FFC00, 0x3FF, 0)), ("bf8888", 32, (0xFF0000, 0xFF00, 0xFF, 0xFF000000))]:
        val = lambda x, y: (x * 997 + y * 7919 + 0x80000000) & ((1 << bits) - 1) | (0xFF000000 if bits == 32 and masks[3] else 0)
        m = struct.pack("<IIII", *masks)
        files[name + "-v3"] = bmp_file(info(40, w, h, bits, 3, 0, m[:12]), b"", rows(bits, val, False))
        files[name + "-v4"] = bmp_file(info(108, w, h, bits, 3, 0, m), b"", rows(bits, val, False))
        files[name + "-v5-td"] = bmp_file(info(124, w, -h, bits, 3, 0, m), b"", rows(bits, val, True))
    rle = b""
    for r in range(h):
        rle += bytes([6, 10, 200, 30, 7, 240, 20, 90, 0, 0])
    files["os2-rle24"] = bmp_file(info(64, w, h, 24, 4), b"", rle + b"\0\1")
    files["os2v2-8"] = bmp_file(info(64, w, h, 8, 0), pal, rows(8, lambda x, y: x * y % 256, False))
    for name, data in files.items():
        p = os.path.join(out, "hand-%s.bmp" % name)
        with open(p, "wb") as f:
            f.write(data)
        made.append(p)
    return made


def flatten(path):
    image = Image.open(path)
    image.load()
    image = image.convert("RGBA")
    grey = Image.new("RGBA", image.size, (128, 128, 128, 255))
    return Image.alpha_composite(grey, image).convert("RGB")


def rmse_percent(a, b):
    diff = ImageChops.difference(a, b)
    rms = ImageStat.Stat(diff).rms
    return math.sqrt(sum(x * x for x in rms) / len(rms)) / 255 * 100


def decode_lumora(tool, path, png):
    try:
        r = subprocess.run(["/usr/bin/time", "-f", "MAXRSS %M", tool, path, png], stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        return "timeout", 0
    err = r.stderr.decode(errors="replace")
    rss = 0
    for line in err.splitlines():
        if line.startswith("MAXRSS"):
            rss = int(line.split()[1])
    if r.returncode != 0 or "Command terminated" in err:
        return "crash", rss
    if rss > MEMORY_LIMIT_KB:
        return "over-1GiB", rss
    return ("open" if r.stdout.startswith(b"OPEN") else "refused"), rss


def decode_magick(path, png):
    try:
        r = subprocess.run(["convert", path + "[0]", "-auto-orient", "-colorspace", "sRGB", "-depth", "8", "PNG:" + png],
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        return False
    return r.returncode == 0 and os.path.exists(png)


def main():
    build = sys.argv[1] if len(sys.argv) > 1 else "build"
    tool = os.path.join(build, "bin", "lumora-decodeone")
    if not os.access(tool, os.X_OK):
        sys.exit("no %s: build the lumora-decodeone target first" % tool)
    work = sys.argv[2] if len(sys.argv) > 2 and sys.argv[2] else tempfile.mkdtemp(prefix="lumora-corpus-")
    corpus = os.path.join(work, "corpus")
    os.makedirs(corpus, exist_ok=True)
    files = generate(sources(work), corpus)
    files = [f for f in files if not os.path.basename(f).startswith("src-")]
    print("corpus: %d files in %s" % (len(files), corpus))
    classes = Counter()
    by_type = defaultdict(Counter)
    notes = []
    peak = 0
    for path in sorted(files):
        ext = os.path.splitext(path)[1][1:]
        ours = os.path.join(work, "ours.png")
        ref = os.path.join(work, "ref.png")
        for p in (ours, ref):
            if os.path.exists(p):
                os.remove(p)
        state, rss = decode_lumora(tool, path, ours)
        peak = max(peak, rss)
        magick = decode_magick(path, ref)
        if state in ("timeout", "crash", "over-1GiB"):
            cls = state
        elif state == "open" and magick:
            a, b = flatten(ours), flatten(ref)
            if a.size != b.size:
                cls = "mismatch"
                notes.append("%s: size %s, ImageMagick %s" % (os.path.basename(path), a.size, b.size))
            else:
                e = rmse_percent(a, b)
                cls = "match" if e < 2 else "mismatch"
                if cls == "mismatch":
                    notes.append("%s: RMSE %.1f %%" % (os.path.basename(path), e))
        elif state == "open":
            cls = "im-refused"
            notes.append("%s: ImageMagick refuses" % os.path.basename(path))
        elif magick:
            cls = "refused"
            notes.append("%s: Lumora refuses" % os.path.basename(path))
        else:
            cls = "both-refused"
        classes[cls] += 1
        by_type[ext][cls] += 1
    order = ["match", "mismatch", "refused", "im-refused", "both-refused", "crash", "timeout", "over-1GiB"]
    print("%-6s %s" % ("type", " ".join("%12s" % c for c in order)))
    for ext in sorted(by_type):
        print("%-6s %s" % (ext, " ".join("%12d" % by_type[ext][c] for c in order)))
    print("%-6s %s" % ("all", " ".join("%12d" % classes[c] for c in order)))
    print("peak memory of one decode: %d MiB" % (peak // 1024))
    for n in notes:
        print("  " + n)


if __name__ == "__main__":
    main()
