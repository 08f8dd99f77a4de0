#!/usr/bin/env python3
"""Remakes Lumora's bundled resources: sample images, test metafiles, splash,
type icons and the program icon.

The generated files are committed, so a build never runs this script. To remake
them you need ImageMagick 6 and the photographs of Debian's mate-backgrounds
package (apt-get install mate-backgrounds); rsvg-convert (librsvg2-bin) renders the
program icon best. Checking the metafiles by eye is
easiest with wmf2gd (libwmf-bin) and emf2svg-conv (emf2svg).

    scripts/make-samples.py [metafiles|samples|splash|icons|all]
"""

import os
import shutil
import struct
import subprocess
import sys
import tempfile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import metafiles as mf  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RES = os.path.join(ROOT, "resources")
SAMPLES = os.path.join(RES, "samples")
ICONS = os.path.join(RES, "icons")
TESTDATA = os.path.join(ROOT, "tests", "data")
PHOTOS = "/usr/share/backgrounds/mate/nature"


def convert_binary():
    for name in ("convert-im6.q16", "/usr/bin/convert", "convert"):
        path = shutil.which(name)
        if path:
            return path
    sys.exit("ImageMagick's convert is needed")


CONVERT = convert_binary()


def photo(name):
    path = os.path.join(PHOTOS, name)
    if not os.path.exists(path):
        sys.exit("missing %s: apt-get install mate-backgrounds" % path)
    return path


def im(*args):
    subprocess.run([CONVERT, *args], check=True)


def im_bytes(*args):
    return subprocess.run([CONVERT, *args], check=True, stdout=subprocess.PIPE).stdout


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)


# ---------------------------------------------------------------------------
# Metafiles
# ---------------------------------------------------------------------------

class Tools:
    """Selects pens and brushes so that an object is deleted only once another replaced it."""

    def __init__(self, w):
        self.w = w
        self.pen_index = None
        self.brush_index = None

    def pen(self, color, width=1, style=mf.PS_SOLID):
        old, self.pen_index = self.pen_index, self.w.pen(color, width, style)
        if old is not None:
            self.w.delete(old)

    def brush(self, color, style=mf.BS_SOLID):
        old, self.brush_index = self.brush_index, self.w.brush(color, style)
        if old is not None:
            self.w.delete(old)


