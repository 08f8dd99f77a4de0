#!/bin/bash
# Rebuilds the full seed corpus of the parser fuzzers (fuzz/parser_fuzz.cpp)
# in <out>/<parser>/, from many writers and from the test images other image
# libraries keep in their repositories. Nothing it makes is committed; the
# small set in fuzz/corpus/<parser> is.
#   bash fuzz/make-seeds.sh [out-dir]        (default build-fuzz/seeds)
# Repositories are cloned shallowly into <out>/.repos unless SEED_REPOS names
# a folder already holding bare or normal clones (owner+name/repo or name).
# Needs: ImageMagick, GraphicsMagick, netpbm, libtiff-tools, python3-pil.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
out=${1:-build-fuzz/seeds}
mkdir -p "$out"
out=$(cd "$out" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
py=/usr/bin/python3

# --- pictures from the writers on this machine -----------------------------
src="$work/src"
mkdir -p "$src"
# A writer that refuses one variant costs that seed only.
set +e
convert -size 37x23 gradient:red-blue -fill yellow -draw 'circle 18,11 18,3' "$src/base.ppm"
convert -size 16x16 plasma:fractal -seed 7 "$src/small.ppm" 2>/dev/null ||
  convert -size 16x16 gradient: "$src/small.ppm"
convert "$src/base.ppm" -alpha set -channel A -evaluate set 60% +channel "$src/alpha.png"
for f in base small; do
  for depth in 1 4 8 24; do
    convert "$src/$f.ppm" -colors $(( depth >= 24 ? 256 : 1 << depth )) -type Palette \
      -define bmp:format=bmp3 "$src/$f-im$depth.bmp" 2>/dev/null || true
  done
  convert "$src/$f.ppm" -define bmp:subtype=RGB565 "$src/$f-565.bmp"
  convert "$src/$f.ppm" -define bmp:subtype=ARGB4444 "$src/$f-4444.bmp" 2>/dev/null || true
  convert "$src/$f.ppm" -compress RLE -colors 200 "$src/$f-rle8.bmp"
  convert "$src/$f.ppm" bmp2:"$src/$f-os2.bmp"
  gm convert "$src/$f.ppm" "$src/$f-gm.bmp"
  ppmtobmp -bpp 24 "$src/$f.ppm" >"$src/$f-netpbm.bmp" 2>/dev/null
  ppmtobmp -windows -bpp 8 <(pnmquant 200 "$src/$f.ppm" 2>/dev/null) >"$src/$f-netpbm8.bmp" 2>/dev/null || true
  convert "$src/$f.ppm" "$src/$f-im.tga"
  convert "$src/$f.ppm" -compress RLE "$src/$f-imrle.tga"
  gm convert "$src/$f.ppm" "$src/$f-gm.tga"
  convert "$src/$f.ppm" -colors 16 "$src/$f-im.pcx"
  convert "$src/$f.ppm" "$src/$f-im.wbmp"
  pbmtowbmp <(ppmtopgm "$src/$f.ppm" | pgmtopbm) >"$src/$f-netpbm.wbmp" 2>/dev/null || true
  convert "$src/$f.ppm" "$src/$f-im.psd"
  convert "$src/$f.ppm" -colors 16 "$src/$f-im16.psd"
  convert "$src/$f.ppm" -colorspace CMYK "$src/$f-cmyk.psd"
  gm convert "$src/$f.ppm" "$src/$f-gm.psd"
  convert "$src/$f.ppm" -define icon:auto-resize=16 "$src/$f-im.ico"
  convert "$src/$f.ppm" -resize 16x16! -colors 16 -compress none bmp3:"$src/$f-i.bmp"
  for c in none lzw zip rle jpeg; do
    convert "$src/$f.ppm" -compress $c "$src/$f-$c.tif"
  done
  convert "$src/$f.ppm" -colorspace Lab "$src/$f-lab.tif"
  convert "$src/$f.ppm" -colorspace CMYK "$src/$f-cmyk.tif"
  convert "$src/$f.ppm" -depth 16 "$src/$f-16.tif"
  convert "$src/$f.ppm" -define quantum:format=floating-point -depth 32 "$src/$f-float.tif"
  convert "$src/$f.ppm" -colorspace Gray -depth 4 "$src/$f-grey4.tif"
  gm convert "$src/$f.ppm" "$src/$f-gm.tif"
  pnmtotiff "$src/$f.ppm" >"$src/$f-netpbm.tif" 2>/dev/null
  tiffcp -p separate "$src/$f-none.tif" "$src/$f-planes.tif"
  tiffcp -t -w 16 -l 16 "$src/$f-none.tif" "$src/$f-tiles.tif"
  tiffcp -c lzw:2 "$src/$f-16.tif" "$src/$f-pred.tif" 2>/dev/null || true
  convert "$src/$f.ppm" "$src/$f-im.jpg"
  cjpeg "$src/$f.ppm" >"$src/$f-cjpeg.jpg" 2>/dev/null || true
done
$py - "$src" <<'EOF'
import io, struct, sys
from PIL import Image, PngImagePlugin
src = sys.argv[1]
im = Image.open(f"{src}/base.ppm").convert("RGB")
for mode in ("1", "L", "P", "RGB", "RGBA"):
    im.convert(mode).save(f"{src}/pil-{mode}.bmp")
    im.convert(mode).save(f"{src}/pil-{mode}.tif")
    if mode != "1":
        im.convert(mode).save(f"{src}/pil-{mode}.tga")
        im.convert(mode).save(f"{src}/pil-{mode}-rle.tga", compression="tga_rle")
    if mode in ("1", "L", "P", "RGB"):
        im.convert(mode).save(f"{src}/pil-{mode}.pcx")
im.convert("RGBA").save(f"{src}/pil.ico", sizes=[(16, 16), (32, 32)])
im.convert("RGBA").save(f"{src}/pil-bmp.ico", sizes=[(16, 16)], bitmap_format="bmp")
im.convert("LAB").save(f"{src}/pil-lab.tif")
exif = Image.Exif()
exif[0x0112] = 6
exif[0x0110] = "fuzz"
im.save(f"{src}/pil-exif.jpg", exif=exif)
im.save(f"{src}/pil-exif-prog.jpg", exif=exif, progressive=True)
# Thumbnails as the desktop's cache keeps them.
for i, mtime in enumerate(("1700000000", "0", "1700000000.5", "x")):
    info = PngImagePlugin.PngInfo()
    info.add_text("Thumb::URI", "file:///pictures/a%20photo.jpg")
    info.add_text("Thumb::MTime", mtime)
    info.add_text("Thumb::Size", "12345")
    info.add_text("Thumb::Image::Width", "800")
    info.add_text("Thumb::Image::Height", "600")
    im.convert("RGBA" if i % 2 else "RGB").resize((64, 40)).save(
        f"{src}/thumb{i}.png", pnginfo=info)
EOF

# --- test images of other image libraries ----------------------------------
repos=${SEED_REPOS:-$out/.repos}
mkdir -p "$repos"
gitdir() { # owner/name -> a git dir holding it
  local d
  for d in "$repos/${1/\//+}/repo" "$repos/${1#*/}" "$repos/${1#*/}/.git"; do
    [ -e "$d" ] && { echo "$d"; return; }
  done
  git clone -q --bare --depth 1 --filter=blob:limit=2m "https://github.com/$1" "$repos/${1#*/}" &&
    echo "$repos/${1#*/}"
}
take() { # owner/name folder -> files into $src/<name>-*
  local g
  g=$(gitdir "$1") || return 0
  git --git-dir="$g" ls-tree -r --name-only HEAD "$2" | while read -r f; do
    git --git-dir="$g" cat-file -s "HEAD:$f" 2>/dev/null | awk '{exit !($1 < 400000)}' || continue
    git --git-dir="$g" show "HEAD:$f" >"$src/${1#*/}-$(echo "${f#$2/}" | tr '/' '-')" 2>/dev/null || true
  done
}
take python-pillow/Pillow Tests/images
take image-rs/image tests/images
take libsdl-org/libtiff test/images

set -e
# --- sorted into each parser's corpus, with the harness's leading bytes ---
$py - "$src" "$out" <<'EOF'
import hashlib, os, random, sqlite3, struct, sys
src, out = sys.argv[1], sys.argv[2]
def put(parser, data):
    d = os.path.join(out, parser)
    os.makedirs(d, exist_ok=True)
    open(os.path.join(d, hashlib.sha1(data).hexdigest()[:16]), "wb").write(data)
def ext(name):
    return name.rsplit(".", 1)[-1].lower() if "." in name else ""
for name in sorted(os.listdir(src)):
    path = os.path.join(src, name)
    if not os.path.isfile(path):
        continue
    data = open(path, "rb").read()
    e = ext(name)
    if data[:2] == b"BM" or e in ("bmp", "dib"):
        put("bmp", b"\x01" + data)
        put("bmp", b"\x00" + data[14:])
    if e in ("ico", "cur") or data[:4] in (b"\0\0\1\0", b"\0\0\2\0"):
        put("ico", (b"\x01" if data[2:3] == b"\2" else b"\x00") + data)
        put("bmp", b"\x02" + data[22:])  # the first entry's DIB, give or take
    if data[:4] in (b"II*\0", b"MM\0*") or e in ("tif", "tiff"):
        put("tiff", b"\x00" + data)
    if data[:4] == b"8BPS":
        put("psd", data)
    if e == "wbmp":
        put("wbmp", b"\x00" + data)
    if e in ("tga", "vda", "icb", "vst"):
        put("tga", b"\x00" + data)
    if e == "pcx":
        put("tga", b"\x01" + data)
    if data[:3] == b"\xff\xd8\xff" and b"Exif\0\0" in data[:65536]:
        put("exif", b"\x00\x20\x03\x58\x02" + data[:200000])
        i = data.find(b"Exif\0\0")
        put("exif", b"\x01\x20\x03\x58\x02" + data[i:i + 65533])
        put("exif", b"\x01\x20\x03\x58\x02" + data[i + 6:i + 65533])
    if data[:8] == b"\x89PNG\r\n\x1a\n" and len(data) < 100000:
        put("thumbpng", bytes([random.Random(name).randrange(256)]) + data)
    if len(data) < 20000:  # anything, as the pixels of a carrier picture
        put("cipher", b"\x40\x00" + data[:12000])
# Sealed-picture headers: magic, version, ops, memory (KiB), salt, nonce, length.
rng = random.Random(19)
for ops, mem in ((1, 8), (2, 64), (8, 262144), (9, 8), (0, 0)):
    header = b"LmEn" + b"\x01" + struct.pack("<II", ops, mem) + bytes(rng.randrange(256) for _ in range(16 + 24))
    body = struct.pack("<I", 64) + bytes(rng.randrange(256) for _ in range(80))
    put("cipher", b"\x40\x00" + header + body)
# Registry files as the store writes them, and damaged copies.
db = os.path.join(out, ".reg.db")
for variant in range(4):
    if os.path.exists(db):
        os.remove(db)
    c = sqlite3.connect(db)
    c.executescript("""
CREATE TABLE keys(id INTEGER PRIMARY KEY, parent INTEGER REFERENCES keys(id) ON DELETE CASCADE,
  name TEXT NOT NULL, fold TEXT NOT NULL);
CREATE UNIQUE INDEX keys_by_parent ON keys(parent, fold);
CREATE TABLE vals(key INTEGER NOT NULL REFERENCES keys(id) ON DELETE CASCADE, name TEXT NOT NULL,
  fold TEXT NOT NULL, type INTEGER NOT NULL, data TEXT NOT NULL, PRIMARY KEY(key, fold)) WITHOUT ROWID;
INSERT INTO keys VALUES (1,NULL,'HKEY_CLASSES_ROOT','hkey_classes_root'),
  (2,NULL,'HKEY_CURRENT_USER','hkey_current_user'),(3,NULL,'HKEY_LOCAL_MACHINE','hkey_local_machine'),
  (4,2,'Software','software'),(5,4,'Lumora','lumora'),(6,4,'Other','other');
PRAGMA user_version = 1;""")
    for i in range(variant * 5):
        c.execute("INSERT INTO vals VALUES (5, ?, ?, 1, ?)", (f"Name{i}", f"name{i}", "v" * i))
    if variant == 3:
        c.execute("PRAGMA user_version = 7")
    c.commit()
    c.close()
    data = open(db, "rb").read()
    put("registry", data)
    if variant == 1:
        put("registry", data[:len(data) // 2])
        put("registry", data[:100] + b"\xff" * 20 + data[120:])
os.remove(db)
put("registry", b"SQLite format 3\0")
put("registry", b"")
# mimeapps.list and desktop entries: the system's own, and made-up ones.
for d in ("/usr/share/applications", "/etc/xdg", os.path.expanduser("~/.config")):
    if not os.path.isdir(d):
        continue
    for name in os.listdir(d)[:200]:
        p = os.path.join(d, name)
        if os.path.isfile(p) and name.endswith(".desktop"):
            put("desktop", open(p, "rb").read()[:20000])
        if os.path.isfile(p) and name.endswith("mimeapps.list"):
            put("mimeapps", open(p, "rb").read()[:20000])
for text in (b"[Default Applications]\nimage/png=a.desktop;b.desktop;\nimage/jpeg=c.desktop\n",
             b"[Added Associations]\r\nimage/png=x.desktop;\r\n\r\n[Default Applications]\r\nimage/png=y.desktop",
             b"# comment\n[Default Applications]\nimage/png = a.desktop ; \n[Default Applications]\nimage/png=b\n",
             b"[Removed Associations]\nimage/png=a.desktop\n"):
    put("mimeapps", text)
for text in (b"[Desktop Entry]\nType=Application\nName=Lumora\nExec=\"/opt/my dir/lumora\" %F\nTryExec=lumora\nMimeType=image/png;image/jpeg;\n",
             b"[Desktop Entry]\nExec=sh -c \"echo \\\\$HOME\" %u\nHidden=true\n[Desktop Action x]\nExec=y\n",
             b"[Desktop Entry]\nExec=a\\sb\\tc\\nd\\\\e\nName[de]=x\n"):
    put("desktop", text)
for path in (b"/home/a/b.jpg", b"/home/a/Bild \xe4.jpg", b"/tmp/%20 #?.png", b"/x/\n[Trash Info]\nPath=/etc",
             "/home/a/фото.jpg".encode()):
    put("trashinfo", b"\x10\x27\x00" + path)
EOF
for p in "$out"/*/; do echo "$(basename "$p"): $(ls "$p" | wc -l) seeds"; done