def draw_landscape(w):
    """A dusk landscape: sky bands, sun, two mountain ranges, a lake, pines, a frame, a title."""
    W, H = w.width, w.height
    horizon = 320
    t = Tools(w)
    w.bk_mode(1)  # transparent text background
    w.poly_fill_mode(2)  # winding
    t.pen(0, style=mf.PS_NULL)
    top, bottom = (28, 38, 86), (247, 164, 96)
    bands = 12
    for i in range(bands):
        k = i / (bands - 1)
        t.brush(mf.rgb(*(round(a + (b - a) * k) for a, b in zip(top, bottom))))
        # A null pen leaves the right and bottom edge unfilled, hence the extra unit.
        w.rectangle(0, i * horizon // bands, W + 1, (i + 1) * horizon // bands + 1)
    t.brush(mf.rgb(252, 196, 120))
    w.ellipse(480, 180, 640, 340)
    t.brush(mf.rgb(255, 232, 160))
    w.ellipse(515, 215, 605, 305)
    t.brush(mf.rgb(122, 86, 128))
    w.polygon([(0, 250), (90, 190), (170, 235), (270, 160), (360, 230), (430, 200),
               (520, 262), (600, 225), (700, 180), (800, 230), (800, 330), (0, 330)])
    t.brush(mf.rgb(58, 46, 84))
    w.polygon([(0, 300), (120, 230), (210, 285), (300, 250), (390, 300), (470, 270),
               (560, 318), (680, 262), (800, 300), (800, 335), (0, 335)])
    t.brush(mf.rgb(44, 58, 104))
    w.rectangle(0, 330, W + 1, H + 1)
    t.pen(mf.rgb(250, 200, 130), width=3)
    for i, (x0, x1) in enumerate([(520, 600), (530, 590), (540, 580), (548, 572), (555, 565)]):
        w.polyline([(x0, 345 + i * 14), (x1, 345 + i * 14)])
    t.pen(mf.rgb(20, 36, 30))
    t.brush(mf.rgb(24, 58, 44))
    # Every shape stays inside the picture: some readers size a WMF by its drawing.
    for x, base, size in [(70, 470, 110), (130, 480, 150), (195, 468, 100), (695, 476, 140), (748, 470, 100)]:
        for k in range(3):
            tip = base - size + k * size // 4
            half = size // 4 + k * size // 10
            w.polygon([(x, tip), (x + half, tip + size // 2), (x - half, tip + size // 2)])
        w.rectangle(x - 4, base, x + 4, base + 12)
    t.pen(mf.rgb(240, 236, 228), width=4)
    t.brush(0, style=mf.BS_NULL)
    w.round_rect(12, 12, W - 12, H - 12, 40, 40)
    return t


def title(w, text_out):
    w.text_color(mf.rgb(250, 246, 238))
    w.text_align(0)  # TA_TOP | TA_LEFT
    w.font(40, "Arial")
    text_out(w, 300, 420, "Lumora")


def vector_wmf():
    w = mf.WmfWriter(800, 500)
    draw_landscape(w)
    title(w, lambda w, x, y, s: w.text_out(x, y, s))
    return w.data()


def vector_emf():
    w = mf.EmfWriter(800, 500)
    draw_landscape(w)
    title(w, lambda w, x, y, s: w.text_out(x, y, s, 24))
    return w.data()


def photo_crop(width, height):
    """BGR bytes, top row first, of a crop of a real photograph."""
    raw = im_bytes(photo("LadyBird.jpg"), "-resize", "%dx%d^" % (width * 2, height * 2),
                   "-gravity", "center", "-crop", "%dx%d+0+0" % (width, height), "+repage",
                   "-depth", "8", "bgr:-")
    assert len(raw) == width * height * 3, len(raw)
    return raw


def bitmap_wmf(raw, width, height):
    w = mf.WmfWriter(width, height)
    w.stretch_dib(0, 0, width, height, width, height, raw)
    return w.data()


def bitmap_emf(raw, width, height):
    w = mf.EmfWriter(width, height)
    w.stretch_dib(0, 0, width, height, width, height, raw)
    return w.data()


def make_metafiles():
    raw_w, raw_h = 402, 251  # odd sizes so row padding is exercised
    raw = photo_crop(raw_w, raw_h)
    files = {
        "vector.wmf": vector_wmf(),
        "vector.emf": vector_emf(),
        "bitmap.wmf": bitmap_wmf(raw, raw_w, raw_h),
        "bitmap.emf": bitmap_emf(raw, raw_w, raw_h),
    }
    sample_names = {
        "vector.wmf": "dusk-landscape.wmf",
        "vector.emf": "dusk-landscape.emf",
        "bitmap.wmf": "ladybird-crop.wmf",
        "bitmap.emf": "ladybird-crop.emf",
    }
    for name, data in files.items():
        list(mf.read_records(data))  # raises on a broken layout
        write(os.path.join(TESTDATA, name), data)
        write(os.path.join(SAMPLES, sample_names[name]), data)


# ---------------------------------------------------------------------------
# Raster samples
# ---------------------------------------------------------------------------

def exif_orientation_jpeg(data, orientation):
    """The JPEG with its APP0/APP1 segments replaced by one EXIF block holding Orientation."""
    assert data[:2] == b"\xff\xd8"
    pos = 2
    while data[pos] == 0xFF and data[pos + 1] in (0xE0, 0xE1):
        pos += 2 + struct.unpack_from(">H", data, pos + 2)[0]
    tiff = b"II*\x00" + struct.pack("<I", 8)
    tiff += struct.pack("<H", 1) + struct.pack("<HHIHH", 0x0112, 3, 1, orientation, 0) + struct.pack("<I", 0)
    payload = b"Exif\x00\x00" + tiff
    return b"\xff\xd8" + b"\xff\xe1" + struct.pack(">H", len(payload) + 2) + payload + data[pos:]


def ico_to_cur(data, hotspot):
    """An ICO turned into a CUR: resource type 2 and the hotspot in place of planes/bit count."""
    reserved, kind, count = struct.unpack_from("<HHH", data)
    assert reserved == 0 and kind == 1
    out = bytearray(data)
    struct.pack_into("<H", out, 2, 2)
    for i in range(count):
        entry = 6 + 16 * i
        size = out[entry] or 256
        x = round(hotspot[0] * size / 32)
        y = round(hotspot[1] * size / 32)
        struct.pack_into("<HH", out, entry + 4, x, y)
    return bytes(out)


def fit(width, height):
    """ImageMagick options that crop a photo to exactly width x height around its centre."""
    return ["-resize", "%dx%d^" % (width, height), "-gravity", "center",
            "-extent", "%dx%d" % (width, height), "+repage"]


def make_samples():
    os.makedirs(SAMPLES, exist_ok=True)
    out = lambda name: os.path.join(SAMPLES, name)  # noqa: E731
    common = ["-strip", "-colorspace", "sRGB"]

    # JPEG family: a baseline JPG, a progressive JPEG, numbered crops that show the
    # natural name order, one name with a blank and accents, and a rotated portrait.
    im(photo("Aqua.jpg"), *common, *fit(1280, 800), "-quality", "86", out("aqua-drop.jpg"))
    im(photo("YellowFlower.jpg"), *common, *fit(1200, 750), "-interlace", "Plane", "-quality", "85",
       out("yellow-flower.jpeg"))
    im(photo("Dune.jpg"), *common, "-gravity", "southwest", "-crop", "800x500+0+0", "+repage",
       "-resize", "800x", "-quality", "84", out("dune-2.jpg"))
    im(photo("Dune.jpg"), *common, "-gravity", "northeast", "-crop", "800x500+0+0", "+repage",
       "-resize", "800x", "-quality", "84", out("dune-10.jpg"))
    im(photo("RainDrops.jpg"), *common, *fit(1024, 640), "-quality", "85", out("rosée du matin.jpg"))
    with tempfile.TemporaryDirectory() as tmp:
        stored = os.path.join(tmp, "stored.jpg")
        # Upright the picture is a portrait; it is stored turned a quarter to the left,
        # and EXIF orientation 6 asks a viewer to turn it back to the right.
        im(photo("TwoWings.jpg"), *common, "-gravity", "center", "-crop", "45%x100%+0+0", "+repage",
           "-resize", "x1000", "-rotate", "-90", "-quality", "85", stored)
        with open(stored, "rb") as f:
            write(out("portrait-rotated.jpg"), exif_orientation_jpeg(f.read(), 6))

    # GIF: a short animation panning over a photo, 256 colours, looping.
    frames = []
    for i in range(5):
        frames += ["(", photo("Garden.jpg"), "-resize", "800x", "-gravity", "northwest",
                   "-crop", "480x320+%d+90" % (i * 80), "+repage", ")"]
    im("-delay", "60", *frames, "-strip", "-loop", "0", "-colors", "128", "-layers", "Optimize",
       out("garden.gif"))

    # Windows bitmaps: a 24-bit BMP and a DIB (the same BMP layout under its other name).
    im(photo("FreshFlower.jpg"), *common, *fit(560, 420), "-type", "TrueColor", "BMP3:" + out("fresh-flower.bmp"))
    im(photo("Blinds.jpg"), *common, *fit(480, 300), "-type", "TrueColor", "BMP3:" + out("leaf-veins.dib"))

    # PNG with a real alpha channel: a round-cornered, softly faded photo.
    with tempfile.TemporaryDirectory() as tmp:
        mask = os.path.join(tmp, "mask.png")
        im("-size", "640x400", "xc:black", "-fill", "white", "-draw", "roundrectangle 20,20 619,379 56,56",
           "-blur", "0x10", mask)
        im(photo("LadyBird.jpg"), *common, *fit(640, 400), mask, "-alpha", "off",
           "-compose", "CopyOpacity", "-composite", "PNG32:" + out("ladybird.png"))

    # PSD: the merged image followed by two layers, the photo and an opaque caption
    # strip placed at an offset. (ImageMagick 6 writes layers with translucent pixels
    # that it cannot read back, so the caption layer is opaque.)
    with tempfile.TemporaryDirectory() as tmp:
        base = os.path.join(tmp, "base.png")
        strip = os.path.join(tmp, "strip.png")
        merged = os.path.join(tmp, "merged.png")
        im(photo("Storm.jpg"), *common, *fit(400, 260), base)
        im("-size", "400x44", "xc:rgb(34,38,48)", "-fill", "rgb(236,232,222)", "-font", "DejaVu-Sans",
           "-pointsize", "20", "-gravity", "center", "-annotate", "+0+0", "Storm over the plain", strip)
        im(base, strip, "-geometry", "+0+216", "-composite", merged)
        im(merged, "(", base, "-set", "label", "Photo", ")",
           "(", strip, "-set", "page", "+0+216", "-set", "label", "Caption", ")",
           "-compress", "RLE", "PSD:" + out("Storm.psd"))

    # TIFF: three pages of different sizes, JPEG-compressed.
    im("(", photo("TwoWings.jpg"), *common, *fit(800, 500), ")",
       "(", photo("Wood.jpg"), *common, *fit(480, 360), ")",
       "(", photo("GreenMeadow.jpg"), *common, *fit(640, 512), ")",
       "-compress", "JPEG", "-quality", "85", "TIFF:" + out("three-pages.tif"))

    im(photo("Wood.jpg"), *common, *fit(440, 330), "PCX:" + out("wood.pcx"))
    im(photo("Dune.jpg"), *common, *fit(512, 320), "-compress", "RLE", "TGA:" + out("Dune.tga"))
    im(photo("Storm.jpg"), *common, *fit(480, 320), "-colorspace", "Gray", "-normalize",
       "-dither", "FloydSteinberg", "-monochrome", "WBMP:" + out("storm-mono.wbmp"))
    im(photo("GreenMeadow.jpg"), *common, *fit(768, 512), "PCD:" + out("meadow.pcd"))

    # Icons: one ICO with six sizes; a cursor with its hotspot on the arrow's tip.
    with tempfile.TemporaryDirectory() as tmp:
        square = os.path.join(tmp, "square.png")
        im(photo("Garden.jpg"), *common, "-gravity", "center", "-crop", "50%x80%+0+0", "+repage",
           *fit(256, 256), square)
        sizes = []
        for n in (16, 24, 32, 48, 64, 256):
            sizes += ["(", square, "-resize", "%dx%d" % (n, n), ")"]
        im(*sizes, "ICO:" + out("blossom.ICO"))
        arrow = os.path.join(tmp, "arrow.png")
        im("-size", "32x32", "xc:none", "-fill", "white", "-stroke", "black", "-strokewidth", "1.2",
           "-draw", "polygon 2,1 2,25 8,19 12,29 16,27 12,18 20,18", arrow)
        ico = os.path.join(tmp, "arrow.ico")
        im("(", arrow, ")", "(", arrow, "-filter", "point", "-resize", "48x48", ")", "ICO:" + ico)
        with open(ico, "rb") as f:
            write(out("pointer.cur"), ico_to_cur(f.read(), (2, 1)))


# ---------------------------------------------------------------------------
# Splash
# ---------------------------------------------------------------------------

def font(*names):
    for name in names:
        for folder in ("/usr/share/fonts/opentype/urw-base35", "/usr/share/fonts/truetype/dejavu"):
            path = os.path.join(folder, name)
            if os.path.exists(path):
                return path
    sys.exit("missing fonts: apt-get install fonts-urw-base35 fonts-dejavu-core")


def make_splash():
    """viewer.spl: a PNG (the program detects the format by content), 480 x 300."""
    light = font("URWGothic-Book.otf", "DejaVuSans-ExtraLight.ttf")
    demi = font("URWGothic-Demi.otf", "DejaVuSans-Bold.ttf")
    with tempfile.TemporaryDirectory() as tmp:
        band = os.path.join(tmp, "band.png")
        # A photograph across the top that fades into the dark panel below.
        im(photo("YellowFlower.jpg"), "-strip", *fit(480, 210), "-modulate", "92,105",
           "(", "-size", "480x210", "gradient:white-black", "-evaluate", "pow", "1.5", ")",
           "-alpha", "off", "-compose", "CopyOpacity", "-composite", band)
        tiles = []
        for name in ("Aqua.jpg", "LadyBird.jpg", "Dune.jpg", "RainDrops.jpg"):
            tiles += ["(", photo(name), "-strip", *fit(44, 30), "+gravity", "-bordercolor", "#5a5f67",
                      "-border", "1", "-bordercolor", "none", "-border", "3x0", ")"]
        strip = os.path.join(tmp, "strip.png")
        im("-background", "none", *tiles, "+append", strip)
        im("-size", "480x300", "gradient:#2a2d33-#141518",
           band, "-geometry", "+0+0", "-composite",
           strip, "-gravity", "southeast", "-geometry", "+19+24", "-composite",
           "-gravity", "northwest",
           "-fill", "#f2efe9", "-font", demi, "-pointsize", "50", "-annotate", "+26+176", "Lumora",
           "-fill", "#4c9be8", "-font", light, "-pointsize", "20", "-annotate", "+30+236", "Version 2.1",
           "-fill", "#a3a7ad", "-pointsize", "13", "-annotate", "+30+262", "Browse and view your pictures",
           "-fill", "none", "-stroke", "#4c9be8", "-strokewidth", "2", "-draw", "line 30,230 170,230",
           "-stroke", "#3b3f45", "-strokewidth", "1", "-draw", "rectangle 0,0 479,299",
           "-strip", "PNG24:" + os.path.join(RES, "viewer.spl"))


# ---------------------------------------------------------------------------
# Icons
# ---------------------------------------------------------------------------

# Icon file -> (label, band colour). The file names are those the associations
# register; jpeg shares jpg.ico, and tla uses icon.ico.
TYPE_ICONS = {
    "jpg.ico": ("JPG", "#e0782f"),
    "gif.ico": ("GIF", "#3f9f5a"),
    "bmp.ico": ("BMP", "#2f7fc8"),
    "dib.ico": ("DIB", "#2a6aa8"),
    "png.ico": ("PNG", "#1f9c9a"),
    "psd.ico": ("PSD", "#25508f"),
    "tif.ico": ("TIF", "#8456b8"),
    "pcx.ico": ("PCX", "#9a6a3c"),
    "tga.ico": ("TGA", "#c84545"),
    "wbmb.ico": ("WBMP", "#5d636b"),
    "wmf.ico": ("WMF", "#b8478a"),
    "emf.ico": ("EMF", "#a03c78"),
    "ico.ico": ("ICO", "#c99a1c"),
    "icon.ico": ("TLA", "#6b7c3a"),
}

PAGE = "M 54,10 L 168,10 L 218,60 L 218,232 Q 218,246 204,246 L 54,246 Q 40,246 40,232 L 40,24 Q 40,10 54,10 Z"


def page_icon(path, label, colour, demi):
    """The 256-pixel master: a page with a folded corner, a small landscape and the type's label."""
    pointsize = 62 if len(label) <= 3 else 48
    im("-size", "256x256", "xc:none",
       "-fill", "rgba(0,0,0,0.25)", "-draw", "translate 4,5 path '%s'" % PAGE, "-channel", "A", "-blur", "0x4",
       "+channel",
       "-fill", "#f5f6f8", "-stroke", "#7d848e", "-strokewidth", "4", "-draw", "path '%s'" % PAGE,
       "-fill", "#d6dae1", "-draw", "path 'M 168,10 L 168,48 Q 168,60 180,60 L 218,60 Z'",
       "-stroke", "none",
       "-fill", "#cfe4f6", "-draw", "roundrectangle 66,72 192,150 8,8",
       "-fill", "#f2b84b", "-draw", "circle 160,96 160,108",
       "-fill", "#6f9d6b", "-draw", "polygon 66,150 104,104 134,134 152,118 192,150",
       "-fill", "#4f7f52", "-draw", "polygon 66,150 88,128 116,150",
       "-fill", colour, "-draw", "roundrectangle 22,166 234,230 12,12",
       "-fill", "white", "-font", demi, "-pointsize", str(pointsize), "-gravity", "north",
       "-annotate", "+0+%d" % (198 - pointsize * 0.48), label,
       path)


def small_page_icon(path, colour):
    """The 16-pixel image: text would be unreadable there, so a page and a colour band only."""
    im("-size", "16x16", "xc:none",
       "-fill", "#f5f6f8", "-stroke", "#7d848e", "-strokewidth", "1",
       "-draw", "polygon 2.5,0.5 10.5,0.5 13.5,3.5 13.5,15.5 2.5,15.5",
       "-fill", "#d6dae1", "-draw", "polygon 10.5,0.5 10.5,3.5 13.5,3.5",
       "-stroke", "none", "-fill", "#6f9d6b", "-draw", "polygon 4,8 6.5,5 9,8",
       "-fill", "#f2b84b", "-draw", "rectangle 9,4 10,5",
       "-fill", colour, "-draw", "rectangle 1,10 14,14",
       path)


LUMORA_SVG = """<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">
  <defs>
    <linearGradient id="tile" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#34383f"/>
      <stop offset="1" stop-color="#17181b"/>
    </linearGradient>
    <linearGradient id="sky" x1="0" y1="0" x2="0" y2="1">
      <stop offset="0" stop-color="#2f6fad"/>
      <stop offset="1" stop-color="#f0a860"/>
    </linearGradient>
  </defs>
  <rect x="8" y="8" width="240" height="240" rx="48" ry="48" fill="url(#tile)"/>
  <rect x="44" y="52" width="168" height="152" rx="14" ry="14" fill="url(#sky)"/>
  <circle cx="164" cy="102" r="22" fill="#ffe6a6"/>
  <polygon points="44,176 98,112 132,150 156,128 212,182 212,190 44,190" fill="#5d4a7e"/>
  <polygon points="44,190 86,150 124,190" fill="#3a2f57"/>
  <rect x="44" y="178" width="168" height="26" fill="#2b3a66"/>
  <rect x="44" y="52" width="168" height="152" rx="14" ry="14" fill="none" stroke="#f2efe9" stroke-width="8"/>
</svg>
"""


def make_icons():
    os.makedirs(ICONS, exist_ok=True)
    demi = font("URWGothic-Demi.otf", "DejaVuSans-Bold.ttf")
    with tempfile.TemporaryDirectory() as tmp:
        for name, (label, colour) in TYPE_ICONS.items():
            master = os.path.join(tmp, "master.png")
            small = os.path.join(tmp, "small.png")
            page_icon(master, label, colour, demi)
            small_page_icon(small, colour)
            im(small,
               "(", master, "-filter", "Lanczos", "-resize", "32x32", "-unsharp", "0x0.6", ")",
               "(", master, "-filter", "Lanczos", "-resize", "48x48", "-unsharp", "0x0.5", ")",
               master, "-depth", "8", "ICO:" + os.path.join(ICONS, name))
    svg = os.path.join(ICONS, "lumora.svg")
    write(svg, LUMORA_SVG.encode())
    png = os.path.join(ICONS, "lumora.png")
    rsvg = shutil.which("rsvg-convert")
    if rsvg:
        subprocess.run([rsvg, "-w", "256", "-h", "256", "-o", png, svg], check=True)
    else:  # ImageMagick's own renderer ignores the gradients
        im("-background", "none", svg, "PNG32:" + png)


STEPS = {
    "metafiles": make_metafiles,
    "samples": make_samples,
    "splash": make_splash,
    "icons": make_icons,
}


def main(argv):
    which = argv[1:] or ["all"]
    for step in which:
        if step == "all":
            for fn in STEPS.values():
                fn()
        elif step in STEPS:
            STEPS[step]()
        else:
            sys.exit("unknown step %s; choose from %s or all" % (step, ", ".join(STEPS)))


if __name__ == "__main__":
    main(sys.argv)
